#pragma once
// The carry-less-multiplication folding under the CRC-32 (ISO-HDLC, reflected): shared by the CRC itself and by
// the MD5 pass that computes a CRC on the side. Only for the digest sources.
#include <cstddef>
#include <cstdint>

#if defined(__i386__) || defined(__x86_64__)
#include <immintrin.h>
#define VELUDISK_CRC_CLMUL 1
#endif

// The raw register (no pre- or post-inversion) after `n` more bytes, eight at a time through tables.
std::uint32_t Crc32Sliced(std::uint32_t reg, const unsigned char* p, std::size_t n);

#if VELUDISK_CRC_CLMUL
namespace crcfold {

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

// Four 128-bit lanes that 64-byte blocks are folded into; Start takes the first block, Step each next one.
struct Lanes {
    __m128i a, b, c, d;
};

__attribute__((target("sse2,pclmul"))) inline Lanes Start(std::uint32_t reg, const unsigned char* p) {
    return {_mm_xor_si128(Load128(p), _mm_cvtsi32_si128(int(reg))), Load128(p + 16), Load128(p + 32), Load128(p + 48)};
}

__attribute__((target("sse2,pclmul"))) inline void Step(Lanes& lanes, const unsigned char* p) {
    const __m128i k512 = Pair(kFold512Lo, kFold512Hi);
    lanes.a = Fold(lanes.a, k512, Load128(p));
    lanes.b = Fold(lanes.b, k512, Load128(p + 16));
    lanes.c = Fold(lanes.c, k512, Load128(p + 32));
    lanes.d = Fold(lanes.d, k512, Load128(p + 48));
}

// Folds the lanes into one, then the whole 16-byte blocks that follow (p advances past them), and returns the
// raw register after everything consumed.
__attribute__((target("sse2,pclmul"))) inline std::uint32_t Finish(const Lanes& lanes, const unsigned char*& p,
                                                                     std::size_t& n) {
    const __m128i k128 = Pair(kFold128Lo, kFold128Hi);
    __m128i a = Fold(lanes.a, k128, lanes.b);
    a = Fold(a, k128, lanes.c);
    a = Fold(a, k128, lanes.d);
    while (n >= 16) {
        a = Fold(a, k128, Load128(p));
        p += 16;
        n -= 16;
    }
    // The folded lane is congruent to everything consumed; its own CRC from a zero register finishes it.
    unsigned char lane[16];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(lane), a);
    return Crc32Sliced(0, lane, sizeof lane);
}

// Whether the processor folds (SSE2 and PCLMULQDQ); asked once.
bool Available();

}  // namespace crcfold
#endif
