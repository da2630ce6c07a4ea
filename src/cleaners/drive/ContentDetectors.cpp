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
    // Unaligned loads: the searches restart every few hundred bytes in binary data, where aligning first
    // would cost more than it saves.
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

std::size_t FindBytes(const std::uint8_t* content, const std::uint8_t* pattern, std::size_t patternLength,
                      std::size_t contentLength) {
    if (!content || !pattern || patternLength == 0 || patternLength > contentLength) return kNoMatch;
    const std::uint8_t first = pattern[0];
    std::size_t j = 0;
    while (j < contentLength) {
        // With no partial match under way, jump straight to the next candidate first byte.
        const std::size_t hit = FindByte(content + j, first, contentLength - j);
        if (hit == kNoMatch) return kNoMatch;
        j += hit;
        std::size_t i = 1;
        ++j;
        while (i < patternLength && j < contentLength && content[j] == pattern[i]) ++i, ++j;
        if (i == patternLength) return j - patternLength;
        // content[j] broke the partial match: it is not tried again as a first byte.
        ++j;
    }
    return kNoMatch;
}

std::size_t FindBytesNoCase(const std::uint8_t* content, const std::uint8_t* pattern, std::size_t patternLength,
                            std::size_t contentLength) {
    if (!content || !pattern || patternLength == 0 || patternLength > contentLength) return kNoMatch;
    const std::uint8_t first = Fold(pattern[0]);
    const std::uint8_t upper = first >= 'a' && first <= 'z' ? std::uint8_t(first - 'a' + 'A') : first;
    // The next position of each spelling of the first byte, each found by FindByte and looked for again only
    // once the search has passed it: linear in the content however common either spelling is.
    auto next = [&](std::uint8_t c, std::size_t from) {
        const std::size_t hit = from < contentLength ? FindByte(content + from, c, contentLength - from) : kNoMatch;
        return hit == kNoMatch ? contentLength : from + hit;
    };
    std::size_t nextLower = next(first, 0);
    std::size_t nextUpper = upper == first ? contentLength : next(upper, 0);
    std::size_t j = 0;
    while (j < contentLength) {
        if (nextLower < j) nextLower = next(first, j);
        if (upper != first && nextUpper < j) nextUpper = next(upper, j);
        j = nextLower < nextUpper ? nextLower : nextUpper;
        if (j >= contentLength) return kNoMatch;
        std::size_t i = 1;
        ++j;
        while (i < patternLength && j < contentLength && Fold(content[j]) == Fold(pattern[i])) ++i, ++j;
        if (i == patternLength) return j - patternLength;
        ++j;
    }
    return kNoMatch;
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
