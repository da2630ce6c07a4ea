// MD5 as defined in RFC 1321, written for throughput: the 64 steps are unrolled and the message words are read
// little-endian straight from the input.
#include "disposal/Digest.h"

#include <cstring>

#include "disposal/Crc32Fold.h"

namespace {

inline std::uint32_t Rotl(std::uint32_t x, unsigned s) { return (x << s) | (x >> (32 - s)); }

inline std::uint32_t Word(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

// Each step waits for b, the previous step's result; everything that does not need b is done first, so the
// chain through b stays short: the word and constant are added ahead, and G is split into two disjoint halves
// (c & ~d needs no b; OR of disjoint bits is their sum).
#define VD_MD5_F(x, y, z) ((z) ^ ((x) & ((y) ^ (z))))
#define VD_MD5_H(x, y, z) ((x) ^ ((y) ^ (z)))
#define VD_MD5_I(x, y, z) ((y) ^ ((x) | ~(z)))
#define VD_MD5_STEP(f, a, b, c, d, x, t, s) \
    a += (x) + (t);                          \
    a += f(b, c, d);                         \
    a = Rotl(a, s) + b;
#define VD_MD5_STEP_G(a, b, c, d, x, t, s) \
    a += (x) + (t);                         \
    a += (c) & ~(d);                        \
    a += (b) & (d);                         \
    a = Rotl(a, s) + b;

// The 64 steps over the block at p, added into a, b, c and d.
#define VD_MD5_BLOCK(p)                                          \
    do {                                                         \
        std::uint32_t x[16];                                     \
        for (int i = 0; i < 16; ++i) x[i] = Word(p + 4 * i);     \
        const std::uint32_t aa = a, bb = b, cc = c, dd = d;      \
                                                                 \
        VD_MD5_STEP(VD_MD5_F, a, b, c, d, x[0], 0xd76aa478, 7)   \
        VD_MD5_STEP(VD_MD5_F, d, a, b, c, x[1], 0xe8c7b756, 12)  \
        VD_MD5_STEP(VD_MD5_F, c, d, a, b, x[2], 0x242070db, 17)  \
        VD_MD5_STEP(VD_MD5_F, b, c, d, a, x[3], 0xc1bdceee, 22)  \
        VD_MD5_STEP(VD_MD5_F, a, b, c, d, x[4], 0xf57c0faf, 7)   \
        VD_MD5_STEP(VD_MD5_F, d, a, b, c, x[5], 0x4787c62a, 12)  \
        VD_MD5_STEP(VD_MD5_F, c, d, a, b, x[6], 0xa8304613, 17)  \
        VD_MD5_STEP(VD_MD5_F, b, c, d, a, x[7], 0xfd469501, 22)  \
        VD_MD5_STEP(VD_MD5_F, a, b, c, d, x[8], 0x698098d8, 7)   \
        VD_MD5_STEP(VD_MD5_F, d, a, b, c, x[9], 0x8b44f7af, 12)  \
        VD_MD5_STEP(VD_MD5_F, c, d, a, b, x[10], 0xffff5bb1, 17) \
        VD_MD5_STEP(VD_MD5_F, b, c, d, a, x[11], 0x895cd7be, 22) \
        VD_MD5_STEP(VD_MD5_F, a, b, c, d, x[12], 0x6b901122, 7)  \
        VD_MD5_STEP(VD_MD5_F, d, a, b, c, x[13], 0xfd987193, 12) \
        VD_MD5_STEP(VD_MD5_F, c, d, a, b, x[14], 0xa679438e, 17) \
        VD_MD5_STEP(VD_MD5_F, b, c, d, a, x[15], 0x49b40821, 22) \
                                                                 \
        VD_MD5_STEP_G(a, b, c, d, x[1], 0xf61e2562, 5)           \
        VD_MD5_STEP_G(d, a, b, c, x[6], 0xc040b340, 9)           \
        VD_MD5_STEP_G(c, d, a, b, x[11], 0x265e5a51, 14)         \
        VD_MD5_STEP_G(b, c, d, a, x[0], 0xe9b6c7aa, 20)          \
        VD_MD5_STEP_G(a, b, c, d, x[5], 0xd62f105d, 5)           \
        VD_MD5_STEP_G(d, a, b, c, x[10], 0x02441453, 9)          \
        VD_MD5_STEP_G(c, d, a, b, x[15], 0xd8a1e681, 14)         \
        VD_MD5_STEP_G(b, c, d, a, x[4], 0xe7d3fbc8, 20)          \
        VD_MD5_STEP_G(a, b, c, d, x[9], 0x21e1cde6, 5)           \
        VD_MD5_STEP_G(d, a, b, c, x[14], 0xc33707d6, 9)          \
        VD_MD5_STEP_G(c, d, a, b, x[3], 0xf4d50d87, 14)          \
        VD_MD5_STEP_G(b, c, d, a, x[8], 0x455a14ed, 20)          \
        VD_MD5_STEP_G(a, b, c, d, x[13], 0xa9e3e905, 5)          \
        VD_MD5_STEP_G(d, a, b, c, x[2], 0xfcefa3f8, 9)           \
        VD_MD5_STEP_G(c, d, a, b, x[7], 0x676f02d9, 14)          \
        VD_MD5_STEP_G(b, c, d, a, x[12], 0x8d2a4c8a, 20)         \
                                                                 \
        VD_MD5_STEP(VD_MD5_H, a, b, c, d, x[5], 0xfffa3942, 4)   \
        VD_MD5_STEP(VD_MD5_H, d, a, b, c, x[8], 0x8771f681, 11)  \
        VD_MD5_STEP(VD_MD5_H, c, d, a, b, x[11], 0x6d9d6122, 16) \
        VD_MD5_STEP(VD_MD5_H, b, c, d, a, x[14], 0xfde5380c, 23) \
        VD_MD5_STEP(VD_MD5_H, a, b, c, d, x[1], 0xa4beea44, 4)   \
        VD_MD5_STEP(VD_MD5_H, d, a, b, c, x[4], 0x4bdecfa9, 11)  \
        VD_MD5_STEP(VD_MD5_H, c, d, a, b, x[7], 0xf6bb4b60, 16)  \
        VD_MD5_STEP(VD_MD5_H, b, c, d, a, x[10], 0xbebfbc70, 23) \
        VD_MD5_STEP(VD_MD5_H, a, b, c, d, x[13], 0x289b7ec6, 4)  \
        VD_MD5_STEP(VD_MD5_H, d, a, b, c, x[0], 0xeaa127fa, 11)  \
        VD_MD5_STEP(VD_MD5_H, c, d, a, b, x[3], 0xd4ef3085, 16)  \
        VD_MD5_STEP(VD_MD5_H, b, c, d, a, x[6], 0x04881d05, 23)  \
        VD_MD5_STEP(VD_MD5_H, a, b, c, d, x[9], 0xd9d4d039, 4)   \
        VD_MD5_STEP(VD_MD5_H, d, a, b, c, x[12], 0xe6db99e5, 11) \
        VD_MD5_STEP(VD_MD5_H, c, d, a, b, x[15], 0x1fa27cf8, 16) \
        VD_MD5_STEP(VD_MD5_H, b, c, d, a, x[2], 0xc4ac5665, 23)  \
                                                                 \
        VD_MD5_STEP(VD_MD5_I, a, b, c, d, x[0], 0xf4292244, 6)   \
        VD_MD5_STEP(VD_MD5_I, d, a, b, c, x[7], 0x432aff97, 10)  \
        VD_MD5_STEP(VD_MD5_I, c, d, a, b, x[14], 0xab9423a7, 15) \
        VD_MD5_STEP(VD_MD5_I, b, c, d, a, x[5], 0xfc93a039, 21)  \
        VD_MD5_STEP(VD_MD5_I, a, b, c, d, x[12], 0x655b59c3, 6)  \
        VD_MD5_STEP(VD_MD5_I, d, a, b, c, x[3], 0x8f0ccc92, 10)  \
        VD_MD5_STEP(VD_MD5_I, c, d, a, b, x[10], 0xffeff47d, 15) \
        VD_MD5_STEP(VD_MD5_I, b, c, d, a, x[1], 0x85845dd1, 21)  \
        VD_MD5_STEP(VD_MD5_I, a, b, c, d, x[8], 0x6fa87e4f, 6)   \
        VD_MD5_STEP(VD_MD5_I, d, a, b, c, x[15], 0xfe2ce6e0, 10) \
        VD_MD5_STEP(VD_MD5_I, c, d, a, b, x[6], 0xa3014314, 15)  \
        VD_MD5_STEP(VD_MD5_I, b, c, d, a, x[13], 0x4e0811a1, 21) \
        VD_MD5_STEP(VD_MD5_I, a, b, c, d, x[4], 0xf7537e82, 6)   \
        VD_MD5_STEP(VD_MD5_I, d, a, b, c, x[11], 0xbd3af235, 10) \
        VD_MD5_STEP(VD_MD5_I, c, d, a, b, x[2], 0x2ad7d2bb, 15)  \
        VD_MD5_STEP(VD_MD5_I, b, c, d, a, x[9], 0xeb86d391, 21)  \
                                                                 \
        a += aa;                                                 \
        b += bb;                                                 \
        c += cc;                                                 \
        d += dd;                                                 \
    } while (0)

}  // namespace

Md5Context::Md5Context() : m_state{0x67452301u, 0xefcdab89u, 0x98badcfeu, 0x10325476u}, m_pending{} {}

void Md5Context::Blocks(const std::uint8_t* p, std::size_t count) {
    std::uint32_t a = m_state[0], b = m_state[1], c = m_state[2], d = m_state[3];
    for (; count; --count, p += 64) {
        VD_MD5_BLOCK(p);
    }
    m_state[0] = a;
    m_state[1] = b;
    m_state[2] = c;
    m_state[3] = d;
}

#if VELUDISK_CRC_CLMUL
// The same rounds with the CRC's folding of each block beside them: MD5 waits on one long chain of additions and
// leaves the processor idle enough that the folding costs nothing. count >= 1; returns the raw CRC register.
__attribute__((target("sse2,pclmul"))) std::uint32_t Md5Context::BlocksFoldingCrc(const std::uint8_t* p,
                                                                                  std::size_t count,
                                                                                  std::uint32_t reg) {
    crcfold::Lanes lanes = crcfold::Start(reg, p);
    std::uint32_t a = m_state[0], b = m_state[1], c = m_state[2], d = m_state[3];
    VD_MD5_BLOCK(p);
    for (p += 64, --count; count; --count, p += 64) {
        crcfold::Step(lanes, p);
        VD_MD5_BLOCK(p);
    }
    m_state[0] = a;
    m_state[1] = b;
    m_state[2] = c;
    m_state[3] = d;
    std::size_t none = 0;
    return crcfold::Finish(lanes, p, none);
}
#endif

void Md5Context::Update(const void* data, std::size_t length) {
    if (!length) return;
    const std::uint8_t* p = static_cast<const std::uint8_t*>(data);
    m_total += length;
    if (m_pendingLen) {
        std::size_t take = 64 - m_pendingLen;
        if (take > length) take = length;
        std::memcpy(m_pending + m_pendingLen, p, take);
        m_pendingLen += take;
        p += take;
        length -= take;
        if (m_pendingLen < 64) return;
        Blocks(m_pending, 1);
        m_pendingLen = 0;
    }
    Blocks(p, length / 64);
    p += length & ~std::size_t(63);
    length &= 63;
    std::memcpy(m_pending, p, length);
    m_pendingLen = length;
}

Md5Digest Md5Context::Final() {
    const std::uint64_t bits = m_total * 8;
    std::uint8_t tail[128] = {0x80};
    std::size_t padLen = (m_pendingLen < 56) ? 56 - m_pendingLen : 120 - m_pendingLen;
    for (int i = 0; i < 8; ++i) tail[padLen + i] = std::uint8_t(bits >> (8 * i));
    const std::uint64_t total = m_total;
    Update(tail, padLen + 8);
    m_total = total;
    Md5Digest out{};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) out[4 * i + j] = std::uint8_t(m_state[i] >> (8 * j));
    return out;
}

Md5Digest Md5(const void* data, std::size_t length) {
    Md5Context ctx;
    ctx.Update(data, length);
    return ctx.Final();
}

std::uint32_t Md5Context::UpdateWithCrc32(std::uint32_t crc, const void* data, std::size_t length) {
#if VELUDISK_CRC_CLMUL
    // Whole blocks go through the shared pass when nothing is pending; the rest as Update and Crc32 would.
    if (data && m_pendingLen == 0 && length >= 64 && crcfold::Available()) {
        const auto* p = static_cast<const std::uint8_t*>(data);
        const std::size_t whole = length & ~std::size_t(63);
        const std::uint32_t reg = BlocksFoldingCrc(p, whole / 64, ~crc);
        m_total += whole;
        Update(p + whole, length - whole);
        return ~Crc32Sliced(reg, p + whole, length - whole);
    }
#endif
    Update(data, length);
    return Crc32(crc, data, length);
}

std::uint32_t Crc32AndMd5(const void* data, std::size_t length, Md5Digest& md5) {
    Md5Context context;
    const std::uint32_t crc = context.UpdateWithCrc32(0, data, length);
    md5 = context.Final();
    return crc;
}
