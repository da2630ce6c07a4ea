#include "log/LogFormat.h"

std::wstring FormatDateStamp(int year, int month, int day) {
    std::wstring s = std::to_wstring(year);
    auto two = [&s](int v) {
        if (v >= 0 && v < 10) s += L'0';
        s += std::to_wstring(v);
    };
    two(month);
    two(day);
    return s;
}

std::wstring FormatFindingBody(const wchar_t* path, const wchar_t* outcome, std::uint32_t threatType,
                               const wchar_t* md5, std::uint32_t crc) {
    std::wstring s;
    s.reserve(128);
    s += L",,";
    if (path) s += path;
    s += L",,";
    if (outcome) s += outcome;
    s += L",,";
    s += std::to_wstring(threatType);
    s += L",,";
    s += md5 ? md5 : kNoMd5Text;
    s += L",,";
    s += std::to_wstring(crc);
    return s;
}

void AppendTextMode(std::string& out, const char* bytes, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
        if (bytes[i] == '\n') out += '\r';
        out += bytes[i];
    }
}
