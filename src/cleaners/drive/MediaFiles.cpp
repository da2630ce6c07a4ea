#include "cleaners/drive/MediaFiles.h"

#include <cwchar>

namespace {
wchar_t Lower(wchar_t c) { return (c >= L'A' && c <= L'Z') ? wchar_t(c - L'A' + L'a') : c; }

bool EqualsNoCase(const std::wstring& a, const wchar_t* b, std::size_t n) {
    if (a.size() < n) return false;
    for (std::size_t i = 0; i < n; ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}
}  // namespace

bool HasMediaExtension(const std::wstring& path) {
    const std::size_t dot = path.rfind(L'.');
    if (dot == std::wstring::npos || dot == 0) return false;
    const std::wstring ext = path.substr(dot);
    for (const wchar_t* m : {L".mp3", L".wmv", L".wma", L".asf", L".mp2"})
        if (ext.size() == std::wcslen(m) && EqualsNoCase(ext, m, ext.size())) return true;
    return false;
}

bool IsUrlAndExit(const std::wstring& type) {
    return type.size() == std::wcslen(kUrlAndExitType) && EqualsNoCase(type, kUrlAndExitType, type.size());
}

bool StartsWithKnownLicenceAddress(const std::wstring& value) {
    return EqualsNoCase(value, kKnownLicenceAddress, std::wcslen(kKnownLicenceAddress));
}
