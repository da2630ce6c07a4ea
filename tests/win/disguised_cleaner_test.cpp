// The disguised-executable cleaner on the removable (U:) and fixed (T:) test drives.
#include <gtest/gtest.h>

#include <objbase.h>
#include <shlobj.h>

#include "CleanerHarness.h"
#include "app/Globals.h"
#include "cleaners/drive/DisguisedCleaner.h"
#include "cleaners/drive/FileContent.h"
#include "cleaners/drive/IconTableResource.h"
#include "disposal/DigestFile.h"
#include "util/ProgramPath.h"

namespace {

const char kOk[] = "\xc9\xbe\xb3\xfd\xb3\xc9\xb9\xa6";  // 删除成功 in GBK

class FixedFileSystem : public VolumeLayoutSource {
public:
    explicit FixedFileSystem(const wchar_t* name) : m_name(name) {}
    bool FileSystemName(const wchar_t*, std::wstring& name) override {
        name = m_name;
        return true;
    }
    bool ClusterExtents(HANDLE, std::size_t, std::uint64_t&, std::vector<ClusterExtent>&) override { return false; }

private:
    std::wstring m_name;
};

bool Hidden(const std::wstring& path) {
    const DWORD a = ::GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_HIDDEN);
}

bool MakeHiddenFolder(const std::wstring& path) {
    return ::CreateDirectoryW(path.c_str(), nullptr) && ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_HIDDEN);
}

bool CopyProgram(const std::wstring& to) {
    return ::CopyFileW((ProgramFolder() + L"\\startup_probe.exe").c_str(), to.c_str(), FALSE) != 0;
}


bool BackedUp(const std::wstring& name) {
    WIN32_FIND_DATAW data;
    FindHandle find(::FindFirstFileW((BackupFolder() + name + L"_*").c_str(), &data));
    return bool(find);
}

class DisguisedTest : public ::testing::Test, protected CleanerHarness {
protected:
    void SetUp() override {
        controller.ThreatFollowUpState = 0;
        controller.ScriptInfectorSeen = 0;
    }
    ListedTrust trust;
    ListedGuard guard;
    SystemVolumeLayout volumes;
    DisguisedCleaner cleaner{controller, *log, trust, guard, volumes};
};

TEST_F(DisguisedTest, HiddenFolderLosesItsUnsignedCompanionAndComesBack) {
    std::wstring folder = dir / L"照片";
    ASSERT_TRUE(MakeHiddenFolder(folder));
    ASSERT_TRUE(CopyProgram(folder + L".exe"));
    cleaner.CheckHiddenFolder(folder, DRIVE_REMOVABLE);
    EXPECT_FALSE(FileExists(dir / L"照片.exe"));
    EXPECT_TRUE(BackedUp(L"照片.exe")) << "a companion is backed up before deletion";
    EXPECT_FALSE(Hidden(folder));
    const ScanStats s = Stats();
    EXPECT_EQ(1u, s.Repaired);
    EXPECT_EQ(1u, s.Disguised);
    EXPECT_EQ(1u, s.ThreatsFound);
    EXPECT_EQ(1u, s.Deleted);
    EXPECT_EQ(1, controller.ThreatFollowUpState.load());
    EXPECT_NE(std::string::npos, LogText().find(std::string(kOk) + ",,5,,")) << LogText();
}

TEST_F(DisguisedTest, CompanionOutcomesByDriveTrustAndPlace) {
    struct Case {
        const char* what;
        const wchar_t* drive;
        UINT type;
        const wchar_t* sub;  // under the scratch folder
        bool companion, trusted, stillHidden;
        std::uint32_t repaired;
    } cases[] = {
        {"no companion, removable: made visible", L"U:", DRIVE_REMOVABLE, L"", false, false, false, 1},
        {"no companion, fixed: stays hidden", L"T:", DRIVE_FIXED, L"", false, false, true, 0},
        {"trusted companion, fixed: kept, stays hidden", L"T:", DRIVE_FIXED, L"", true, true, true, 0},
        {"trusted companion, removable: kept, made visible", L"U:", DRIVE_REMOVABLE, L"", true, true, false, 1},
        {"under \\windows\\: never touched", L"T:", DRIVE_FIXED, L"\\windows", true, false, true, 0},
    };
    for (const auto& c : cases) {
        ScratchDir scratch(c.drive);
        const std::wstring base = scratch.Path() + c.sub;
        ::CreateDirectoryW(base.c_str(), nullptr);
        std::wstring folder = base + L"\\docs";
        ASSERT_TRUE(MakeHiddenFolder(folder)) << c.what;
        const std::wstring companion = base + L"\\docs.exe";
        if (c.companion) {
            ASSERT_TRUE(CopyProgram(companion)) << c.what;
        }
        trust.trusted.clear();
        trust.asked.clear();
        if (c.trusted) trust.trusted.push_back(companion);
        const ScanStats before = Stats();
        cleaner.CheckHiddenFolder(folder, c.type);
        const ScanStats after = Stats();
        if (c.companion) {
            EXPECT_TRUE(FileExists(companion)) << c.what;
        }
        if (c.companion && !c.trusted) {
            EXPECT_TRUE(trust.asked.empty()) << c.what << ": not even examined";
        }
        EXPECT_EQ(c.stillHidden, Hidden(folder)) << c.what;
        EXPECT_EQ(c.repaired, after.Repaired - before.Repaired) << c.what;
        EXPECT_EQ(0u, after.Disguised - before.Disguised) << c.what;
    }
}

TEST_F(DisguisedTest, PaddedAndWildcardCompanionsAreFound) {
    std::wstring folder = dir / L"music";
    ASSERT_TRUE(MakeHiddenFolder(folder));
    ASSERT_TRUE(CopyProgram(folder + std::wstring(94, L' ') + L"AI_Boy.exe"));
    ASSERT_TRUE(CopyProgram(folder + L"1.exe"));  // "music?.exe"
    cleaner.CheckHiddenFolder(folder, DRIVE_FIXED);
    EXPECT_FALSE(FileExists(folder + std::wstring(94, L' ') + L"AI_Boy.exe"));
    EXPECT_FALSE(FileExists(folder + L"1.exe"));
    EXPECT_FALSE(Hidden(folder));
    EXPECT_EQ(2u, Stats().Disguised);
    EXPECT_EQ(1u, Stats().Repaired) << "the folder is repaired once";

    std::wstring path = dir / L"mu?ic1.exe";
    EXPECT_EQ(kNothingToDo, cleaner.CheckCompanionExe(path)) << "gone now";
    ASSERT_TRUE(::CreateDirectoryW((dir / L"folder.exe").c_str(), nullptr));
    path = dir / L"folder.exe";
    EXPECT_EQ(kNothingToDo, cleaner.CheckCompanionExe(path)) << "a folder is no companion";
}

TEST_F(DisguisedTest, WormPaddedFolderNameIsRestored) {
    const std::wstring padded = L".exe" + std::wstring(94, L' ') + L"AI_Boy";
    std::wstring folder = dir / (L"作业" + padded);
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    ASSERT_TRUE(WriteBytes(folder + L"\\a.txt", std::string("homework")));
    EXPECT_EQ(S_OK, cleaner.RestoreWormFolderName(folder));
    EXPECT_EQ(dir / L"作业", folder);
    EXPECT_EQ("homework", ReadText(dir / L"作业\\a.txt"));

    // The plain name is taken: the tick count is added, and the folder followed.
    std::wstring second = dir / (L"作业" + std::wstring(L".EXE") + std::wstring(94, L' ') + L"ai_boy");
    ASSERT_TRUE(::CreateDirectoryW(second.c_str(), nullptr));
    ASSERT_TRUE(::SetFileAttributesW(second.c_str(), FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(E_FAIL, cleaner.RestoreWormFolderName(second));
    EXPECT_EQ(0u, second.find(dir / L"作业_"));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(second.c_str()));
    cleaner.CheckHiddenFolder(second, DRIVE_REMOVABLE);
    EXPECT_FALSE(Hidden(second)) << "the renamed folder is the one made visible";

    std::wstring plain = dir / L"作业";
    EXPECT_EQ(E_FAIL, cleaner.RestoreWormFolderName(plain));
    std::wstring atStart = padded;
    EXPECT_EQ(E_FAIL, cleaner.RestoreWormFolderName(atStart));
}

TEST_F(DisguisedTest, WormFilesInsideAnyFolderAreRemoved) {
    const std::wstring folder = dir / L"any";
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    ASSERT_TRUE(CopyProgram(folder + L"\\usp10.dll"));
    ASSERT_TRUE(CopyProgram(folder + L"\\ws2help.dll"));
    ASSERT_TRUE(WriteBytes(folder + L"\\Desktop.ini", std::string("[.ShellClassInfo]\r\nIconFile=Recycle.EXE\r\nIconIndex=0\r\n")));
    EXPECT_EQ(S_OK, cleaner.CheckFolderCompanions(folder));
    EXPECT_FALSE(FileExists(folder + L"\\usp10.dll"));
    EXPECT_FALSE(FileExists(folder + L"\\ws2help.dll"));
    EXPECT_FALSE(FileExists(folder + L"\\Desktop.ini"));
    EXPECT_EQ(3u, Stats().Disguised);
    EXPECT_EQ(3u, Stats().Deleted);

    // An ordinary Desktop.ini, one of 1,024 bytes with the marker, and one of 30 bytes are not examined.
    const std::wstring other = dir / L"other";
    ASSERT_TRUE(::CreateDirectoryW(other.c_str(), nullptr));
    struct Case {
        std::string text;
        HRESULT result;
    } cases[] = {
        {"[.ShellClassInfo]\r\nIconFile=folder.ico\r\n", E_FAIL},
        {"iconfile=recycle.exe" + std::string(1004, ' '), E_FAIL},
        {"iconfile=recycle.exe" + std::string(10, ' '), E_FAIL},
        {"iconfile=recycle.exe" + std::string(11, ' '), S_OK},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(WriteBytes(other + L"\\Desktop.ini", c.text));
        EXPECT_EQ(c.result, cleaner.CheckFolderCompanions(other)) << c.text.size();
        EXPECT_EQ(c.result == S_OK, !FileExists(other + L"\\Desktop.ini")) << c.text.size();
    }
    EXPECT_EQ(kNothingToDo, cleaner.CheckDesktopIni(other + L"\\Desktop.ini"));
}

TEST_F(DisguisedTest, ShortcutCompanionTakesItsTargetAndTheWormResidue) {
    std::wstring folder = dir / L"photos";
    ASSERT_TRUE(MakeHiddenFolder(folder));
    const std::wstring target = dir / L"worm-target.exe";
    ASSERT_TRUE(CopyProgram(target));
    ASSERT_TRUE(MakeShortcut(folder + L".lnk", target));

    // The residue the worm left under the Windows folder, and its hooks.
    const std::wstring windows = WindowsFolder();
    ASSERT_TRUE(CopyProgram(windows + L"\\system32\\worm-target.exe"));
    ASSERT_TRUE(CopyProgram(windows + L"\\worm-target.exe"));
    RegKey load;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows",
                                               0, nullptr, 0, KEY_ALL_ACCESS, nullptr, load.Put(), nullptr));
    const wchar_t hook[] = L"C:\\windows\\worm-target.exe";
    ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExW(load.Get(), L"load", 0, REG_SZ, reinterpret_cast<const BYTE*>(hook), sizeof hook));
    for (const wchar_t* verb : {L"open\\command", L"explorer\\command"}) {
        RegKey key;
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CLASSES_ROOT,
                                                   (std::wstring(L"CLSID\\{20D04FE0-3AEA-1069-A2D8-08002B30309D}\\shell\\") + verb).c_str(),
                                                   0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Put(), nullptr));
    }

    FixedFileSystem fat(L"FAT32");
    DisguisedCleaner onFat{controller, *log, trust, guard, fat};
    onFat.CheckHiddenFolder(folder, DRIVE_FIXED);

    EXPECT_FALSE(FileExists(folder + L".lnk"));
    EXPECT_FALSE(FileExists(target));
    EXPECT_FALSE(FileExists(windows + L"\\system32\\worm-target.exe"));
    EXPECT_FALSE(FileExists(windows + L"\\worm-target.exe"));
    EXPECT_FALSE(Hidden(folder));
    EXPECT_EQ(1, controller.ScriptInfectorSeen.load());
    const std::string text = LogText();
    EXPECT_NE(std::string::npos, text.find("photos.lnk,," + std::string(kOk) + ",,5,,")) << text;
    EXPECT_NE(std::string::npos, text.find("worm-target.exe,," + std::string(kOk) + ",,9,,")) << text;
    EXPECT_EQ(4u, Stats().Disguised);

    wchar_t value[64] = {L'x'};
    DWORD size = sizeof value;
    ASSERT_EQ(ERROR_SUCCESS, ::RegQueryValueExW(load.Get(), L"load", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size));
    EXPECT_EQ(std::wstring(), std::wstring(value));
    for (const wchar_t* verb : {L"open", L"explorer"}) {
        RegKey key;
        EXPECT_NE(ERROR_SUCCESS, ::RegOpenKeyExW(HKEY_CLASSES_ROOT,
                                                 (std::wstring(L"CLSID\\{20D04FE0-3AEA-1069-A2D8-08002B30309D}\\shell\\") + verb).c_str(),
                                                 0, KEY_READ, key.Put()));
    }
}

TEST_F(DisguisedTest, ResidueOnNtfsLooksOnlyAtStreamsAndNeedsAFolderPart) {
    const std::wstring windows = WindowsFolder();
    ASSERT_TRUE(CopyProgram(windows + L"\\system32\\residue.exe"));
    FixedFileSystem ntfs(L"NTFS");
    DisguisedCleaner onNtfs{controller, *log, trust, guard, ntfs};
    EXPECT_EQ(S_OK, onNtfs.CleanShortcutWormResidue(L"U:\\residue.exe", L"0123456789abcdef0123456789abcdef"));
    EXPECT_TRUE(FileExists(windows + L"\\system32\\residue.exe")) << "on NTFS the copies hide in streams";
    EXPECT_TRUE(FileExists(windows + L"\\explorer.exe"));
    EXPECT_EQ(0u, Stats().Disguised) << "streams that do not exist are not findings";
    EXPECT_EQ(E_FAIL, onNtfs.CleanShortcutWormResidue(L"residue.exe", L""));
    ::DeleteFileW((windows + L"\\system32\\residue.exe").c_str());
}

TEST_F(DisguisedTest, OnlyWhatExistsIsDisposedOfAndCounted) {
    const std::wstring path = dir / L"plain.exe";
    ASSERT_TRUE(CopyProgram(path));
    EXPECT_TRUE(cleaner.DisposeDisguised(path, 5));
    EXPECT_FALSE(cleaner.DisposeDisguised(dir / L"missing.exe", 5));
    EXPECT_FALSE(FileExists(path));
    EXPECT_EQ(1u, Stats().Disguised);
    EXPECT_EQ(1u, Stats().ThreatsFound);
}

TEST_F(DisguisedTest, TheCleanWindowsFolderHasNoCompanions) {
    // As the walk hands them over: lower-case paths, every folder of the Windows folder and the folder itself.
    std::wstring windows = WindowsFolder();
    ::CharLowerW(&windows[0]);
    std::vector<std::wstring> folders{windows};
    WIN32_FIND_DATAW data;
    FindHandle find(::FindFirstFileW((windows + L"\\*").c_str(), &data));
    ASSERT_TRUE(find);
    do {
        const std::wstring name = data.cFileName;
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name != L"." && name != L"..") {
            std::wstring lower = windows + L"\\" + name;
            ::CharLowerW(&lower[0]);
            folders.push_back(lower);
        }
    } while (::FindNextFileW(find.Get(), &data));
    ASSERT_GT(folders.size(), 5u);
    for (auto folder : folders) {
        cleaner.CheckFolderCompanions(folder);
        cleaner.CheckHiddenFolder(folder, DRIVE_FIXED);
    }
    const ScanStats s = Stats();
    EXPECT_EQ(0u, s.Disguised);
    EXPECT_EQ(0u, s.ThreatsFound);
    EXPECT_TRUE(trust.asked.empty());
}

TEST(ShippedIconTable, LoadsAndNoOrdinaryProgramResemblesIt) {
    IconTable table;
    ASSERT_TRUE(LoadShippedIconTable(table));
    ASSERT_GE(table.Records().size(), 12u);
    bool folder32 = false;
    for (const auto& r : table.Records()) folder32 |= (r.width == 32 && r.length == 4264);
    EXPECT_TRUE(folder32);

    // Every program and library of the clean prefix's Windows folder, and the programs built for the tests.
    std::size_t examined = 0;
    for (const std::wstring& folder : {WindowsFolder(), SystemFolder(), ProgramFolder()}) {
        WIN32_FIND_DATAW data;
        FindHandle find(::FindFirstFileW((folder + L"\\*").c_str(), &data));
        if (!find) continue;
        do {
            const std::wstring name = data.cFileName;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
            if (name.size() < 4 || name.rfind(L"folder_icon_", 0) == 0) continue;  // those meant to match
            const std::wstring ext = name.substr(name.size() - 4);
            if (ext != L".exe" && ext != L".dll" && ext != L".EXE" && ext != L".DLL") continue;
            std::vector<std::uint8_t> bytes;
            if (!ReadWholeFile((folder + L"\\" + name).c_str(), 64, 5242879, bytes)) continue;
            ++examined;
            EXPECT_FALSE(IconResembles(table, bytes.data(), bytes.size()))
                << std::string(folder.begin(), folder.end()) << "\\" << std::string(name.begin(), name.end());
        } while (::FindNextFileW(find.Get(), &data));
    }
    EXPECT_GT(examined, 100u);
}

TEST(ShippedIconTable, AProgramWearingATableIconIsRecognised) {
    IconTable table;
    ASSERT_TRUE(LoadShippedIconTable(table));
    const std::wstring disguised = ProgramFolder() + L"\\folder_icon_program.exe";
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(ReadWholeFile(disguised.c_str(), 64, 5242879, bytes));
    EXPECT_TRUE(IconResembles(table, bytes.data(), bytes.size()));
}

}  // namespace
