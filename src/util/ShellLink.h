#pragma once
// Reading a shortcut (.lnk) through the shell's link object: what it starts and with which arguments.
#include <string>

// False when the file is no shortcut the shell can load; the target is empty when it names none.
bool ReadShortcut(const std::wstring& lnkPath, std::wstring& target, std::wstring& arguments);
