#pragma once
// Reading a shortcut (.lnk) through the shell's link object: what it starts and with which arguments.
#include <windows.h>

#include <string>

// False when the file is no shortcut the shell can load; the target is empty when it names none.
bool ReadShortcut(const std::wstring& lnkPath, std::wstring& target, std::wstring& arguments);

// Saves a shortcut at `lnkPath` that starts `target` with `arguments`; an existing one is loaded first (and so
// keeps its other settings). S_OK, or the failing call's result.
HRESULT WriteShortcut(const std::wstring& lnkPath, const std::wstring& target, const std::wstring& arguments);
