#pragma once
// The counters of one scan and the texts the page shows from them.
#include <cstdint>
#include <string>

struct ScanStats {
    std::uint32_t FilesExamined = 0;
    std::uint32_t ThreatsFound = 0;
    std::uint32_t Immunized = 0;
    std::uint32_t Repaired = 0;
    std::uint32_t Disguised = 0;
    std::uint32_t Deleted = 0;
    std::uint32_t RebootPending = 0;
    std::uint32_t reserved[2] = {0, 0};  // nine slots, two unused
};

// "Scan_Info": files examined | threats | deleted | repaired.
std::wstring FormatScanInfo(const ScanStats& s);

// Threats found in a run: the counter, and one more for a bootkit found in the boot record.
std::uint32_t ThreatsIncludingBootkit(const ScanStats& s, bool bootkit);

// "Scan_Result": files | found - disguised | disguised | deleted | repaired | immunized, signed as shown.
std::wstring FormatScanResult(const ScanStats& s, bool bootkit);
