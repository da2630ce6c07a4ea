#pragma once
// A machine's drives as a table, for tests of the drive list and the controller.
#include <map>
#include <ostream>

#include "scan/DriveList.h"

class FakeDrives final : public DriveSystem {
public:
    std::map<std::wstring, std::int32_t> types;  // ordered like the system's drive strings
    std::vector<std::wstring> LogicalDriveRoots() override {
        std::vector<std::wstring> r;
        for (const auto& kv : types) r.push_back(kv.first);
        return r;
    }
    std::int32_t DriveType(const std::wstring& root) override {
        std::wstring upper = root;  // drive letters compare without case, as on Windows
        for (auto& c : upper) c = (c >= L'a' && c <= L'z') ? wchar_t(c - 32) : c;
        auto it = types.find(upper);
        return it == types.end() ? 1 : it->second;  // 1: no root directory
    }
};

// Readable drive entries in test failures.
inline void PrintTo(const DriveEntry& d, std::ostream* os) {
    *os << std::string(d.root.begin(), d.root.end()) << "(" << d.driveClass << ")";
}
