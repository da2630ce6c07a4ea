#include "util/ProgramPath.h"

#include <windows.h>

std::wstring ProgramFilePath() {
    wchar_t path[MAX_PATH] = {};
    const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return std::wstring();  // a truncated path names another file
    return std::wstring(path, n);
}

std::wstring ProgramFolder() {
    const std::wstring path = ProgramFilePath();
    const std::size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}
