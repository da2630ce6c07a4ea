#include "cleaners/drive/ContentDetectors.h"

#include <cstring>
#include <string>

#include "util/AsciiCase.h"

#if defined(__i386__) || defined(__x86_64__)
#include <immintrin.h>
#define VELUDISK_FIND_SSE2 1
#endif

namespace {

#if VELUDISK_FIND_SSE2
// One bit per byte of the 16 at `p` that equals the needle's.
__attribute__((target("sse2"))) inline unsigned MatchMask(const std::uint8_t* p, __m128i needle) {
    return unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), needle)));
}

__attribute__((target("sse2"))) std::size_t FindByteSse2(const std::uint8_t* p, std::uint8_t value, std::size_t n) {
    // Unaligned loads: a search may start anywhere.
    const __m128i needle = _mm_set1_epi8(char(value));
    std::size_t i = 0;
    for (; i + 16 <= n && i < 64; i += 16)
        if (const unsigned m = MatchMask(p + i, needle)) return i + unsigned(__builtin_ctz(m));
    for (; i + 64 <= n; i += 64) {
        const unsigned low = MatchMask(p + i, needle) | MatchMask(p + i + 16, needle) << 16;
        const unsigned high = MatchMask(p + i + 32, needle) | MatchMask(p + i + 48, needle) << 16;
        if (low) return i + unsigned(__builtin_ctz(low));
        if (high) return i + 32 + unsigned(__builtin_ctz(high));
    }
    for (; i + 16 <= n; i += 16)
        if (const unsigned m = MatchMask(p + i, needle)) return i + unsigned(__builtin_ctz(m));
    for (; i < n; ++i)
        if (p[i] == value) return i;
    return kNoMatch;
}

[[maybe_unused]] bool HasSse2() {
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("sse2");
    }();
    return has;
}
#endif

inline std::uint8_t Fold(std::uint8_t c) { return AsciiLower(c); }

// Every pattern is kept in two pieces and joined only when a detector runs, so no whole pattern stands in our
// own program image (which imports CreateProcessW and would otherwise carry what the detectors look for).
__attribute__((noinline)) std::string Join(const char* first, const char* second) {
    std::string s(first);
    s += second;
    return s;
}

bool Has(const std::uint8_t* c, std::size_t n, const std::string& p) {
    return FindBytes(c, reinterpret_cast<const std::uint8_t*>(p.data()), p.size(), n) != kNoMatch;
}
bool HasNoCase(const std::uint8_t* c, std::size_t n, const std::string& p) {
    return FindBytesNoCase(c, reinterpret_cast<const std::uint8_t*>(p.data()), p.size(), n) != kNoMatch;
}

const char* const kProtectedHashes[] = {
    "1c82a24b96d32e44cc9a3f6baab61611", "11fb63eb337e8c95f8315ce790528b64", "1876E5815B53CCCD827DD6513D9EC3F5",
    "14441BE9D4D1B2C3974C75FD688D888F", "9a88c4f3587d4bb052c0e4fec0d5c658", "ca41d56630191e61565a343c59695ca1",
    "456fb859236c9074acf6c3b6243d8b46", "8fc4593d9e92237a2c7c424782fe3e42", "c4eee9e8ea67b5b1b494caf2fef07d5c",
};

}  // namespace

std::size_t FindBytesReference(const std::uint8_t* content, const std::uint8_t* pattern, std::size_t patternLength,
                               std::size_t contentLength, bool foldCase) {
    if (!content || !pattern || patternLength == 0 || patternLength > contentLength) return kNoMatch;
    std::size_t i = 0;
    for (std::size_t j = 0; j < contentLength; ++j) {
        const std::uint8_t a = foldCase ? Fold(content[j]) : content[j];
        const std::uint8_t b = foldCase ? Fold(pattern[i]) : pattern[i];
        if (a == b) {
            if (++i == patternLength) return j + 1 - patternLength;
        } else {
            i = 0;
        }
    }
    return kNoMatch;
}

std::size_t FindByteInWords(const std::uint8_t* p, std::uint8_t value, std::size_t n) {
    if (!p) return kNoMatch;
    constexpr std::size_t kOnes = ~std::size_t(0) / 0xFF;  // 0x0101...
    constexpr std::size_t kHighs = kOnes * 0x80;
    const std::size_t spread = kOnes * value;
    std::size_t i = 0;
    for (; i + sizeof(std::size_t) <= n; i += sizeof(std::size_t)) {
        std::size_t word;
        std::memcpy(&word, p + i, sizeof word);
        const std::size_t x = word ^ spread;  // a zero byte where `value` is
        if ((x - kOnes) & ~x & kHighs) break;
    }
    for (; i < n; ++i)
        if (p[i] == value) return i;
    return kNoMatch;
}

std::size_t FindByte(const std::uint8_t* content, std::uint8_t value, std::size_t length) {
    if (!content) return kNoMatch;
#if defined(__SSE2__)
    return FindByteSse2(content, value, length);  // the compiler's baseline: nothing to ask the processor
#elif VELUDISK_FIND_SSE2
    if (HasSse2()) return FindByteSse2(content, value, length);
#endif
    return FindByteInWords(content, value, length);
}

namespace {

inline bool Same(std::uint8_t a, std::uint8_t b, bool foldCase) {
    return foldCase ? Fold(a) == Fold(b) : a == b;
}

// The spellings a pattern byte matches: itself, and its other case when folding.
struct Spellings {
    std::uint8_t one, other;
};
Spellings SpellingsOf(std::uint8_t c, bool foldCase) {
    const std::uint8_t lower = foldCase ? Fold(c) : c;
    const std::uint8_t upper = foldCase && lower >= 'a' && lower <= 'z' ? std::uint8_t(lower - 'a' + 'A') : lower;
    return {lower, upper};
}

// From `i` on, a byte at a time.
std::size_t FindPairBytes(const std::uint8_t* p, std::size_t i, std::size_t n, Spellings first, Spellings second) {
    for (; i + 1 < n; ++i)
        if ((p[i] == first.one || p[i] == first.other) && (p[i + 1] == second.one || p[i + 1] == second.other))
            return i;
    return kNoMatch;
}

#if VELUDISK_FIND_SSE2
// Bytes equal to either spelling; with one spelling a single comparison.
template <bool kTwo>
__attribute__((target("sse2"))) inline __m128i Equal(__m128i bytes, __m128i one, __m128i other) {
    const __m128i eq = _mm_cmpeq_epi8(bytes, one);
    return kTwo ? _mm_or_si128(eq, _mm_cmpeq_epi8(bytes, other)) : eq;
}

__attribute__((target("sse2"))) inline __m128i Load(const std::uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// One bit per position of the 16 at `p` where a spelling of the first byte (already compared: `first`) is
// followed by one of the second.
template <bool kTwo>
__attribute__((target("sse2"))) inline unsigned PairMask(__m128i first, const std::uint8_t* p, __m128i s0,
                                                         __m128i s1) {
    return unsigned(_mm_movemask_epi8(_mm_and_si128(first, Equal<kTwo>(Load(p + 1), s0, s1))));
}

template <bool kTwo>
__attribute__((target("sse2"))) std::size_t FindPairSse2(const std::uint8_t* p, std::size_t n, Spellings first,
                                                         Spellings second) {
    const __m128i f0 = _mm_set1_epi8(char(first.one)), f1 = _mm_set1_epi8(char(first.other));
    const __m128i s0 = _mm_set1_epi8(char(second.one)), s1 = _mm_set1_epi8(char(second.other));
    std::size_t i = 0;
    // Each block reads one byte past its 16 (the second byte of its last position): i + 17 <= n. Most blocks of
    // 64 hold no first byte at all and are passed after one test.
    for (; i + 65 <= n; i += 64) {
        const __m128i a = Equal<kTwo>(Load(p + i), f0, f1), b = Equal<kTwo>(Load(p + i + 16), f0, f1);
        const __m128i c = Equal<kTwo>(Load(p + i + 32), f0, f1), d = Equal<kTwo>(Load(p + i + 48), f0, f1);
        if (!_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(a, b), _mm_or_si128(c, d)))) continue;
        const unsigned low = PairMask<kTwo>(a, p + i, s0, s1) | PairMask<kTwo>(b, p + i + 16, s0, s1) << 16;
        const unsigned high = PairMask<kTwo>(c, p + i + 32, s0, s1) | PairMask<kTwo>(d, p + i + 48, s0, s1) << 16;
        if (low) return i + unsigned(__builtin_ctz(low));
        if (high) return i + 32 + unsigned(__builtin_ctz(high));
    }
    for (; i + 17 <= n; i += 16)
        if (const unsigned m = PairMask<kTwo>(Equal<kTwo>(Load(p + i), f0, f1), p + i, s0, s1))
            return i + unsigned(__builtin_ctz(m));
    return FindPairBytes(p, i, n, first, second);
}

std::size_t FindPairSse2(const std::uint8_t* p, std::size_t n, Spellings first, Spellings second) {
    return first.one == first.other && second.one == second.other ? FindPairSse2<false>(p, n, first, second)
                                                                  : FindPairSse2<true>(p, n, first, second);
}
#endif

// First position r (r + 1 < n) where a spelling of the first byte is followed by one of the second.
std::size_t FindPair(const std::uint8_t* p, std::size_t n, Spellings first, Spellings second) {
#if defined(__SSE2__)
    return FindPairSse2(p, n, first, second);
#elif VELUDISK_FIND_SSE2
    if (HasSse2()) return FindPairSse2(p, n, first, second);
#endif
    return FindPairBytes(p, 0, n, first, second);
}

// The matching rule (see FindBytesReference) without visiting every byte: only places where the pattern's first
// two bytes stand together can start a match, and those are found 16 at a time. The rule's one twist is replayed
// exactly: every first byte the rule meets before such a place is followed by a wrong second byte, so each one it
// tries makes it skip the byte after; in a run of k first bytes just before the place it tries the 1st, 3rd, ...
// and reaches the place itself only when k is even.
std::size_t FindWithPairs(const std::uint8_t* content, const std::uint8_t* pattern, std::size_t patternLength,
                          std::size_t contentLength, bool foldCase) {
    if (!content || !pattern || patternLength == 0 || patternLength > contentLength) return kNoMatch;
    const Spellings first = SpellingsOf(pattern[0], foldCase);
    if (patternLength == 1) {
        const std::size_t one = FindByte(content, first.one, contentLength);
        if (first.other == first.one) return one;
        const std::size_t other = FindByte(content, first.other, contentLength);
        return one < other ? one : other;  // kNoMatch is the largest size
    }
    const Spellings second = SpellingsOf(pattern[1], foldCase);
    std::size_t j = 0;  // no partial match is under way here
    while (j + 1 < contentLength) {
        const std::size_t hit = FindPair(content + j, contentLength - j, first, second);
        if (hit == kNoMatch) return kNoMatch;
        const std::size_t at = j + hit;
        std::size_t run = 0;
        while (at - run > j && Same(content[at - run - 1], pattern[0], foldCase)) ++run;
        if (run % 2) {
            j = at + 1;  // the first byte before it was tried, broke on this one, and the rule went on after it
            continue;
        }
        std::size_t i = 2, k = at + 2;
        while (i < patternLength && k < contentLength && Same(content[k], pattern[i], foldCase)) ++i, ++k;
        if (i == patternLength) return at;
        j = k + 1;  // content[k] broke the partial match: it is not tried again as a first byte
    }
    return kNoMatch;
}

}  // namespace

std::size_t FindBytes(const std::uint8_t* content, const std::uint8_t* pattern, std::size_t patternLength,
                      std::size_t contentLength) {
    return FindWithPairs(content, pattern, patternLength, contentLength, false);
}

std::size_t FindBytesNoCase(const std::uint8_t* content, const std::uint8_t* pattern, std::size_t patternLength,
                            std::size_t contentLength) {
    return FindWithPairs(content, pattern, patternLength, contentLength, true);
}

bool IsDelphiInfector(const std::uint8_t* content, std::size_t length) {
    if (!content || length > kDelphiLimit) return false;
    if (!Has(content, length, Join("CreateProces", "s"))) return false;
    if (!Has(content, length, Join("\\bin\\dcc3", "2.exe\""))) return false;
    return Has(content, length, Join("ValueEx(k,'Root", "Dir'")) || Has(content, length, Join("ValueEx(k,$Root", "Dir$"));
}

bool IsVbsInfector(const std::uint8_t* content, std::size_t length) {
    if (!content || length > kVbsLimit) return false;
    if (!HasNoCase(content, length, Join("\nexecut", "e"))) return false;
    return HasNoCase(content, length, Join("ucase(hex(int(rnd*2400", "0+40960)")) ||
           HasNoCase(content, length, Join("opentextfile(wscript.script", "fullname,1):"));
}

bool IsScriptDropper(const std::uint8_t* content, std::size_t length) {
    if (!content || length > kDropperLimit) return false;
    if (Has(content, length, Join("Fonts\\HIDES", "E"))) {
        if (!Has(content, length, Join("Fun", "ct"))) return false;
        if (Has(content, length, Join("Tasks", ".job"))) return true;
    }
    return Has(content, length, Join("KillVirus", ".TXT")) && Has(content, length, Join("SOL", "A")) &&
           Has(content, length, Join("exefile\\she", "ll\\"));
}

bool IsProtectedHash(const char* md5Text) {
    if (!md5Text) return false;
    const std::string text(md5Text);
    for (const char* h : kProtectedHashes)
        if (AsciiEqualsNoCase(text, std::string(h))) return true;
    return false;
}

bool IsProtectedHash(const wchar_t* md5Text) {
    if (!md5Text) return false;
    char narrow[40] = {};
    for (std::size_t i = 0; md5Text[i]; ++i) {
        if (i + 1 >= sizeof narrow || md5Text[i] > 0x7F) return false;
        narrow[i] = char(md5Text[i]);
    }
    return IsProtectedHash(narrow);
}
