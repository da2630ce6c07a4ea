// Disposal against real files, sharing violations, processes and the registry of the test prefix.
#include <gtest/gtest.h>

#include <cwchar>
#include <set>

#include "TestSupport.h"
#include "engine/BootCleanDriver.h"
#include "engine/BootDeleteList.h"
#include "disposal/CrcBlacklist.h"
#include "disposal/Digest.h"
#include "disposal/FileDisposal.h"
#include "disposal/FindingRecord.h"
#include "disposal/ProcessTermination.h"
#include "scan/ScanReport.h"
#include "disposal/Safeguards.h"
#include "log/VLogger.h"
#include "scan/ScanController.h"
#include "support/FakeDrives.h"
#include "CleanerHarness.h"
#include "RestartLists.h"
#include "util/ProgramPath.h"

namespace {

// A minimal PE file, so that disposal treats it as a program.
std::vector<unsigned char> PeBytes(unsigned seed) {
    auto b = PatternBytes(600, seed);
    b[0] = 'M';
    b[1] = 'Z';
    b[60] = 128;
    b[61] = b[62] = b[63] = 0;
    b[128] = 'P';
    b[129] = 'E';
    b[130] = b[131] = 0;
    return b;
}

class Disposal : public ::testing::Test, protected CleanerHarness {
protected:
    void SetUp() override {
        // 64-bit Windows cannot load the 32-bit driver: there it is never extracted, and nothing is listed.
        ASSERT_EQ(BootCleanRegistrar::DriverCanLoad() ? S_OK : E_FAIL, driver.ExtractBootCleanDriver());
        ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Velmora\\KelvarnBox");
    }
    void TearDown() override { RemoveBootCleanService(); }
    FileDisposer& disposer() { return CleanerHarness::disposer; }
    BootCleanRegistrar driver;
};

TEST_F(Disposal, DeleteWithFallbackOnNothingAndOnAFolder) {
    EXPECT_TRUE(DeleteWithFallback(fx(), (dir / L"missing.exe").c_str(), 0));
    ASSERT_TRUE(::CreateDirectoryW((dir / L"folder").c_str(), nullptr));
    EXPECT_TRUE(DeleteWithFallback(fx(), (dir / L"folder").c_str(), 1));
    EXPECT_TRUE(FileExists(dir / L"folder"));
}

TEST_F(Disposal, ReadOnlyHiddenSystemFileIsDeleted) {
    const std::wstring path = dir / L"worm.exe";
    ASSERT_TRUE(WriteBytes(path, std::string("worm")));
    ASSERT_TRUE(::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    EXPECT_TRUE(DeleteWithFallback(fx(), path.c_str(), 0));
    EXPECT_FALSE(FileExists(path));
}

TEST_F(Disposal, FileHeldOpenIsLeftForRestartOnBothLists) {
    const std::wstring path = dir / L"held.exe";
    ASSERT_TRUE(WriteBytes(path, std::string("held worm")));
    {
        FileHandle holder(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(holder.Valid());
        EXPECT_EQ(E_FAIL, disposer().DisposeFile(path.c_str(), kThreatAutorun));
        EXPECT_TRUE(FileExists(path));
    }
    const ScanStats s = Stats();
    EXPECT_EQ(1u, s.RebootPending);
    EXPECT_EQ(0u, s.Deleted);
    EXPECT_EQ(1u, s.ThreatsFound);
    EXPECT_EQ(1u, s.FilesExamined);
    EXPECT_NE(std::string::npos, LogText().find("\xd6\xd8\xc6\xf4\xc9\xbe\xb3\xfd")) << "重启删除";
    EXPECT_TRUE(Contains(PendingRenames(), L"\\??\\" + path));
    EXPECT_EQ(BootCleanRegistrar::DriverCanLoad(), Contains(BootListed(), path));

    // A restart of the prefix carries out the pending deletion.
    wchar_t windir[MAX_PATH];
    ::GetWindowsDirectoryW(windir, MAX_PATH);
    ChildProcess wineboot = StartProcess(std::wstring(windir) + L"\\system32\\wineboot.exe", L"-r");
    ASSERT_TRUE(wineboot.process.Valid());
    ::WaitForSingleObject(wineboot.process.Get(), 60000);
    EXPECT_FALSE(FileExists(path));
}

// A file deleted at once from a stick is put on no restart list (the stick may be gone at the next boot, or
// another have its letter); on a fixed drive both lists keep it, against a resident worm that writes it back.
TEST_F(Disposal, ListsNameOnlyFilesOfFixedDrivesOnceDeleted) {
    ScratchDir fixed(L"T:");
    const struct {
        std::wstring path;
        bool listed;
    } cases[] = {{dir / L"gone-from-the-stick.exe", false}, {fixed / L"gone-from-a-disk.exe", true}};
    for (const auto& c : cases) {
        ASSERT_TRUE(WriteBytes(c.path, std::string("worm")));
        EXPECT_TRUE(DeleteWithFallback(fx(), c.path.c_str(), 0)) << ToUtf8(c.path);
        EXPECT_FALSE(FileExists(c.path));
        EXPECT_EQ(c.listed, Contains(PendingRenames(), L"\\??\\" + c.path)) << ToUtf8(c.path);
        EXPECT_EQ(c.listed && BootCleanRegistrar::DriverCanLoad(), Contains(BootListed(), c.path)) << ToUtf8(c.path);
    }
}

TEST_F(Disposal, BackupIsMadeEvenWhenTheDeletionFails) {
    const std::wstring path = dir / L"kept-open.doc.exe";
    ASSERT_TRUE(WriteBytes(path, std::string("content to keep")));
    const DWORD before = ::GetTickCount();
    FileHandle holder(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(DeleteWithFallback(fx(), path.c_str(), 1));
    // "<name>_<tick count>" in BackFiles beside the program.
    WIN32_FIND_DATAW data;
    FindHandle find(::FindFirstFileW((BackupFolder() + L"kept-open.doc.exe_*").c_str(), &data));
    ASSERT_TRUE(find.Valid());
    const std::wstring name = data.cFileName;
    const long tick = std::wcstol(name.substr(std::wstring(L"kept-open.doc.exe_").size()).c_str(), nullptr, 10);
    EXPECT_GE(DWORD(tick), before);
    EXPECT_EQ("content to keep", ReadText(BackupFolder() + name));
    ::DeleteFileW((BackupFolder() + name).c_str());
}

// Files of one name from different folders, removed within one tick, each keep a backup of their own.
TEST_F(Disposal, BackupsOfOneNameNeverOverwriteEachOther) {
    const int copies = 5;
    for (int i = 0; i < copies; ++i) {
        const std::wstring folder = dir / (L"f" + std::to_wstring(i));
        ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
        ASSERT_TRUE(WriteBytes(folder + L"\\same-name.exe", "copy " + std::to_string(i)));
    }
    for (int i = 0; i < copies; ++i)
        EXPECT_TRUE(DeleteWithFallback(fx(), (dir / (L"f" + std::to_wstring(i)) + L"\\same-name.exe").c_str(), 1));
    std::set<std::string> kept;
    WIN32_FIND_DATAW data;
    FindHandle find(::FindFirstFileW((BackupFolder() + L"same-name.exe_*").c_str(), &data));
    ASSERT_TRUE(find.Valid());
    std::vector<std::wstring> names;
    do names.push_back(data.cFileName); while (::FindNextFileW(find.Get(), &data));
    find.Reset();
    for (const auto& name : names) {
        kept.insert(ReadText(BackupFolder() + name));
        ::DeleteFileW((BackupFolder() + name).c_str());
    }
    EXPECT_EQ(std::size_t(copies), kept.size()) << "every removed file's bytes are in a backup";
}

TEST_F(Disposal, ThreatTypeRules) {
    struct Case {
        DWORD type;
        bool backup;
        bool learns;
        bool counted;
    } cases[] = {
        {kThreatCrc, true, false, true},     {kThreatAutorun, false, true, true}, {kThreatScript, false, true, true},
        {kThreatDisguised, false, false, true}, {kThreatSilent, false, false, false},
    };
    for (const auto& c : cases) {
        const std::wstring name = L"t" + std::to_wstring(c.type) + L".bin";
        const std::wstring path = dir / name;
        const auto bytes = PatternBytes(777, c.type);
        ASSERT_TRUE(WriteBytes(path, bytes));
        const std::uint32_t crc = Crc32(0, bytes.data(), bytes.size());
        const ScanStats before = Stats();
        const std::size_t logBefore = LogText().size();
        const HRESULT hr = disposer().DisposeFile(path.c_str(), c.type);
        EXPECT_FALSE(FileExists(path)) << c.type;
        EXPECT_EQ(c.counted ? S_OK : E_FAIL, hr) << c.type;
        WIN32_FIND_DATAW data;
        FindHandle backup(::FindFirstFileW((BackupFolder() + name + L"_*").c_str(), &data));
        EXPECT_EQ(c.backup, backup.Valid()) << c.type;
        if (backup) ::DeleteFileW((BackupFolder() + data.cFileName).c_str());
        EXPECT_EQ(c.learns, crcs.ContainsCrc(crc)) << c.type;
        const ScanStats after = Stats();
        EXPECT_EQ(c.counted ? 1u : 0u, after.Deleted - before.Deleted) << c.type;
        EXPECT_EQ(c.counted ? 1u : 0u, after.ThreatsFound - before.ThreatsFound) << c.type;
        const std::string added = LogText().substr(logBefore);
        if (c.counted) {
            const std::string md5 = DigestHex(Md5(bytes.data(), bytes.size()));
            EXPECT_NE(std::string::npos, added.find("," + std::to_string(c.type) + ",," + md5 + ",," + std::to_string(crc) + "\r\n"))
                << c.type << ": " << added;
        } else {
            EXPECT_EQ("", added) << "silent removal writes no line";
        }
    }
}

TEST_F(Disposal, MissingPathOrFolderIsNotDisposed) {
    EXPECT_EQ(E_FAIL, disposer().DisposeFile((dir / L"none.exe").c_str(), kThreatCrc));
    EXPECT_EQ(E_FAIL, disposer().DisposeFile(dir.Path().c_str(), kThreatCrc));
    EXPECT_EQ(0u, Stats().ThreatsFound);
}

TEST_F(Disposal, TreeWithNestedExecutables) {
    const std::wstring root = dir / L"worm", sub = root + L"\\payload";
    ASSERT_TRUE(::CreateDirectoryW(root.c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW(sub.c_str(), nullptr));
    ASSERT_TRUE(WriteBytes(root + L"\\a.exe", PeBytes(1)));
    ASSERT_TRUE(WriteBytes(sub + L"\\b.exe", PeBytes(2)));
    EXPECT_EQ(S_OK, disposer().DisposeTree(root.c_str(), kThreatFolderCompanion));
    EXPECT_FALSE(FileExists(root));
    EXPECT_EQ(2u, Stats().Deleted);
    const std::string text = LogText();
    EXPECT_NE(std::string::npos, text.find("\\worm\\a.exe,,"));
    EXPECT_NE(std::string::npos, text.find("\\worm\\payload\\b.exe,,"));
    EXPECT_EQ(E_FAIL, disposer().DisposeTree((dir / L"none").c_str(), kThreatFolderCompanion));
}

TEST_F(Disposal, CollectionOrderPutsSubFoldersBeforeTheirParentWhenSorted) {
    const std::wstring root = dir / L"tree";
    ASSERT_TRUE(::CreateDirectoryW(root.c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW((root + L"\\Sub").c_str(), nullptr));
    ASSERT_TRUE(WriteBytes(root + L"\\Sub\\X.TXT", std::string("x")));
    std::vector<std::wstring> files, folders;
    ASSERT_EQ(S_OK, CollectTree(fx(), root, files, folders));
    ASSERT_EQ(2u, folders.size());
    EXPECT_EQ(root, folders[0]);
    std::wstring lowered = root + L"\\sub";
    ::CharLowerBuffW(&lowered[0], DWORD(lowered.size()));
    EXPECT_EQ(lowered, folders[1]);
    ASSERT_EQ(1u, files.size());
    EXPECT_EQ(lowered + L"\\x.txt", files[0]) << "collected paths are lowercased";
    files.clear();
    folders.clear();
    EXPECT_EQ(E_FAIL, CollectTree(fx(), root + L"\\Sub\\X.TXT", files, folders));
}

TEST_F(Disposal, ConInAPathKeepsTheFile) {
    const std::wstring root = dir / L"worm2", icons = root + L"\\icons";
    ASSERT_TRUE(::CreateDirectoryW(root.c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW(icons.c_str(), nullptr));
    ASSERT_TRUE(WriteBytes(icons + L"\\x.exe", PeBytes(3)));
    ASSERT_TRUE(WriteBytes(root + L"\\contract.exe", PeBytes(5)));
    disposer().DisposeTree(root.c_str(), kThreatFolderCompanion);
    EXPECT_TRUE(FileExists(icons + L"\\x.exe")) << "never opened: its path holds \"con\"";
    EXPECT_TRUE(FileExists(root + L"\\contract.exe")) << "a file in the folder list is not removed as a folder";
    EXPECT_EQ(0u, Stats().ThreatsFound);
}

// Wine removes every folder that Windows refuses with access denied or not found (reserved device names,
// trailing dots and spaces), so the fallback that such folders reach is shown on its own here.
TEST_F(Disposal, ResistantFolderFallbackRemovesExactlyThatTree) {
    const std::wstring awkward = dir / L"a b&c%d^e(f)", decoy = dir / L"a b", sibling = dir / L"a b&c";
    ASSERT_TRUE(::CreateDirectoryW(awkward.c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW(decoy.c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW(sibling.c_str(), nullptr));
    ASSERT_TRUE(WriteBytes(decoy + L"\\keep.txt", std::string("keep")));
    for (const wchar_t* name : {L"con", L"aux.", L"trailing. ", L"nested"}) {
        const std::wstring sub = L"\\\\?\\" + awkward + L"\\" + name;
        ASSERT_TRUE(::CreateDirectoryW(sub.c_str(), nullptr)) << name;
        ASSERT_TRUE(WriteBytes(sub + L"\\inside.exe", std::string("x"))) << name;
    }
    ASSERT_TRUE(::SetFileAttributesW((L"\\\\?\\" + awkward + L"\\nested\\inside.exe").c_str(),
                                     FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    ASSERT_TRUE(::SetFileAttributesW(awkward.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    EXPECT_TRUE(RemoveTreeLongPath(fx(), awkward + L"\\"));
    EXPECT_FALSE(FileExists(awkward));
    EXPECT_TRUE(FileExists(decoy + L"\\keep.txt"));
    EXPECT_TRUE(FileExists(sibling));
}

TEST_F(Disposal, TreeWithAwkwardNamesIsDisposed) {
    const std::wstring awkward = dir / L"a b&c%d^e(f)", decoy = dir / L"a b";
    ASSERT_TRUE(::CreateDirectoryW(awkward.c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW(decoy.c_str(), nullptr));
    ASSERT_TRUE(WriteBytes(awkward + L"\\100% real (1).exe", PeBytes(4)));
    ASSERT_TRUE(WriteBytes(decoy + L"\\keep.txt", std::string("keep")));
    EXPECT_EQ(S_OK, disposer().DisposeTree(awkward.c_str(), kThreatFolderCompanion));
    EXPECT_FALSE(FileExists(awkward));
    EXPECT_TRUE(FileExists(decoy + L"\\keep.txt"));
    EXPECT_EQ(1u, Stats().Deleted);
}

TEST_F(Disposal, RemoveTreeLongPathTakesOnlyDrivePaths) {
    EXPECT_FALSE(RemoveTreeLongPath(fx(), L"relative\\folder"));
    EXPECT_FALSE(RemoveTreeLongPath(fx(), L"U:\\"));
    EXPECT_FALSE(RemoveTreeLongPath(fx(), dir.Path() + L"\\..\\other"));
    ASSERT_TRUE(WriteBytes(dir / L"file.txt", std::string("f")));
    EXPECT_FALSE(RemoveTreeLongPath(fx(), dir / L"file.txt")) << "a file is not a tree";
    EXPECT_TRUE(FileExists(dir / L"file.txt"));
}

// Processes started from copies of a sleeping program.
class Termination : public ::testing::Test {
protected:
    using Child = ChildProcess;
    static Child Start(const std::wstring& exe) { return StartProcess(exe, L"sleep"); }
    static bool Running(Child& c) { return StillRunning(c); }
    void SetUp() override {
        const std::wstring probe = ProgramFolder() + L"\\startup_probe.exe";
        for (const auto& d : {dir / L"a", dir / L"b"}) {
            ASSERT_TRUE(::CreateDirectoryW(d.c_str(), nullptr));
            ASSERT_TRUE(::CopyFileW(probe.c_str(), (d + L"\\vdworm.exe").c_str(), FALSE));
        }
        first = Start(dir / L"a\\vdworm.exe");
        second = Start(dir / L"b\\vdworm.exe");
        ASSERT_TRUE(first.process.Valid() && second.process.Valid());
        ::Sleep(500);
    }
    void TearDown() override {
        for (auto* c : {&first, &second})
            if (c->process) {
                ::TerminateProcess(c->process.Get(), 0);
                ::WaitForSingleObject(c->process.Get(), 5000);
            }
    }
    ScratchDir dir;
    Child first, second;
    LiveEffects fx;
};

TEST_F(Termination, FullPathEndsOnlyThatFile) {
    EXPECT_EQ(first.pid, FindProcessByPath((dir / L"a\\vdworm.exe").c_str()));
    EXPECT_EQ(0u, FindProcessByPath(L"vdworm.exe")) << "a bare name has no folder part";
    EXPECT_TRUE(TerminateByPath(fx, (dir / L"A\\VDWORM.EXE").c_str()));
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(first.process.Get(), 5000));
    EXPECT_TRUE(Running(second));
    EXPECT_FALSE(TerminateByPath(fx, (dir / L"c\\vdworm.exe").c_str()));
}

TEST_F(Termination, BareNameEndsOnlyTheFirstOfThatName) {
    EXPECT_NE(0u, FindProcessByName(L"VDWORM.EXE"));
    EXPECT_TRUE(TerminateByPath(fx, L"vdworm.exe"));
    ::Sleep(500);
    EXPECT_EQ(1, int(Running(first)) + int(Running(second))) << "exactly one of the two ended";
}

TEST_F(Termination, PatternFormsThePath) {
    EXPECT_EQ(S_OK, TerminateByPattern(fx, L"%ls\\b\\vdworm.exe", dir.Path().c_str()));
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(second.process.Get(), 5000));
    EXPECT_TRUE(Running(first));
}

TEST_F(Termination, ProcessTableEndsAnImageButNeverExplorer) {
    ProcessTable table;
    wchar_t windir[MAX_PATH];
    ::GetWindowsDirectoryW(windir, MAX_PATH);
    EXPECT_EQ(S_FALSE, table.TerminateImage(fx, (std::wstring(windir) + L"\\explorer.exe").c_str()));
    const DWORD refreshed = table.LastRefresh();
    EXPECT_NE(0u, refreshed);
    EXPECT_EQ(S_OK, table.TerminateImage(fx, (dir / L"a\\vdworm.exe").c_str()));
    EXPECT_EQ(refreshed, table.LastRefresh()) << "within a second the same snapshot serves";
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(first.process.Get(), 5000));
    EXPECT_TRUE(Running(second));
    EXPECT_EQ(E_FAIL, table.TerminateImage(fx, nullptr));
}

// The real verification against the prefix's "wintrust.dll" stand-in, which answers as Windows does (Wine's
// own trusts every file): the catalog look-up finds nothing, the embedded check decides.
TEST(Safeguards, MissingFileIsNotTrusted) {
    EXPECT_EQ(LONG(ERROR_FILE_NOT_FOUND), VerifyFileTrust(L"U:\\no-such-file.exe"));
    EXPECT_EQ(LONG(ERROR_FILE_NOT_FOUND), RealTrustVerifier().Verify(L"U:\\no-such-file.exe"));
    EXPECT_EQ(-1, VerifyFileTrust(nullptr));
}

TEST(Safeguards, UnsignedProgramIsNotTrustedASignedOneIs) {
    ScratchDir dir;
    const auto program = ReadBytes(ProgramFolder() + L"\\startup_probe.exe");
    ASSERT_FALSE(program.empty());
    ASSERT_TRUE(WriteBytes(dir / L"unsigned.exe", program));
    auto signedProgram = program;
    signedProgram.insert(signedProgram.end(), kTestSignature, kTestSignature + sizeof kTestSignature - 1);
    ASSERT_TRUE(WriteBytes(dir / L"signed.exe", signedProgram));
    EXPECT_EQ(LONG(TRUST_E_NOSIGNATURE), VerifyFileTrust((dir / L"unsigned.exe").c_str()));
    EXPECT_EQ(LONG(TRUST_E_NOSIGNATURE), LONG(::GetLastError())) << "the result is also the last error";
    EXPECT_EQ(0, VerifyFileTrust((dir / L"signed.exe").c_str()));
    EXPECT_EQ(0, RealTrustVerifier().Verify((dir / L"signed.exe").c_str()));
}

TEST(Safeguards, LibraryCacheHoldsFiveLibraries) {
    LibraryCache cache;
    EXPECT_NE(nullptr, cache.Lookup(L"kernel32.dll", "GetTickCount"));
    EXPECT_NE(nullptr, cache.Lookup(L"KERNEL32.DLL", "GetVersion")) << "names compare without case";
    EXPECT_EQ(1, cache.LibraryCount());
    EXPECT_EQ(nullptr, cache.Lookup(L"kernel32.dll", "NoSuchFunction"));
    EXPECT_EQ(nullptr, cache.Lookup(L"no-such-library.dll", "X"));
    EXPECT_NE(nullptr, cache.Lookup(L"user32.dll", "MessageBoxW"));
    EXPECT_NE(nullptr, cache.Lookup(L"advapi32.dll", "RegOpenKeyExW"));
    EXPECT_NE(nullptr, cache.Lookup(L"shell32.dll", "ShellExecuteW"));
    EXPECT_NE(nullptr, cache.Lookup(L"shlwapi.dll", "PathFileExistsW"));
    EXPECT_EQ(5, cache.LibraryCount());
    EXPECT_EQ(nullptr, cache.Lookup(L"ole32.dll", "CoInitialize")) << "a sixth library is not loaded";
    EXPECT_NE(nullptr, cache.Lookup(L"user32.dll", "MessageBoxW"));
}

}  // namespace
