#pragma once
// The last error is taken where a call fails, before any other call can overwrite it.
#include <windows.h>

struct Win32Error {
    DWORD code = ERROR_SUCCESS;
    const char* call = nullptr;  // the function that failed
    explicit operator bool() const { return code != ERROR_SUCCESS; }
};

inline Win32Error CaptureLastError(const char* call) { return Win32Error{::GetLastError(), call}; }

// A registry function returns its error instead of setting the last error.
inline Win32Error RegistryError(LONG status, const char* call) { return Win32Error{DWORD(status), call}; }
