// Drive discovery against the test prefix's real drives: C: and T: fixed, U: removable, X: a CD-ROM.
#include <gtest/gtest.h>

#include "scan/DriveList.h"
#include "scan/DriveSystemWin.h"
#include "support/FakeDrives.h"

namespace {

std::int32_t ClassOf(const std::vector<DriveEntry>& drives, const wchar_t* root) {
    for (const auto& d : drives)
        if (d.root == root) return d.driveClass;
    return -1;
}

TEST(DriveDiscovery, ClassesOfThePrefixDrives) {
    WindowsDriveSystem system;
    DriveList list(system);
    std::vector<DriveEntry> all;
    ASSERT_EQ(kResultOk, list.CollectAllDrives(all));
    EXPECT_EQ(3, ClassOf(all, L"C:\\"));
    EXPECT_EQ(3, ClassOf(all, L"T:\\"));
    EXPECT_EQ(2, ClassOf(all, L"U:\\"));
    EXPECT_EQ(-1, ClassOf(all, L"X:\\")) << "CD-ROM drives are never scanned";
    EXPECT_EQ(-1, ClassOf(all, L"Z:\\")) << "the host's root is not mapped";
    std::vector<DriveEntry> removable;
    ASSERT_EQ(kResultOk, list.CollectDrives(kDriveRemovable, removable));
    EXPECT_EQ((std::vector<DriveEntry>{{L"U:\\", 2}}), removable);
}

TEST(DriveDiscovery, ArrivalReclassesAFixedDriveAndIgnoresACdRom) {
    WindowsDriveSystem system;
    DriveList list(system);
    list.OnVolumeArrival((1u << (L'T' - L'A')) | (1u << (L'X' - L'A')));
    EXPECT_EQ(std::vector<std::wstring>{L"T:\\"}, list.ArrivedRoots());
    std::vector<DriveEntry> removable;
    ASSERT_EQ(kResultOk, list.CollectDrives(kDriveRemovable, removable));
    EXPECT_EQ((std::vector<DriveEntry>{{L"T:\\", 2}, {L"U:\\", 2}}), removable);
    list.PruneArrivedRoots();  // T: is still there
    EXPECT_EQ(1u, list.ArrivedRoots().size());
}

TEST(DriveDiscovery, FixedThenRamDiskIntoOneList) {
    WindowsDriveSystem system;
    DriveList list(system);
    std::vector<DriveEntry> walk;
    EXPECT_EQ(kResultOk, list.CollectDrives(kDriveFixed, walk));
    EXPECT_EQ(kResultOk, list.CollectDrives(kDriveRamDisk, walk)) << "no RAM disk, but the list is not empty";
    EXPECT_EQ(3, ClassOf(walk, L"C:\\"));
    EXPECT_EQ(3, ClassOf(walk, L"T:\\"));
}

}  // namespace
