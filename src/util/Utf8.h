#pragma once
// UTF-8 of wide text (wchar_t units are UTF-16 on Windows, code points elsewhere) and back; unpaired
// surrogates and malformed bytes become U+FFFD.
#include <string>

std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);
