#pragma once
// Text of the activity log: the date stamp and the finding line, and the text-mode line ends of the file.
#include <cstdint>
#include <string>

// Eight digits: year, then month and day each padded to two digits with "0" (20261210).
std::wstring FormatDateStamp(int year, int month, int day);

// Identifier written when a finding has no MD5 text.
constexpr const wchar_t* kNoMd5Text = L"000000000000000000";

// The items of one finding line after its stamp: ",," path ",," outcome ",," type ",," md5 ",," crc.
std::wstring FormatFindingBody(const wchar_t* path, const wchar_t* outcome, std::uint32_t threatType,
                               const wchar_t* md5, std::uint32_t crc);

// Appends bytes as a text-mode stream writes them: every "\n" becomes "\r\n".
void AppendTextMode(std::string& out, const char* bytes, std::size_t length);
