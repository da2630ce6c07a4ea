#include "util/Utf8.h"

#include <cstdint>

namespace {

void AppendUtf8(std::string& out, std::uint32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

void AppendWide(std::wstring& out, std::uint32_t cp) {
    if (sizeof(wchar_t) == 2 && cp >= 0x10000) {
        cp -= 0x10000;
        out += wchar_t(0xD800 + (cp >> 10));
        out += wchar_t(0xDC00 + (cp & 0x3FF));
    } else {
        out += wchar_t(cp);
    }
}

}  // namespace

std::string ToUtf8(const std::wstring& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t c = std::uint32_t(text[i]);
        if (sizeof(wchar_t) == 2 && c >= 0xD800 && c <= 0xDFFF) {
            const bool pair = c <= 0xDBFF && i + 1 < text.size() && std::uint32_t(text[i + 1]) >= 0xDC00 &&
                              std::uint32_t(text[i + 1]) <= 0xDFFF;
            c = pair ? 0x10000 + ((c - 0xD800) << 10) + (std::uint32_t(text[++i]) - 0xDC00) : 0xFFFD;
        } else if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            c = 0xFFFD;
        }
        AppendUtf8(out, c);
    }
    return out;
}

std::wstring FromUtf8(const std::string& text) {
    static const std::uint32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
    std::wstring out;
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = (unsigned char)text[i];
        const int extra = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
        if (extra < 0 || i + std::size_t(extra) >= text.size() + (extra == 0 ? 1 : 0)) {
            AppendWide(out, 0xFFFD);
            ++i;
            continue;
        }
        std::uint32_t cp = extra == 0 ? c : extra == 1 ? (c & 0x1F) : extra == 2 ? (c & 0x0F) : (c & 0x07);
        bool ok = true;
        for (int k = 1; k <= extra && ok; ++k) {
            const unsigned char n = (unsigned char)text[i + std::size_t(k)];
            ok = (n & 0xC0) == 0x80;
            cp = cp << 6 | (n & 0x3F);
        }
        if (!ok || cp < kLeast[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            AppendWide(out, 0xFFFD);
            ++i;
            continue;
        }
        AppendWide(out, cp);
        i += std::size_t(extra) + 1;
    }
    return out;
}
