#include "cleaners/drive/MediaFiles.h"

#include "util/AsciiCase.h"

bool HasMediaExtension(const std::wstring& path) {
    const std::size_t dot = path.rfind(L'.');
    if (dot == std::wstring::npos || dot == 0) return false;
    const std::wstring ext = path.substr(dot);
    for (const wchar_t* m : {L".mp3", L".wmv", L".wma", L".asf", L".mp2"})
        if (AsciiEqualsNoCase(ext, std::wstring(m))) return true;
    return false;
}

bool IsUrlAndExit(const std::wstring& type) {
    return AsciiEqualsNoCase(type, std::wstring(kUrlAndExitType));
}

bool StartsWithKnownLicenceAddress(const std::wstring& value) {
    return AsciiStartsWithNoCase(value, std::wstring(kKnownLicenceAddress));
}
