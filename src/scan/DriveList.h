#pragma once
// Which drives a scan visits: removable, fixed and RAM-disk drives, floppy and reserved letters left out, and
// drives announced by a device arrival counted as removable even when Windows calls them fixed.
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "util/Result.h"

enum DriveClass : std::int32_t { kDriveRemovable = 2, kDriveFixed = 3, kDriveCdRom = 5, kDriveRamDisk = 6 };


struct DriveEntry {
    std::wstring root;  // "X:\"
    std::int32_t driveClass = 0;
    bool operator==(const DriveEntry& o) const { return root == o.root && driveClass == o.driveClass; }
};

// What the drive list asks of the system; the Windows binding and test doubles implement it.
class DriveSystem {
public:
    virtual ~DriveSystem() = default;
    virtual std::vector<std::wstring> LogicalDriveRoots() = 0;  // in the system's (alphabetical) order
    virtual std::int32_t DriveType(const std::wstring& root) = 0;
};

// Roots for a volume-arrival unit mask: bit 0 is A:, A: and B: never count.
std::vector<std::wstring> RootsFromUnitMask(std::uint32_t unitMask);

class DriveList {
public:
    explicit DriveList(DriveSystem& system) : m_system(system) {}

    VResult EnumerateDrives();
    VResult CollectDrives(std::int32_t driveClass, std::vector<DriveEntry>& out);
    VResult CollectAllDrives(std::vector<DriveEntry>& out);
    VResult AddArrivedRoot(const wchar_t* root);
    VResult PruneArrivedRoots();
    // A volume arrived: every root of its unit mask is remembered.
    void OnVolumeArrival(std::uint32_t unitMask);

    std::vector<DriveEntry> Drives() const;
    std::vector<std::wstring> ArrivedRoots() const;

private:
    DriveSystem& m_system;
    // The window thread adds arrivals while the worker enumerates: both lists are guarded.
    mutable std::mutex m_lock;
    std::vector<DriveEntry> m_drives;
    std::vector<std::wstring> m_arrivedRoots;
};
