#pragma once
// The name and digest rules of the per-file check and the drive walk, and the decoder of the built-in list of
// known malware paths. Pure functions over text and bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The whole-file MD5 blacklist (lower-case hexadecimal, compared without case).
bool IsBlacklistedMd5(const wchar_t* md5Text);

// "\velmora\" or "\zeb" anywhere (without case): our own product's files are removed without a finding line.
bool IsOwnProductPath(const std::wstring& path);

// Never icon-disguised: "mstsc.exe" or "nokia.ngr" in the path, or the extension ".dll", ".cpl" or ".ngr"
// (from the last ".", not at the path's start), without case.
bool IsIconExempt(const std::wstring& path);

// The hidden files a walk of a removable drive makes visible: the (lower-case) path contains one of the
// document, picture, archive or program extensions the worms hide behind.
bool WalkUnhidesFile(const std::wstring& lowerPath);

// The fixed-path list resource: hexadecimal text of a 16-byte key, a 4-byte check text written twice, and the
// entries XORed with the key and kFixedPathScramble. Each entry is "=" + path + CR LF, in the system code
// page. The entries of 3 to 259 bytes, in order; empty for a damaged resource.
constexpr std::uint8_t kFixedPathScramble = 0x5A;
std::vector<std::string> DecodeFixedPathList(const char* hexText, std::size_t length);
