#pragma once
// Digests and executable tests of files on disk. Files are read with ReadFile, never mapped: a removable
// drive pulled during a mapped read faults the process.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// Reads a whole file (sharing read and write) whose size is above `minExclusive` and at most `maxInclusive`.
bool ReadWholeFile(const wchar_t* path, std::uint64_t minExclusive, std::uint64_t maxInclusive,
                   std::vector<std::uint8_t>& bytes);

// CRC-32 of a file of 1 to 5,242,879 bytes (sharing read and write). E_FAIL otherwise.
HRESULT Crc32OfFile(const wchar_t* path, std::uint32_t* crc);

// MD5 of a file read in 4096-byte blocks (sharing read, write and delete), under the size rule of
// Md5OfBuffer. 0 on success, 1 otherwise; the text lives in this helper's buffer until its next call.
int Md5OfFile(const wchar_t* path, const wchar_t** text, std::uint32_t limit, int force);
// The same as a string the caller keeps (limit 0x500000, not forced); empty when it could not be taken.
std::wstring Md5TextOfFile(const wchar_t* path);

// What a finding line records of a file: its CRC-32 (0 when it cannot be taken) and its MD5 text (empty when
// it cannot be taken).
struct FileDigests {
    std::uint32_t crc = 0;
    std::wstring md5;
};
FileDigests DigestsOfFile(const wchar_t* path);

// "MZ", then "PE\0\0" at e_lfanew, with 248 bytes of headers readable there.
bool IsPeFile(const wchar_t* path);
