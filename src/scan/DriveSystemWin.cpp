#include "scan/DriveSystemWin.h"

#include <windows.h>

std::vector<std::wstring> WindowsDriveSystem::LogicalDriveRoots() {
    std::vector<std::wstring> roots;
    const DWORD needed = ::GetLogicalDriveStringsW(0, nullptr);
    if (needed == 0) return roots;
    std::vector<wchar_t> buffer(needed + 1, 0);
    const DWORD got = ::GetLogicalDriveStringsW(needed, buffer.data());
    if (got == 0 || got > needed) return roots;  // drives changed between the two calls: none this time
    for (const wchar_t* p = buffer.data(); *p; p += std::wcslen(p) + 1) roots.emplace_back(p);
    return roots;
}

std::int32_t WindowsDriveSystem::DriveType(const std::wstring& root) {
    return static_cast<std::int32_t>(::GetDriveTypeW(root.c_str()));
}
