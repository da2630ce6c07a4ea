#include "util/ProgramPath.h"

#include <windows.h>
#include <shlobj.h>

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

std::wstring WindowsFolder() {
    wchar_t path[MAX_PATH] = {};
    const UINT n = ::GetWindowsDirectoryW(path, MAX_PATH);
    std::wstring folder = (n && n < MAX_PATH) ? std::wstring(path, n) : std::wstring();
    if (folder.size() > 3 && folder.back() == L'\\') folder.pop_back();
    return folder;
}

std::wstring SystemFolder() {
    wchar_t path[MAX_PATH] = {};
    const UINT n = ::GetSystemDirectoryW(path, MAX_PATH);
    std::wstring folder = (n && n < MAX_PATH) ? std::wstring(path, n) : std::wstring();
    if (folder.size() > 3 && folder.back() == L'\\') folder.pop_back();
    return folder;
}

std::wstring TempFolder() {
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, temp);
    if (length == 0 || length > MAX_PATH) return std::wstring();
    std::wstring path(temp, length);
    if (path.back() != L'\\') path += L'\\';
    return path;
}

std::wstring ShellFolder(int csidl) {
    wchar_t path[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path))) return std::wstring();
    std::wstring folder = path;
    if (!folder.empty() && folder.back() == L'\\') folder.pop_back();
    return folder;
}
