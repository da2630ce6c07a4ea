#pragma once
// Detectors that judge a file by its content: the Delphi source infector, script infectors and droppers, and
// files whose MD5 is never deleted. Pure functions over the bytes the walk has already read.
#include <cstddef>
#include <cstdint>
#include <string>

constexpr std::size_t kNoMatch = static_cast<std::size_t>(-1);

// Position of the first `value` in the content, or kNoMatch: memchr's answer. The C runtime the Windows
// programs use (msvcrt, at least as Wine provides it) looks at one byte at a time; this compares 16 bytes at
// once where the processor has SSE2 and a machine word at once elsewhere.
std::size_t FindByte(const std::uint8_t* content, std::uint8_t value, std::size_t length);
// The machine-word version FindByte falls back to.
std::size_t FindByteInWords(const std::uint8_t* content, std::uint8_t value, std::size_t length);

// Position of the first match, or kNoMatch. A byte that breaks a partial match is not compared again with the
// first pattern byte (so "xxy" is not found in "xxxy"); FindBytesNoCase folds ASCII capitals on both sides.
std::size_t FindBytes(const std::uint8_t* content, const std::uint8_t* pattern, std::size_t patternLength,
                      std::size_t contentLength);
std::size_t FindBytesNoCase(const std::uint8_t* content, const std::uint8_t* pattern, std::size_t patternLength,
                            std::size_t contentLength);
// The same rule, one byte at a time: what the fast versions are checked against.
std::size_t FindBytesReference(const std::uint8_t* content, const std::uint8_t* pattern, std::size_t patternLength,
                               std::size_t contentLength, bool foldCase);

constexpr std::size_t kDelphiLimit = 3145728;
constexpr std::size_t kVbsLimit = 1048576;
constexpr std::size_t kDropperLimit = 3145728;

bool IsDelphiInfector(const std::uint8_t* content, std::size_t length);
bool IsVbsInfector(const std::uint8_t* content, std::size_t length);
bool IsScriptDropper(const std::uint8_t* content, std::size_t length);

// MD5 texts of files that are never deleted, compared without case. A null text is not protected.
bool IsProtectedHash(const char* md5Text);
bool IsProtectedHash(const wchar_t* md5Text);
