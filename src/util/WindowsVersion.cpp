#include "util/WindowsVersion.h"

#include <windows.h>

#include "app/CommandLine.h"

int GetWindowsVersionClass() {
    OSVERSIONINFOEXW ex = {};
    ex.dwOSVersionInfoSize = sizeof ex;
    if (::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&ex)))
        return WindowsVersionClassOf(ex.dwPlatformId, ex.dwMajorVersion, ex.dwMinorVersion);
    OSVERSIONINFOW basic = {};
    basic.dwOSVersionInfoSize = sizeof basic;
    if (::GetVersionExW(&basic)) return WindowsVersionClassOf(basic.dwPlatformId, basic.dwMajorVersion, basic.dwMinorVersion);
    return 0;
}
