#include <gtest/gtest.h>

#include "support/FakeDrives.h"

namespace {

TEST(DriveList, ClassesAndExclusions) {
    FakeDrives sys;
    sys.types = {{L"A:\\", 2}, {L"C:\\", 3}, {L"D:\\", 5}, {L"E:\\", 2}, {L"F:\\", 6}, {L"Q:\\", 2},
                 {L"R:\\", 4}, {L"S:\\", 2}, {L"T:\\", 3}, {L"U:\\", 0}};
    DriveList list(sys);
    std::vector<DriveEntry> all;
    EXPECT_EQ(kResultOk, list.CollectAllDrives(all));
    const std::vector<DriveEntry> expected = {{L"C:\\", 3}, {L"E:\\", 2}, {L"F:\\", 6}, {L"T:\\", 3}};
    EXPECT_EQ(expected, all);
}

TEST(DriveList, OnlyFloppyMeansNoRemovableDrive) {
    FakeDrives sys;
    sys.types = {{L"A:\\", 2}, {L"C:\\", 3}};
    DriveList list(sys);
    std::vector<DriveEntry> removable;
    EXPECT_EQ(kResultInvalidDrive, list.CollectDrives(kDriveRemovable, removable));
    EXPECT_TRUE(removable.empty());
}

TEST(DriveList, NoDrivesAtAll) {
    FakeDrives sys;
    DriveList list(sys);
    std::vector<DriveEntry> out = {{L"Z:\\", 3}};  // already holds something: still 15, nothing enumerated
    EXPECT_EQ(kResultInvalidDrive, list.CollectDrives(kDriveFixed, out));
    EXPECT_EQ(1u, out.size());
}

TEST(DriveList, FixedThenRamDiskAccumulate) {
    FakeDrives sys;
    sys.types = {{L"C:\\", 3}, {L"D:\\", 3}};
    DriveList list(sys);
    std::vector<DriveEntry> out;
    EXPECT_EQ(kResultOk, list.CollectDrives(kDriveFixed, out));
    EXPECT_EQ(kResultOk, list.CollectDrives(kDriveRamDisk, out)) << "the list is not empty, so no error";
    EXPECT_EQ(2u, out.size());
    std::vector<DriveEntry> ram;
    EXPECT_EQ(kResultInvalidDrive, list.CollectDrives(kDriveRamDisk, ram));
}

TEST(DriveList, ArrivedFixedDriveCountsAsRemovable) {
    FakeDrives sys;
    sys.types = {{L"C:\\", 3}, {L"G:\\", 3}, {L"H:\\", 5}};
    DriveList list(sys);
    std::vector<DriveEntry> before;
    EXPECT_EQ(kResultInvalidDrive, list.CollectDrives(kDriveRemovable, before));  // plugged in before start
    list.OnVolumeArrival((1u << 6) | (1u << 7) | 1u | 2u);  // G:, H: (CD-ROM), A:, B:
    EXPECT_EQ(std::vector<std::wstring>{L"G:\\"}, list.ArrivedRoots());
    std::vector<DriveEntry> removable;
    EXPECT_EQ(kResultOk, list.CollectDrives(kDriveRemovable, removable));
    EXPECT_EQ((std::vector<DriveEntry>{{L"G:\\", 2}}), removable);
    // Case does not matter when matching a remembered root.
    EXPECT_EQ(kResultOk, list.AddArrivedRoot(L"c:\\"));
    std::vector<DriveEntry> all;
    list.CollectAllDrives(all);
    EXPECT_EQ((std::vector<DriveEntry>{{L"C:\\", 2}, {L"G:\\", 2}}), all);
}

TEST(DriveList, RemovalPrunesVanishedRoots) {
    FakeDrives sys;
    sys.types = {{L"G:\\", 3}, {L"K:\\", 2}};
    DriveList list(sys);
    list.OnVolumeArrival((1u << 6) | (1u << 10));
    list.AddArrivedRoot(L"G:\\");  // duplicates are kept
    EXPECT_EQ(3u, list.ArrivedRoots().size());
    sys.types.erase(L"G:\\");
    list.PruneArrivedRoots();
    EXPECT_EQ(std::vector<std::wstring>{L"K:\\"}, list.ArrivedRoots());
    EXPECT_EQ(kResultFail, list.AddArrivedRoot(nullptr));
}

TEST(DriveList, UnitMaskRoots) {
    EXPECT_EQ((std::vector<std::wstring>{L"C:\\", L"Z:\\"}), RootsFromUnitMask((1u << 2) | (1u << 25) | 3u));
    EXPECT_TRUE(RootsFromUnitMask(0).empty());
    EXPECT_TRUE(RootsFromUnitMask(1u << 26).empty());  // beyond Z:
}

}  // namespace
