#pragma once
#include "scan/DriveList.h"

// The drive list's view of this machine: GetLogicalDriveStringsW and GetDriveTypeW.
class WindowsDriveSystem final : public DriveSystem {
public:
    std::vector<std::wstring> LogicalDriveRoots() override;
    std::int32_t DriveType(const std::wstring& root) override;
};
