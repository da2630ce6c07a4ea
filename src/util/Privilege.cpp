#include "util/Privilege.h"

#include "util/WinHandle.h"

bool EnablePrivilege(const wchar_t* name) {
    KernelHandle token;
    if (!name || !::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.Put()))
        return false;
    TOKEN_PRIVILEGES tp = {};
    tp.PrivilegeCount = 1;
    tp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!::LookupPrivilegeValueW(nullptr, name, &tp.Privileges[0].Luid)) return false;
    if (!::AdjustTokenPrivileges(token.Get(), FALSE, &tp, sizeof tp, nullptr, nullptr)) return false;
    return ::GetLastError() == ERROR_SUCCESS;
}
