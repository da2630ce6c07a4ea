#pragma once
#include <string>

// The program file's full path, or empty when it cannot be had (longer than 260 characters included).
std::wstring ProgramFilePath();
// The program's folder without a trailing backslash (cut at the last backslash), or empty.
std::wstring ProgramFolder();

// The Windows folder and the system folder as the system reports them, without a trailing backslash; empty
// when they cannot be had.
std::wstring WindowsFolder();
std::wstring SystemFolder();

// A shell folder (CSIDL_PROGRAM_FILES, CSIDL_COMMON_STARTUP, ...) without a trailing backslash, or empty.
std::wstring ShellFolder(int csidl);

// The temporary folder with a trailing backslash, or empty when it cannot be had.
std::wstring TempFolder();
