#include "cleaners/system/SystemPlaces.h"

#include <windows.h>
#include <shlobj.h>

#include "util/ProgramPath.h"
#include "util/WindowsVersion.h"

SystemPlaces RealSystemPlaces() {
    SystemPlaces p;
    p.bootDisk = L"\\\\.\\PhysicalDrive0";
    p.windowsFolder = WindowsFolder();
    p.programFiles = ShellFolder(CSIDL_PROGRAM_FILES);
    p.allUsersStartup = ShellFolder(CSIDL_COMMON_STARTUP);
    p.userStartup = ShellFolder(CSIDL_STARTUP);
    wchar_t profile[MAX_PATH] = {};
    const DWORD n = ::ExpandEnvironmentStringsW(L"%USERPROFILE%", profile, MAX_PATH);
    // Unexpanded (no such variable) or too long: no profile folder.
    if (n > 0 && n <= MAX_PATH && profile[0] != L'%') {
        p.userProfile = profile;
        if (!p.userProfile.empty() && p.userProfile.back() == L'\\') p.userProfile.pop_back();
    }
    p.windowsVersionClass = GetWindowsVersionClass();
    return p;
}
