#pragma once
// The names a resident trojan family derives from the first disk's ATA identify data: its files, folders,
// processes and Run values.
#include <cstdint>
#include <string>

// The drive id number: ((w1 + w3 + w6 + w21) << 16) + w10..w19 + w23..w26 + w27..w46 in 32-bit arithmetic,
// as decimal text ("%d", so it may be negative).
std::string DriveIdStringOf(const std::uint16_t* identifyWords);

// MD5 texts chained from the drive id string (ANSI): H1 of the id, H2 of H1, H3 of H2, H4 of H3.
struct DerivedNames {
    std::string a;  // H1 2..7
    std::string b;  // H1 13..18
    std::string d;  // H1 20..25
    std::string e;  // H1 0..7
    std::string f;  // H2 0..5
    std::string g;  // H3 0..5
    std::string i;  // H4 0..5
};
DerivedNames DeriveNames(const std::string& driveIdAnsi);
