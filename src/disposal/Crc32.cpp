// CRC-32 of the ISO-HDLC family. Long inputs are folded 64 bytes at a time with carry-less multiplication
// where the processor has it; everything else, and the last bytes, go through slicing-by-8 tables.
#include "disposal/Digest.h"

#include <cstring>

#if defined(__i386__) || defined(__x86_64__)
#include <immintrin.h>
#define VELUDISK_CRC_CLMUL 1
#endif

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

// Raw register update (no pre- or post-inversion).
std::uint32_t UpdateSliced(std::uint32_t reg, const unsigned char* p, std::size_t n) {
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
// x^n mod P in the bit-reflected domain, shifted to the 33-bit form the multiplier expects.
constexpr std::uint64_t FoldConstant(unsigned n) {
    std::uint64_t r = 1;  // x^0, in normal bit order
    for (unsigned i = 0; i < n; ++i) {
        r <<= 1;
        if (r & 0x100000000ull) r ^= 0x104C11DB7ull;
    }
    std::uint64_t rev = 0;
    for (int b = 0; b < 32; ++b)
        if (r & (1ull << b)) rev |= 1ull << (31 - b);
    return rev << 1;
}

// Folding a 128-bit lane forward by D bits multiplies its first half by x^(D+32) and its second by x^(D-32).
constexpr std::uint64_t kFold512Lo = FoldConstant(512 + 32), kFold512Hi = FoldConstant(512 - 32);
constexpr std::uint64_t kFold128Lo = FoldConstant(128 + 32), kFold128Hi = FoldConstant(128 - 32);

__attribute__((target("sse2,pclmul"))) inline __m128i Fold(__m128i acc, __m128i k, __m128i next) {
    __m128i lo = _mm_clmulepi64_si128(acc, k, 0x00);
    __m128i hi = _mm_clmulepi64_si128(acc, k, 0x11);
    return _mm_xor_si128(_mm_xor_si128(lo, hi), next);
}

__attribute__((target("sse2,pclmul"))) inline __m128i Load128(const unsigned char* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

__attribute__((target("sse2,pclmul"))) inline __m128i Pair(std::uint64_t lo, std::uint64_t hi) {
    return _mm_set_epi32(int(std::uint32_t(hi >> 32)), int(std::uint32_t(hi)), int(std::uint32_t(lo >> 32)),
                         int(std::uint32_t(lo)));
}

// Consumes whole 16-byte blocks of p (n >= 64) and returns the raw register after them.
__attribute__((target("sse2,pclmul"))) std::uint32_t UpdateFolded(std::uint32_t reg, const unsigned char*& p,
                                                                    std::size_t& n) {
    __m128i a = _mm_xor_si128(Load128(p), _mm_cvtsi32_si128(int(reg)));
    __m128i b = Load128(p + 16), c = Load128(p + 32), d = Load128(p + 48);
    p += 64;
    n -= 64;
    const __m128i k512 = Pair(kFold512Lo, kFold512Hi);
    while (n >= 64) {
        a = Fold(a, k512, Load128(p));
        b = Fold(b, k512, Load128(p + 16));
        c = Fold(c, k512, Load128(p + 32));
        d = Fold(d, k512, Load128(p + 48));
        p += 64;
        n -= 64;
    }
    const __m128i k128 = Pair(kFold128Lo, kFold128Hi);
    a = Fold(a, k128, b);
    a = Fold(a, k128, c);
    a = Fold(a, k128, d);
    while (n >= 16) {
        a = Fold(a, k128, Load128(p));
        p += 16;
        n -= 16;
    }
    // The folded lane is congruent to everything consumed; its own CRC from a zero register finishes it.
    unsigned char lane[16];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(lane), a);
    return UpdateSliced(0, lane, sizeof lane);
}

bool HasClmul() {
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("sse2") && __builtin_cpu_supports("pclmul");
    }();
    return has;
}
#endif

}  // namespace

std::uint32_t Crc32(std::uint32_t seed, const void* data, std::size_t length) {
    if (!data) return 0;
    const unsigned char* p = static_cast<const unsigned char*>(data);
    std::uint32_t reg = ~seed;
#if VELUDISK_CRC_CLMUL
    if (length >= 64 && HasClmul()) reg = UpdateFolded(reg, p, length);
#endif
    return ~UpdateSliced(reg, p, length);
}

std::uint32_t Crc32Reference(std::uint32_t seed, const void* data, std::size_t length) {
    if (!data) return 0;
    const unsigned char* p = static_cast<const unsigned char*>(data);
    std::uint32_t reg = ~seed;
    for (std::size_t i = 0; i < length; ++i) reg = (reg >> 8) ^ kTables.t[0][(reg ^ p[i]) & 0xFF];
    return ~reg;
}
