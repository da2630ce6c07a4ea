// The per-file check, the drive walk and the known-path sweep on the removable (U:) and fixed (T:) test
// drives, with the program's own blacklist, icon table and archive library.
#include <gtest/gtest.h>

#include "DriveCleaners.h"
#include "app/Globals.h"
#include "cleaners/drive/FileCheckRules.h"
#include "disposal/DigestFile.h"
#include "disposal/Digest.h"
#include "disposal/ImagePath.h"
#include "disposal/PeResources.h"
#include "util/ProgramPath.h"
#include "support/PeBuilder.h"

namespace {

const std::string kDeletedOutcome = "\xc9\xbe\xb3\xfd\xb3\xc9\xb9\xa6";  // 删除成功

std::vector<unsigned char> Program(const wchar_t* name) { return ReadBytes(ProgramFolder() + L"\\" + name); }

std::vector<unsigned char> operator+(std::vector<unsigned char> a, const std::string& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

bool Hidden(const std::wstring& path) {
    const DWORD a = ::GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_HIDDEN);
}

class FileCheckerTest : public ::testing::Test, protected DriveCleaners {
protected:
    void SetUp() override {
        controller.ReadOnlyScan = 0;
        controller.DelphiInfectorState = 0;
        controller.ScriptInfectorSeen = 0;
        controller.MediaRepairReported = 0;
        ASSERT_EQ(S_OK, checker.Init());
        ASSERT_TRUE(checker.ArchiveReady());
    }
    void TearDown() override {
        checker.Release();
        controller.ReadOnlyScan = 0;
    }
};

TEST_F(FileCheckerTest, OnlyFilesAboveOneKilobyteAndBelowFiveMegabytesAreExamined) {
    struct Case {
        std::size_t size;
        std::uint32_t examined;
    } cases[] = {{1024, 0}, {1025, 1}, {5242879, 1}, {5242880, 0}};
    for (const auto& c : cases) {
        const std::wstring path = dir / L"listed.bin";
        ASSERT_TRUE(WriteBytes(path, BytesWithCrc(c.size, kListedCrc, 5)));
        const ScanStats before = Stats();
        checker.CheckFile(path);
        EXPECT_EQ(c.examined, Stats().FilesExamined - before.FilesExamined) << c.size;
        EXPECT_EQ(c.examined == 1, !FileExists(path)) << c.size << ": a listed CRC is removed once examined";
        ::DeleteFileW(path.c_str());
    }
}

TEST_F(FileCheckerTest, ThreatsAreFoundWithTheirTypes) {
    const auto rar = ReadBytes(ProgramFolder() + L"\\fixtures\\archives\\document.rar");
    std::vector<unsigned char> dropper = Program(L"folder_icon_program.exe") + "KillVirus.TXT SOLA exefile\\shell\\";
    dropper.insert(dropper.end(), rar.begin(), rar.end());
    struct Case {
        const char* what;
        const wchar_t* name;
        std::vector<unsigned char> bytes;
        int type;  // -1: clean
    } cases[] = {
        {"listed CRC", L"a.bin", BytesWithCrc(4000, kListedCrc, 5), 1},
        {"Delphi infector", L"b.exe", Program(L"startup_probe.exe") + "CreateProcess \\bin\\dcc32.exe\" ValueEx(k,'RootDir'", 8},
        {"script infector", L"c.vbs", std::vector<unsigned char>(2000, ' ') + "\nExecute x\nucase(hex(int(rnd*24000+40960))", 9},
        {"script dropper", L"d.txt", std::vector<unsigned char>(2000, ' ') + "KillVirus.TXT SOLA exefile\\shell\\", 12},
        {"archive dropper", L"e.exe", dropper, 12},
        {"document carrier", L"f.doc.exe", Program(L"doc_infector.exe"), 11},
        {"folder icon", L"g.exe", Program(L"folder_icon_program.exe"), 3},
        {"ordinary program", L"h.exe", Program(L"startup_probe.exe"), -1},
        {"ordinary text", L"i.txt", std::vector<unsigned char>(3000, 'a'), -1},
    };
    const std::wstring folder = dir / L"sub";
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    for (const auto& c : cases) {
        const std::wstring path = folder + L"\\" + c.name;
        ASSERT_TRUE(WriteBytes(path, c.bytes)) << c.what;
        const ScanStats before = Stats();
        checker.CheckFile(path);
        const ScanStats after = Stats();
        EXPECT_EQ(c.type >= 0, !FileExists(path)) << c.what;
        EXPECT_EQ(c.type >= 0 ? 1u : 0u, after.ThreatsFound - before.ThreatsFound) << c.what;
        if (c.type >= 0) {
            const std::string line = std::string(c.name, c.name + std::wcslen(c.name)) + ",," + kDeletedOutcome + ",," +
                                     std::to_string(c.type) + ",,";
            EXPECT_NE(std::string::npos, LogText().find(line)) << c.what << "\n" << LogText();
        }
    }
    EXPECT_EQ(2, controller.DelphiInfectorState.load());
    EXPECT_EQ(1, controller.ScriptInfectorSeen.load());
    EXPECT_EQ("Quarterly report\r\n", ReadText(folder + L"\\report.doc")) << "the archive's document came back";
    EXPECT_TRUE(FileExists(folder + L"\\f.doc")) << "the carrier's document came back";
    EXPECT_EQ(0, controller.MediaRepairReported.load()) << "no media file was repaired";
}

// A dropper whose first document is damaged: the next one is restored, nothing partial stays, and the carrier
// still goes.
TEST_F(FileCheckerTest, ArchiveDropperWithADamagedFirstDocument) {
    const auto rar = ReadBytes(ProgramFolder() + L"\\fixtures\\archives\\damaged-first.rar");
    std::vector<unsigned char> dropper = Program(L"folder_icon_program.exe") + "KillVirus.TXT SOLA exefile\\shell\\";
    dropper.insert(dropper.end(), rar.begin(), rar.end());
    const std::wstring folder = dir / L"sub";
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring path = folder + L"\\e.exe";
    ASSERT_TRUE(WriteBytes(path, dropper));
    checker.CheckFile(path);
    EXPECT_FALSE(FileExists(path));
    EXPECT_EQ("second document\r\n", ReadText(folder + L"\\second.txt"));
    EXPECT_FALSE(FileExists(folder + L"\\first.doc"));
    EXPECT_EQ(1u, Stats().Repaired);
}

// A program on a stick whose resource directories all point to one shared subdirectory (a billion visits if
// walked naively): the whole per-file check finishes, bounded by the walk's cap.
TEST_F(FileCheckerTest, ResourceTreeOfSharedSubdirectoriesEnds) {
    const std::wstring path = dir / L"sub\\shared.exe";
    ASSERT_TRUE(::CreateDirectoryW((dir / L"sub").c_str(), nullptr));
    const auto image = PeBuilder::SharedSubdirectories(1000);
    ASSERT_TRUE(WriteBytes(path, std::vector<unsigned char>(image.begin(), image.end())));
    std::size_t visited = 0;
    PeResourceReader reader;
    ASSERT_TRUE(reader.Open(image.data(), image.size()));
    reader.ForEach([&](const PeResourceEntry&) { return ++visited, true; });
    EXPECT_LE(visited, kMaxResourceEntriesVisited);
    EXPECT_GT(visited, 0u) << "the tree is walked, up to the cap";
    const ScanStats before = Stats();
    checker.CheckFile(path);
    EXPECT_EQ(1u, Stats().FilesExamined - before.FilesExamined);
    EXPECT_TRUE(FileExists(path)) << "an odd resource tree alone is no threat";
}

// No file with a listed MD5 can be made, so the list is replaced: what it holds is found as a MD5 threat,
// ahead of every content detector and the icon test.
std::wstring g_listedMd5;
bool ListedForTest(const wchar_t* md5) { return md5 && g_listedMd5 == md5; }

TEST_F(FileCheckerTest, ListedMd5IsAThreatAheadOfTheDetectors) {
    checker.SetMd5Rule(&ListedForTest);
    struct Case {
        const char* what;
        const wchar_t* name;
        std::vector<unsigned char> bytes;
    } cases[] = {
        {"text", L"a.txt", PatternBytes(3000, 7)},
        {"program", L"b.exe", Program(L"startup_probe.exe")},
        {"library", L"c.dll", ReadBytes(ProgramFolder() + L"\\folder_icon_library.dll")},
        {"look-alike program", L"d.exe", Program(L"folder_icon_program.exe")},
        {"script infector", L"e.vbs", std::vector<unsigned char>(2000, ' ') + "\nExecute x\nucase(hex(int(rnd*24000+40960))"},
    };
    for (const auto& c : cases) {
        const std::wstring path = dir / c.name;
        ASSERT_TRUE(WriteBytes(path, c.bytes)) << c.what;
        g_listedMd5 = Md5TextOfFile(path.c_str());
        ASSERT_EQ(32u, g_listedMd5.size()) << c.what;
        const ScanStats before = Stats();
        checker.CheckFile(path);
        EXPECT_FALSE(FileExists(path)) << c.what;
        const ScanStats after = Stats();
        EXPECT_EQ(1u, after.ThreatsFound - before.ThreatsFound) << c.what;
        EXPECT_EQ(0u, after.Disguised - before.Disguised) << c.what << ": the MD5 list comes before the icon test";
        const std::string name(c.name, c.name + std::wcslen(c.name));
        EXPECT_NE(std::string::npos, LogText().find(name + ",," + kDeletedOutcome + ",,0,," +
                                                    std::string(g_listedMd5.begin(), g_listedMd5.end())))
            << c.what << "\n" << LogText();
    }
    EXPECT_EQ(0, controller.ScriptInfectorSeen.load()) << "the script infector was found by its MD5, not its content";
}

TEST_F(FileCheckerTest, OurOwnProgramsAndLibrariesPassTheWholeCheck) {
    // Copies, so that nothing the check might do reaches the build: the program (with the archive library
    // inside it), the archive library itself and the boot-clean driver.
    const std::wstring build = ProgramFolder() + L"\\..\\..";
    const std::wstring images[] = {build + L"\\src\\veludisk.exe", build + L"\\unrar\\unrar.dll",
                                   build + L"\\driver\\bc.sys"};
    const ScanStats before = Stats();
    for (const auto& image : images) {
        const std::wstring copy = dir / FileNameOf(image);
        ASSERT_TRUE(::CopyFileW(image.c_str(), copy.c_str(), FALSE)) << std::string(image.begin(), image.end());
        checker.CheckFile(copy);
        EXPECT_TRUE(FileExists(copy)) << std::string(image.begin(), image.end());
    }
    EXPECT_EQ(0u, Stats().ThreatsFound - before.ThreatsFound);
    EXPECT_EQ(3u, Stats().FilesExamined - before.FilesExamined);
}

TEST_F(FileCheckerTest, ALearnedCrcFindsCopiesAndOwnProductPathsLeaveNoLine) {
    const auto worm = PatternBytes(3000, 9);
    crcs.LearnCrc(Crc32(0, worm.data(), worm.size()));
    const std::wstring copy = dir / L"copy.com";
    ASSERT_TRUE(WriteBytes(copy, worm));
    checker.CheckFile(copy);
    EXPECT_FALSE(FileExists(copy));
    EXPECT_NE(std::string::npos, LogText().find("copy.com,," + kDeletedOutcome + ",,1,,"));

    const std::wstring own = dir / L"velmora";
    ASSERT_TRUE(::CreateDirectoryW(own.c_str(), nullptr));
    ASSERT_TRUE(WriteBytes(own + L"\\old.exe", worm));
    checker.CheckFile(own + L"\\old.exe");
    EXPECT_FALSE(FileExists(own + L"\\old.exe"));
    EXPECT_EQ(std::string::npos, LogText().find("old.exe"));
    EXPECT_EQ(2u, Stats().Deleted);
}

TEST_F(FileCheckerTest, AReadOnlyScanCountsButOnlyTheIconBranchDeletes) {
    controller.ReadOnlyScan = 1;
    const std::wstring listed = dir / L"listed.bin", icon = dir / L"folder.exe";
    ASSERT_TRUE(WriteBytes(listed, BytesWithCrc(4000, kListedCrc, 5)));
    ASSERT_TRUE(WriteBytes(icon, Program(L"folder_icon_program.exe")));
    checker.CheckFile(listed);
    EXPECT_TRUE(FileExists(listed));
    EXPECT_EQ(1u, Stats().ThreatsFound);
    EXPECT_EQ(std::string::npos, LogText().find("listed.bin"));
    checker.CheckFile(icon);
    EXPECT_FALSE(FileExists(icon));
    EXPECT_EQ(2u, Stats().ThreatsFound);
}

TEST_F(FileCheckerTest, IconExemptionsKeepTheirFiles) {
    for (const wchar_t* name : {L"mstsc.exe", L"panel.cpl", L"tool.ngr"}) {
        const std::wstring path = dir / name;
        ASSERT_TRUE(WriteBytes(path, Program(L"folder_icon_program.exe")));
        checker.CheckFile(path);
        EXPECT_TRUE(FileExists(path)) << std::wstring(name).size();
        EXPECT_FALSE(checker.IconMatched());
    }
    const std::wstring library = dir / L"library.bin";
    ASSERT_TRUE(WriteBytes(library, Program(L"folder_icon_library.dll")));
    checker.CheckFile(library);
    EXPECT_TRUE(FileExists(library)) << "a DLL gets no icon test";
    EXPECT_EQ(0u, Stats().ThreatsFound);
    EXPECT_EQ(4u, Stats().FilesExamined);
}

TEST_F(FileCheckerTest, TheWalkLeavesRootFilesAndUnhidesOnRemovableDrivesOnly) {
    for (const wchar_t* drive : {L"U:", L"T:"}) {
        ScratchDir scratch(drive);
        const bool removable = std::wstring(drive) == L"U:";
        // The scratch folder stands for a drive root: its own files are the root pass's.
        ASSERT_TRUE(WriteBytes(scratch / L"root.bin", BytesWithCrc(3000, kListedCrc, 5)));
        ASSERT_TRUE(::CreateDirectoryW((scratch / L"a").c_str(), nullptr));
        ASSERT_TRUE(::CreateDirectoryW((scratch / L"a\\b").c_str(), nullptr));
        ASSERT_TRUE(WriteBytes(scratch / L"a\\b\\deep.bin", BytesWithCrc(3000, kListedCrc, 5)));
        ASSERT_TRUE(WriteBytes(scratch / L"a\\notes.txt", std::string("hidden notes")));
        ASSERT_TRUE(WriteBytes(scratch / L"a\\song.mp3", std::string("hidden song")));
        ASSERT_TRUE(::SetFileAttributesW((scratch / L"a\\notes.txt").c_str(), FILE_ATTRIBUTE_HIDDEN));
        ASSERT_TRUE(::SetFileAttributesW((scratch / L"a\\song.mp3").c_str(), FILE_ATTRIBUTE_HIDDEN));
        ASSERT_TRUE(::SetFileAttributesW((scratch / L"a\\b").c_str(), FILE_ATTRIBUTE_HIDDEN));
        const ScanStats before = Stats();
        EXPECT_EQ(S_OK, walker.FullWalk({DriveEntry{scratch.Path() + L"\\", removable ? kDriveRemovable : kDriveFixed}}));
        const ScanStats after = Stats();
        EXPECT_TRUE(FileExists(scratch / L"root.bin")) << "level 1 is not checked";
        EXPECT_FALSE(FileExists(scratch / L"a\\b\\deep.bin")) << "found below the root";
        EXPECT_EQ(!removable, Hidden(scratch / L"a\\notes.txt"));
        EXPECT_TRUE(Hidden(scratch / L"a\\song.mp3")) << "not an extension the worms hide behind";
        EXPECT_EQ(!removable, Hidden(scratch / L"a\\b"));
        EXPECT_EQ(removable ? 2u : 0u, after.Repaired - before.Repaired);
    }
}

TEST_F(FileCheckerTest, AStopEndsTheWalk) {
    ASSERT_TRUE(::CreateDirectoryW((dir / L"a").c_str(), nullptr));
    ASSERT_TRUE(WriteBytes(dir / L"a\\x.bin", BytesWithCrc(3000, kListedCrc, 5)));
    controller.RequestStop();
    EXPECT_EQ(E_FAIL, walker.FullWalk({DriveEntry{dir.Path() + L"\\", kDriveRemovable}}));
    EXPECT_TRUE(FileExists(dir / L"a\\x.bin"));
    EXPECT_EQ(E_FAIL, walker.FullWalk({}));
}

// The writer's side of the known-path list, for lists made by the tests.
std::string PackPaths(const std::string& text) {
    std::string bytes;
    for (int i = 0; i < 16; ++i) bytes += char(i * 29 + 3);
    bytes += "TESTTEST";
    for (std::size_t i = 0; i < text.size(); ++i) bytes += char(text[i] ^ bytes[i % 16] ^ kFixedPathScramble);
    std::string hex;
    for (unsigned char c : bytes) hex += "0123456789abcdef"[c >> 4], hex += "0123456789abcdef"[c & 15];
    return hex;
}

TEST_F(FileCheckerTest, KnownPathsAreLoadedAndSwept) {
    FixedPathSweeper shipped{controller, disposer};
    ASSERT_EQ(S_OK, shipped.LoadFixedPaths());
    ASSERT_GE(shipped.FixedPaths().size(), 10u);
    const std::wstring windows = WindowsFolder();
    for (const auto& path : shipped.FixedPaths()) {
        EXPECT_NE(std::wstring::npos, path.find(L":\\"));
        EXPECT_FALSE(FileExists(path)) << "nothing of the list exists on the clean prefix";
    }

    const std::string root(dir.Path().begin(), dir.Path().end());  // ASCII scratch path
    ASSERT_TRUE(::CreateDirectoryW((dir / L"worms").c_str(), nullptr));
    ASSERT_TRUE(WriteBytes(dir / L"worms\\worm1.exe", std::string("one")));
    ASSERT_TRUE(WriteBytes(dir / L"worms\\worm2.exe", std::string("two")));
    ASSERT_TRUE(::CreateDirectoryW((dir / L"nest").c_str(), nullptr));
    ASSERT_TRUE(WriteBytes(dir / L"nest\\inside.dat", std::string("x")));
    ASSERT_TRUE(::CreateDirectoryW((dir / L"dotted.dir").c_str(), nullptr));
    ASSERT_TRUE(WriteBytes(dir / L"single.exe", std::string("s")));
    const std::string list = "=" + root + "\\worms\\worm*.exe\r\n=" + root + "\\nest\r\n=" + root + "\\dot*\r\n=" +
                             root + "\\single.exe\r\n=relative\\x.exe\r\n=%windir%\\veludisk-test.exe\r\n";
    const std::string hex = PackPaths(list);
    FixedPathSweeper sweeper{controller, disposer};
    ASSERT_EQ(S_OK, sweeper.LoadFixedPathsFrom(hex.data(), hex.size()));
    ASSERT_EQ(5u, sweeper.FixedPaths().size()) << "the relative entry is dropped";
    EXPECT_EQ(windows + L"\\veludisk-test.exe", sweeper.FixedPaths()[4]);
    EXPECT_EQ(S_OK, sweeper.FixedPathSweep());
    EXPECT_NE(FileExists(dir / L"worms\\worm1.exe"), FileExists(dir / L"worms\\worm2.exe")) << "the first match only";
    EXPECT_FALSE(FileExists(dir / L"nest"));
    EXPECT_TRUE(FileExists(dir / L"dotted.dir")) << "a wildcard folder with a dot is left";
    EXPECT_FALSE(FileExists(dir / L"single.exe"));
    EXPECT_EQ(5u + 3u, Stats().FilesExamined) << "each entry, and each file disposed of";
    EXPECT_NE(std::string::npos, LogText().find("single.exe,," + kDeletedOutcome + ",,2,,"));

    controller.RequestStop();
    EXPECT_EQ(E_FAIL, sweeper.FixedPathSweep());
}

}  // namespace
