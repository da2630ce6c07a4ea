#pragma once
#include <windows.h>

// What the GetTickCount64 import slot resolves to on a system without it: GetTickCount widened by counting
// its wraps. Exposed for the tests.
ULONGLONG WINAPI XpTickCount64Fallback();
