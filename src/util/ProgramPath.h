#pragma once
#include <string>

// The program file's full path, or empty when it cannot be had (longer than 260 characters included).
std::wstring ProgramFilePath();
// The program's folder without a trailing backslash (cut at the last backslash), or empty.
std::wstring ProgramFolder();
