#pragma once
#include <windows.h>

// Enables a privilege ("SeDebugPrivilege", "SeShutdownPrivilege") in the process token. True only when the
// privilege is now enabled (AdjustTokenPrivileges reports partial success as ERROR_NOT_ALL_ASSIGNED).
bool EnablePrivilege(const wchar_t* name);
