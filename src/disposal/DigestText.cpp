#include "disposal/Digest.h"

#include <cstring>

namespace {
const char kHex[] = "0123456789abcdef";
}

std::string DigestHex(const Md5Digest& digest) {
    std::string s(32, '0');
    for (std::size_t i = 0; i < digest.size(); ++i) {
        s[2 * i] = kHex[digest[i] >> 4];
        s[2 * i + 1] = kHex[digest[i] & 0xF];
    }
    return s;
}

std::wstring DigestHexWide(const Md5Digest& digest) {
    const std::string narrow = DigestHex(digest);
    return std::wstring(narrow.begin(), narrow.end());
}

bool Md5OfBuffer(const void* data, std::size_t length, const wchar_t** text, std::uint32_t limit, int force) {
    // One text buffer per thread: callers keep the pointer until their next call, as with a static buffer, but
    // two threads never overwrite each other's digest.
    thread_local wchar_t buffer[36];
    std::memset(buffer, 0, sizeof buffer);
    if (text) *text = buffer;
    if (!data || !DigestAllowed(length, limit, force)) return false;
    const std::string hex = DigestHex(Md5(data, length));
    for (std::size_t i = 0; i < hex.size(); ++i) buffer[i] = wchar_t(hex[i]);
    return true;
}

std::string Md5OfText(const char* narrowText, int form) {
    const char* s = narrowText ? narrowText : "";
    const std::string hex = DigestHex(Md5(s, std::strlen(s)));
    return form == 16 ? hex.substr(8, 16) : hex;
}
