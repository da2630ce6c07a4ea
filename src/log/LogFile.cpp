#include "log/LogFile.h"

#include <windows.h>
#include <shlwapi.h>

#include "log/VLogger.h"
#include "util/ProgramPath.h"
#include "util/WinHandle.h"

bool LogHasContent(const wchar_t* path) {
    if (!path || std::wcslen(path) <= 2) return false;
    FileHandle file(::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size = {};
    return file && ::GetFileSizeEx(file.Get(), &size) && size.QuadPart != 0;
}

void CleanUpEmptyLog(VLogger& logger, const std::wstring& programFolder) {
    const std::wstring path = programFolder + L"\\Cleaner.log";
    if (LogHasContent(path.c_str()) || !::PathFileExistsW(path.c_str())) return;
    if (!::DeleteFileW(path.c_str())) {
        logger.Close();
        ::DeleteFileW(path.c_str());
    }
}

void CleanUpEmptyLog() { CleanUpEmptyLog(ProcessLogger(), ProgramFolder()); }
