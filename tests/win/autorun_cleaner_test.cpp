// Drive roots (autorun worms, "Recycled.exe", immunization) and the running-program pass, on the removable
// (U:) and fixed (T:) test drives. A scratch folder stands for a drive's root.
#include <gtest/gtest.h>

#include "engine/LiveEffects.h"

#include <set>

#include "DriveCleaners.h"
#include "app/Globals.h"
#include "cleaners/drive/AutorunCleaner.h"
#include "disposal/Digest.h"
#include "scan/ProcessFolderScan.h"
#include "util/ProgramPath.h"

namespace {

const std::string kDeleted = "\xc9\xbe\xb3\xfd\xb3\xc9\xb9\xa6";  // 删除成功

class ListedPrograms final : public RunningPrograms {
public:
    bool List(std::vector<std::wstring>& out) override {
        out = images;
        return true;
    }
    std::vector<std::wstring> images;
};

DWORD Attributes(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()); }
bool IsFolder(const std::wstring& path) {
    const DWORD a = Attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

class RootPassTest : public ::testing::Test, protected DriveCleaners {
protected:
    void SetUp() override {
        controller.ReadOnlyScan = 0;
        checker.Init();
    }
    void TearDown() override { controller.ReadOnlyScan = 0; }
    // "[AutoRun]" naming `value` in the scratch root's "autorun.inf"; the value is relative to the drive.
    void WriteAutorun(const ScratchDir& root, const std::wstring& value) {
        const std::wstring relative = root.Path().substr(3) + L"\\" + value;
        std::string text = "[AutoRun]\r\nopen=";
        text.append(relative.begin(), relative.end());
        text += "\r\n";
        ASSERT_TRUE(WriteBytes(root / L"autorun.inf", text));
    }
    std::vector<DriveEntry> Root(const ScratchDir& root, DriveClass type) {
        return {DriveEntry{root.Path() + L"\\", type}};
    }
    AutorunCleaner autorun{controller, *log, disposer, checker, disguised, trust, guard};
};

TEST_F(RootPassTest, AutorunWormIsRemovedAndTheStickImmunizedOnce) {
    // A worm no list knows, and its copy deeper on the stick.
    const auto worm = PatternBytes(5000, 8);
    ASSERT_TRUE(WriteBytes(dir / L"worm.exe", worm));
    ASSERT_TRUE(::CreateDirectoryW((dir / L"deep").c_str(), nullptr));
    ASSERT_TRUE(WriteBytes(dir / L"deep\\copy.scr", worm));
    WriteAutorun(dir, L"worm.exe");
    ASSERT_EQ(S_OK, autorun.DriveRootPass(Root(dir, kDriveRemovable)));
    EXPECT_FALSE(FileExists(dir / L"worm.exe"));
    const std::string text = LogText();
    EXPECT_NE(std::string::npos, text.find("worm.exe,," + kDeleted + ",,4,,")) << text;
    EXPECT_NE(std::string::npos, text.find("autorun.inf,," + kDeleted + ",,4,,")) << text;
    const std::wstring inf = dir / L"autorun.inf";
    ASSERT_TRUE(IsFolder(inf));
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_HIDDEN),
              Attributes(inf) & (FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_HIDDEN));
    EXPECT_TRUE(IsFolder(L"\\\\?\\" + inf + L"\\con"));
    EXPECT_TRUE(IsFolder(inf + L"\\此资料夹为免疫资料夹"));
    ScanStats s = Stats();
    EXPECT_EQ(1u, s.Immunized);
    EXPECT_EQ(2u, s.Deleted);

    // The walk that follows un-hides the immunization folder like every hidden folder on a removable drive,
    // and finds the copy by the CRC the root pass learned.
    EXPECT_EQ(S_OK, walker.FullWalk(Root(dir, kDriveRemovable)));
    EXPECT_EQ(0u, Attributes(inf) & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(s.Repaired + 1, Stats().Repaired);
    EXPECT_FALSE(FileExists(dir / L"deep\\copy.scr"));
    EXPECT_NE(std::string::npos, LogText().find("copy.scr,," + kDeleted + ",,1,,"));
    s = Stats();
    EXPECT_EQ(3u, s.Deleted);

    // A second scan finds the folder and changes nothing.
    ASSERT_EQ(S_OK, autorun.DriveRootPass(Root(dir, kDriveRemovable)));
    s = Stats();
    EXPECT_EQ(1u, s.Immunized);
    EXPECT_EQ(3u, s.Deleted);
    EXPECT_TRUE(IsFolder(inf + L"\\此资料夹为免疫资料夹"));
}

TEST_F(RootPassTest, AValueWithArgumentsNamesNoFile) {
    ASSERT_TRUE(WriteBytes(dir / L"setup.exe", PatternBytes(5000, 2)));
    WriteAutorun(dir, L"setup.exe /auto");
    ASSERT_EQ(S_OK, autorun.DriveRootPass(Root(dir, kDriveRemovable)));
    EXPECT_TRUE(FileExists(dir / L"setup.exe"));
    EXPECT_TRUE(IsFolder(dir / L"autorun.inf"));
    EXPECT_EQ(1u, Stats().Deleted);
}

TEST_F(RootPassTest, FixedDrivesAreCleanedButNeverImmunized) {
    ScratchDir fixed(L"T:");
    ASSERT_TRUE(WriteBytes(fixed / L"worm.exe", PatternBytes(5000, 4)));
    WriteAutorun(fixed, L"worm.exe");
    ASSERT_EQ(S_OK, autorun.DriveRootPass(Root(fixed, kDriveFixed)));
    EXPECT_FALSE(FileExists(fixed / L"worm.exe"));
    EXPECT_FALSE(FileExists(fixed / L"autorun.inf"));
    EXPECT_EQ(0u, Stats().Immunized);
}

TEST_F(RootPassTest, ProtectedSystemFilesAndTrustedProgramsNamedByAutorunStay) {
    ScratchDir fixed(L"T:");
    for (int trusted = 0; trusted < 2; ++trusted) {
        const std::wstring target = fixed / L"system-file.exe";
        ASSERT_TRUE(WriteBytes(target, PatternBytes(5000, 6)));
        WriteAutorun(fixed, L"system-file.exe");
        guard.protectedFiles.clear();
        trust.trusted.clear();
        (trusted ? trust.trusted.push_back(target) : void(guard.protectedFiles.insert(target)));
        autorun.CleanAutorunInf(fixed / L"autorun.inf");
        EXPECT_TRUE(FileExists(target)) << (trusted ? "trusted" : "protected");
        EXPECT_FALSE(FileExists(fixed / L"autorun.inf"));
    }
}

TEST_F(RootPassTest, RecycledExeAndOtherRootFiles) {
    ASSERT_TRUE(WriteBytes(dir / L"RECYCLED.exe", std::string("not even a program")));
    ASSERT_TRUE(WriteBytes(dir / L"listed.bin", BytesWithCrc(3000, kListedCrc, 3)));
    ASSERT_TRUE(WriteBytes(dir / L"notes.txt", PatternBytes(3000, 1)));
    ASSERT_EQ(S_OK, autorun.DriveRootPass(Root(dir, kDriveRemovable)));
    EXPECT_FALSE(FileExists(dir / L"RECYCLED.exe")) << "no content test";
    EXPECT_NE(std::string::npos, LogText().find("RECYCLED.exe,," + kDeleted + ",,4,,"));
    EXPECT_FALSE(FileExists(dir / L"listed.bin")) << "every other root file goes through the per-file check";
    EXPECT_TRUE(FileExists(dir / L"notes.txt"));

    ScratchDir readOnly;
    controller.ReadOnlyScan = 1;
    ASSERT_TRUE(WriteBytes(readOnly / L"Recycled.exe", std::string("x")));
    const ScanStats before = Stats();
    ASSERT_EQ(S_OK, autorun.DriveRootPass(Root(readOnly, kDriveRemovable)));
    EXPECT_TRUE(FileExists(readOnly / L"Recycled.exe"));
    EXPECT_EQ(before.ThreatsFound + 1, Stats().ThreatsFound);
}

TEST_F(RootPassTest, HiddenRootFoldersAreJudgedAsOnAFixedDrive) {
    ASSERT_TRUE(::CreateDirectoryW((dir / L"docs").c_str(), nullptr));
    ASSERT_TRUE(::SetFileAttributesW((dir / L"docs").c_str(), FILE_ATTRIBUTE_HIDDEN));
    ASSERT_EQ(S_OK, autorun.DriveRootPass(Root(dir, kDriveRemovable)));
    EXPECT_NE(0u, Attributes(dir / L"docs") & FILE_ATTRIBUTE_HIDDEN) << "left to the walk";
    EXPECT_EQ(E_FAIL, autorun.DriveRootPass({}));
    EXPECT_EQ(E_FAIL, autorun.DriveRootPass({DriveEntry{L"U:\\no such folder\\", kDriveRemovable}}));
}

// The prefix's E: is a drive with nothing on it: its root lists no entry at all, which is not a failure, and the
// drives after it are still gone through.
TEST_F(RootPassTest, EmptyDriveIsGoneThroughAndThePassGoesOn) {
    ASSERT_EQ(DWORD(DRIVE_FIXED), ::GetDriveTypeW(L"E:\\"));
    WIN32_FIND_DATAW found;
    ASSERT_FALSE(FindHandle(::FindFirstFileW(L"E:\\*.*", &found)).Valid()) << "E: must stay empty";
    const auto worm = PatternBytes(5000, 9);
    ASSERT_TRUE(WriteBytes(dir / L"worm.exe", worm));
    WriteAutorun(dir, L"worm.exe");
    std::vector<DriveEntry> drives{DriveEntry{L"E:\\", kDriveFixed}};
    const auto stick = Root(dir, kDriveRemovable);
    drives.insert(drives.end(), stick.begin(), stick.end());
    EXPECT_EQ(S_OK, autorun.DriveRootPass(drives));
    EXPECT_FALSE(FileExists(dir / L"worm.exe")) << "the drive after the empty one was gone through";
    EXPECT_FALSE(FileExists(L"E:\\autorun.inf")) << "a fixed drive is never immunized";
}

TEST(FolderPath, SplitAndCreate) {
    std::vector<std::wstring> parts;
    EXPECT_TRUE(SplitPath(L"U:\\a\\b\\c", parts));
    EXPECT_EQ((std::vector<std::wstring>{L"U:\\", L"a\\", L"b\\", L"c"}), parts);
    EXPECT_FALSE(SplitPath(L"U:\\a\\", parts));
    EXPECT_EQ((std::vector<std::wstring>{L"U:\\", L"a\\"}), parts);

    ScratchDir dir;
    LiveEffects fx;
    const std::wstring chain = dir / L"x\\y\\z";
    EXPECT_TRUE(CreateFolderPath(fx, chain + L"\\", 0));
    EXPECT_TRUE(IsFolder(chain));
    EXPECT_FALSE(CreateFolderPath(fx, chain, 0)) << "already there";
    EXPECT_FALSE(IsFolder(chain + L"\\con")) << "mode 0 makes only the chain";
}

class ProcessPassTest : public RootPassTest {};

TEST_F(ProcessPassTest, EachProgramFolderIsWalkedOnceTwoLevelsDeep) {
    const std::wstring folder = dir / L"Programs";
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW((folder + L"\\sub").c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW((folder + L"\\sub\\deeper").c_str(), nullptr));
    ASSERT_TRUE(WriteBytes(folder + L"\\a.exe", PatternBytes(4000, 1)));
    ASSERT_TRUE(WriteBytes(folder + L"\\b.exe", PatternBytes(4000, 2)));
    ASSERT_TRUE(WriteBytes(folder + L"\\listed.dat", BytesWithCrc(3000, kListedCrc, 1)));
    ASSERT_TRUE(WriteBytes(folder + L"\\sub\\listed.dat", BytesWithCrc(3000, kListedCrc, 2)));
    ASSERT_TRUE(WriteBytes(folder + L"\\sub\\deeper\\listed.dat", BytesWithCrc(3000, kListedCrc, 3)));
    ListedPrograms programs;
    programs.images = {folder + L"\\a.exe", folder + L"\\B.EXE"};
    ProcessFolderScan pass{controller, checker, programs};
    EXPECT_EQ(S_OK, pass.ScanRunningProcesses());
    EXPECT_EQ(1u, pass.VisitedFolders().size());
    EXPECT_FALSE(FileExists(folder + L"\\listed.dat"));
    EXPECT_FALSE(FileExists(folder + L"\\sub\\listed.dat"));
    EXPECT_TRUE(FileExists(folder + L"\\sub\\deeper\\listed.dat")) << "two levels only";
    // Two programs, then the folder's five files (two programs again, the listed one, the two below).
    EXPECT_EQ(2u + 4u, Stats().FilesExamined);

    controller.RequestStop();
    EXPECT_EQ(E_FAIL, pass.ScanRunningProcesses());
}

TEST(RunningPrograms, TheProcessListHoldsThisProgram) {
    std::vector<std::wstring> images;
    ASSERT_TRUE(RealRunningPrograms().List(images));
    bool self = false;
    for (const auto& image : images)
        self |= ::CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, image.c_str(), -1, ProgramFilePath().c_str(), -1) ==
                CSTR_EQUAL;
    EXPECT_TRUE(self);
}

// The backup folder beside the program holds copies of removed threats: neither the running-program pass nor
// the drive walk enters it. The program folder must be one we may scan, so a copy of this test program runs
// the child half below from a scratch folder.
TEST(BackupFolder, NeitherPassEntersIt) {
    ScratchDir dir;
    const std::wstring app = dir / L"app";
    ASSERT_TRUE(::CreateDirectoryW(app.c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW((app + L"\\BackFiles").c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW((app + L"\\plugins").c_str(), nullptr));
    ASSERT_TRUE(::CopyFileW(ProgramFilePath().c_str(), (app + L"\\win_tests.exe").c_str(), FALSE));
    ASSERT_TRUE(::SetEnvironmentVariableW(L"VELUDISK_BACKUP_CHILD", L"1"));
    ChildProcess child = StartProcess(app + L"\\win_tests.exe", L"--gtest_filter=BackupFolderChild.*");
    ::SetEnvironmentVariableW(L"VELUDISK_BACKUP_CHILD", nullptr);
    ASSERT_TRUE(child.process);
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(child.process.Get(), 60000));
    DWORD code = 1;
    ASSERT_TRUE(::GetExitCodeProcess(child.process.Get(), &code));
    EXPECT_EQ(0u, code) << "the child's checks failed";
    EXPECT_TRUE(FileExists(app + L"\\BackFiles\\kept.bin"));
    EXPECT_FALSE(FileExists(app + L"\\plugins\\listed.bin"));
}

}  // namespace

// Run only by BackupFolder.NeitherPassEntersIt, from a copy of this program.
TEST(BackupFolderChild, SkipsTheBackupFolder) {
    ASSERT_TRUE(::GetEnvironmentVariableW(L"VELUDISK_BACKUP_CHILD", nullptr, 0) > 0) << "run through BackupFolder";
    DriveCleaners harness;
    FileChecker& checker = harness.checker;
    ASSERT_EQ(S_OK, checker.Init());
    const std::wstring app = ProgramFolder();
    const auto listed = BytesWithCrc(3000, kListedCrc, 7);

    ListedPrograms programs;
    programs.images = {ProgramFilePath()};
    ProcessFolderScan pass{harness.controller, checker, programs};
    ASSERT_TRUE(WriteBytes(app + L"\\BackFiles\\kept.bin", listed));
    ASSERT_TRUE(WriteBytes(app + L"\\plugins\\listed.bin", listed));
    EXPECT_EQ(S_OK, pass.ScanRunningProcesses());
    EXPECT_TRUE(FileExists(app + L"\\BackFiles\\kept.bin"));
    EXPECT_FALSE(FileExists(app + L"\\plugins\\listed.bin"));

    ASSERT_TRUE(WriteBytes(app + L"\\plugins\\listed.bin", listed));
    EXPECT_EQ(S_OK, harness.walker.FullWalk({DriveEntry{app + L"\\", kDriveFixed}}));
    EXPECT_TRUE(FileExists(app + L"\\BackFiles\\kept.bin"));
    EXPECT_FALSE(FileExists(app + L"\\plugins\\listed.bin"));
}
