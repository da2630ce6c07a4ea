#pragma once
#include <string>

// Wide text in the ANSI code page, for command lines handed to the program launcher.
std::string ToAnsi(const std::wstring& text);
