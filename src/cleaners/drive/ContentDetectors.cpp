#include "cleaners/drive/ContentDetectors.h"

#include <cstring>
#include <string>

#include "util/AsciiCase.h"

namespace {

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

std::size_t FindBytes(const std::uint8_t* content, const std::uint8_t* pattern, std::size_t patternLength,
                      std::size_t contentLength) {
    if (!content || !pattern || patternLength == 0 || patternLength > contentLength) return kNoMatch;
    const std::uint8_t first = pattern[0];
    std::size_t j = 0;
    while (j < contentLength) {
        // With no partial match under way, jump straight to the next candidate first byte.
        const void* hit = std::memchr(content + j, first, contentLength - j);
        if (!hit) return kNoMatch;
        j = std::size_t(static_cast<const std::uint8_t*>(hit) - content);
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
    // The next position of each spelling of the first byte, each found by memchr and looked for again only
    // once the search has passed it: linear in the content however common either spelling is.
    auto next = [&](std::uint8_t c, std::size_t from) {
        const void* hit = from < contentLength ? std::memchr(content + from, c, contentLength - from) : nullptr;
        return hit ? std::size_t(static_cast<const std::uint8_t*>(hit) - content) : contentLength;
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
