#pragma once
// The blacklist of whole-file CRC-32 values: loaded from the program's resource text, extended while scanning
// with the CRCs of worms removed, and searched for every file examined. Not thread-safe: the scan worker owns it.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "util/Result.h"

// Characters per value in the resource text.
constexpr std::size_t kCrcGroupChars = 8;

// Reads one group the way "%x" does: blanks, an optional sign, an optional "0x", then hexadecimal digits.
// A group without digits reads as 0.
std::uint32_t ParseCrcGroup(const char* group, std::size_t length);

class CrcBlacklist {
public:
    // Loads resource "TEXTTYPE" 213 of the program image (Windows only).
    VResult LoadCrcList();
    // Parses the resource text: groups of 8 characters, each one value. A value of 0 stops the load with
    // failure, keeping what was read so far (sorted).
    VResult LoadFromText(const char* text, std::size_t size);
    bool ContainsCrc(std::uint32_t crc) const;
    void LearnCrc(std::uint32_t crc);
    void Release();
    const std::vector<std::uint32_t>& Values() const { return m_crcList; }

private:
    void Sort();
    std::vector<std::uint32_t> m_crcList;
};
