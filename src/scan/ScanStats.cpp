#include "scan/ScanStats.h"

namespace {
std::wstring Signed(std::uint32_t v) { return std::to_wstring(static_cast<std::int32_t>(v)); }
}  // namespace

std::wstring FormatScanInfo(const ScanStats& s) {
    return Signed(s.FilesExamined) + L"|" + Signed(s.ThreatsFound) + L"|" + Signed(s.Deleted) + L"|" +
           Signed(s.Repaired);
}

std::uint32_t ThreatsIncludingBootkit(const ScanStats& s, bool bootkit) { return s.ThreatsFound + (bootkit ? 1 : 0); }

std::wstring FormatScanResult(const ScanStats& s, bool bootkit) {
    const std::uint32_t found = ThreatsIncludingBootkit(s, bootkit);
    return Signed(s.FilesExamined) + L"|" + Signed(found - s.Disguised) + L"|" + Signed(s.Disguised) + L"|" +
           Signed(s.Deleted) + L"|" + Signed(s.Repaired) + L"|" + Signed(s.Immunized);
}
