// CRC-32 of the ISO-HDLC family. Long inputs are folded 64 bytes at a time with carry-less multiplication
// where the processor has it; everything else, and the last bytes, go through slicing-by-8 tables.
#include "disposal/Digest.h"

#include <cstring>

#include "disposal/Crc32Fold.h"

namespace {

constexpr std::uint32_t kPoly = 0xEDB88320u;

struct SliceTables {
    std::uint32_t t[8][256];
};

constexpr SliceTables MakeTables() {
    SliceTables s{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ kPoly : c >> 1;
        s.t[0][i] = c;
    }
    for (std::uint32_t i = 0; i < 256; ++i)
        for (int j = 1; j < 8; ++j) s.t[j][i] = (s.t[j - 1][i] >> 8) ^ s.t[0][s.t[j - 1][i] & 0xFF];
    return s;
}

constexpr SliceTables kTables = MakeTables();

inline std::uint32_t Load32(const unsigned char* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

}  // namespace

std::uint32_t Crc32Sliced(std::uint32_t reg, const unsigned char* p, std::size_t n) {
    const auto& t = kTables.t;
    while (n >= 8) {
        std::uint32_t a = reg ^ Load32(p);
        std::uint32_t b = Load32(p + 4);
        reg = t[7][a & 0xFF] ^ t[6][(a >> 8) & 0xFF] ^ t[5][(a >> 16) & 0xFF] ^ t[4][a >> 24] ^
              t[3][b & 0xFF] ^ t[2][(b >> 8) & 0xFF] ^ t[1][(b >> 16) & 0xFF] ^ t[0][b >> 24];
        p += 8;
        n -= 8;
    }
    while (n--) reg = (reg >> 8) ^ t[0][(reg ^ *p++) & 0xFF];
    return reg;
}

#if VELUDISK_CRC_CLMUL
namespace crcfold {
bool Available() {
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("sse2") && __builtin_cpu_supports("pclmul");
    }();
    return has;
}
}  // namespace crcfold

namespace {
// Consumes whole 16-byte blocks of p (n >= 64) and returns the raw register after them.
__attribute__((target("sse2,pclmul"))) std::uint32_t UpdateFolded(std::uint32_t reg, const unsigned char*& p,
                                                                    std::size_t& n) {
    crcfold::Lanes lanes = crcfold::Start(reg, p);
    p += 64;
    n -= 64;
    while (n >= 64) {
        crcfold::Step(lanes, p);
        p += 64;
        n -= 64;
    }
    return crcfold::Finish(lanes, p, n);
}
}  // namespace
#endif

std::uint32_t Crc32(std::uint32_t seed, const void* data, std::size_t length) {
    if (!data) return 0;
    const unsigned char* p = static_cast<const unsigned char*>(data);
    std::uint32_t reg = ~seed;
#if VELUDISK_CRC_CLMUL
    if (length >= 64 && crcfold::Available()) reg = UpdateFolded(reg, p, length);
#endif
    return ~Crc32Sliced(reg, p, length);
}

std::uint32_t Crc32Reference(std::uint32_t seed, const void* data, std::size_t length) {
    if (!data) return 0;
    const unsigned char* p = static_cast<const unsigned char*>(data);
    std::uint32_t reg = ~seed;
    for (std::size_t i = 0; i < length; ++i) reg = (reg >> 8) ^ kTables.t[0][(reg ^ p[i]) & 0xFF];
    return ~reg;
}
