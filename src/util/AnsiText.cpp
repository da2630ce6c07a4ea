#include "util/AnsiText.h"

#include <windows.h>

std::string ToAnsi(const std::wstring& text) {
    const int n = ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? std::size_t(n) : 0, '\0');
    if (n > 0) ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), int(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}
