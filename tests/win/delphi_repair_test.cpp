// Delphi installations in the test prefix's registry, with infected and clean SysConst units on disk.
#include <gtest/gtest.h>

#include <cwchar>

#include "CleanerHarness.h"
#include "RestartLists.h"
#include "app/Globals.h"
#include "cleaners/drive/DelphiRepair.h"
#include "engine/BootCleanDriver.h"
#include "disposal/CrcBlacklist.h"
#include "disposal/FileDisposal.h"
#include "log/VLogger.h"
#include "scan/ScanController.h"
#include "support/FakeDrives.h"

namespace {

// Content the Delphi infector test accepts, padded past the 3000-byte floor (the pattern is built in pieces so
// that this test program itself stays clean).
std::string Infected(std::size_t size = 5000) {
    std::string s = std::string("CreateProces") + "s('" + "\\bin\\dcc3" + "2.exe\"" + " ValueEx(k,'Root" + "Dir'";
    s.resize(size, ';');
    return s;
}
std::string Clean(std::size_t size = 5000) { return std::string(size, 'c'); }

class DelphiRepairTest : public ::testing::Test, protected CleanerHarness {
protected:
    void SetUp() override {
        repair = std::make_unique<DelphiRepair>(disposer, controller, prompter, launcher);
        for (const wchar_t* v : {L"4.0", L"5.0", L"6.0", L"7.0"})
            ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, (std::wstring(L"SOFTWARE\\Borland\\Delphi\\") + v).c_str());
        controller.DelphiInfectorState = 0;
    }
    void TearDown() override {
        for (const wchar_t* v : {L"4.0", L"5.0", L"6.0", L"7.0"})
            ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, (std::wstring(L"SOFTWARE\\Borland\\Delphi\\") + v).c_str());
    }
    // An installation root with the folders the repair looks in, in `base` (the scratch folder on U: unless
    // given).
    std::wstring Install(const wchar_t* version, const ScratchDir* base = nullptr) {
        const std::wstring root = (base ? *base : dir) / (std::wstring(L"Delphi") + version);
        for (const wchar_t* sub : {L"", L"\\Lib", L"\\Bin", L"\\Source", L"\\Source\\Rtl", L"\\Source\\Rtl\\Sys"})
            ::CreateDirectoryW((root + sub).c_str(), nullptr);
        RegKey key;
        EXPECT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, (std::wstring(L"SOFTWARE\\Borland\\Delphi\\") + version).c_str(),
                                                   0, nullptr, 0, KEY_SET_VALUE, nullptr, key.Put(), nullptr));
        ::RegSetValueExW(key.Get(), L"RootDir", 0, REG_SZ, reinterpret_cast<const BYTE*>(root.c_str()),
                         DWORD((root.size() + 1) * sizeof(wchar_t)));
        return root;
    }
    unsigned Repaired() { return Stats().Repaired; }

    std::unique_ptr<DelphiRepair> repair;
};

TEST_F(DelphiRepairTest, InfectedUnitWithCleanBackupIsRestoredWithoutTheCompiler) {
    ScratchDir disk(L"T:");  // an installation lives on a fixed drive, whose deletions are put on both lists
    const std::wstring root = Install(L"7.0", &disk);
    ASSERT_TRUE(WriteBytes(root + L"\\Lib\\SysConst.dcu", Infected()));
    ASSERT_TRUE(WriteBytes(root + L"\\Lib\\SysConst.Bak", Clean()));
    ASSERT_TRUE(WriteBytes(root + L"\\Source\\Rtl\\Sys\\SysConst.pas", Infected()));
    repair->CheckDelphiInstallations();
    EXPECT_EQ(2, controller.DelphiInfectorState.load());
    EXPECT_EQ(Clean(), ReadText(root + L"\\Lib\\SysConst.dcu"));
    EXPECT_FALSE(FileExists(root + L"\\Lib\\SysConst.Bak"));
    EXPECT_EQ(1u, Repaired());
    EXPECT_TRUE(prompter.asked.empty());
    EXPECT_TRUE(launcher.hidden.empty());
    EXPECT_TRUE(FileExists(root + L"\\Source\\Rtl\\Sys\\SysConst.pas")) << "the source is not touched";
    EXPECT_NE(std::string::npos, ReadText(logPath).find(",,8,,")) << "the infected unit is recorded as type 8";
    // The infected unit's deletion was registered; the clean unit written back in its place is on neither list.
    EXPECT_FALSE(Contains(PendingRenames(), L"\\??\\" + root + L"\\Lib\\SysConst.dcu"));
    EXPECT_FALSE(Contains(BootListed(), root + L"\\Lib\\SysConst.dcu"));
}

TEST_F(DelphiRepairTest, LastInstallationDecides) {
    const std::wstring d5 = Install(L"5.0"), d7 = Install(L"7.0");
    ASSERT_TRUE(WriteBytes(d5 + L"\\Lib\\SysConst.dcu", Infected()));
    ASSERT_TRUE(WriteBytes(d5 + L"\\Lib\\SysConst.Bak", Clean()));
    ASSERT_TRUE(WriteBytes(d7 + L"\\Lib\\SysConst.dcu", Clean()));
    repair->CheckDelphiInstallations();
    EXPECT_EQ(1, controller.DelphiInfectorState.load()) << "7.0 is clean, and it was examined last";
    EXPECT_EQ(Clean(), ReadText(d5 + L"\\Lib\\SysConst.dcu")) << "5.0 was still repaired";
}

TEST_F(DelphiRepairTest, SmallUnitIsNeverInfected) {
    const std::wstring root = Install(L"6.0");
    ASSERT_TRUE(WriteBytes(root + L"\\Lib\\SysConst.dcu", Infected(3000)));
    EXPECT_EQ(1, repair->RepairDelphiLibrary(root + L"\\"));
    EXPECT_TRUE(FileExists(root + L"\\Lib\\SysConst.dcu"));
    EXPECT_FALSE(IsInfectedDelphiFile(fx(), root + L"\\Lib\\SysConst.dcu"));
    ASSERT_TRUE(WriteBytes(root + L"\\Lib\\SysConst.dcu", Infected(3001)));
    EXPECT_TRUE(IsInfectedDelphiFile(fx(), root + L"\\Lib\\SysConst.dcu"));
}

TEST_F(DelphiRepairTest, MissingSourceOrCompilerIsReported) {
    const std::wstring root = Install(L"7.0");
    ASSERT_TRUE(WriteBytes(root + L"\\Lib\\SysConst.dcu", Infected()));
    EXPECT_EQ(1, repair->RepairDelphiLibrary(root)) << "no backup: result 1";
    ASSERT_EQ(1u, prompter.asked.size());
    EXPECT_EQ(L"警告！", prompter.asked[0].caption);
    EXPECT_EQ(L"当前Delphi环境中SysConst.pas被损坏，请下载此文件替换修复!", prompter.asked[0].text);
    EXPECT_EQ(nullptr, prompter.asked[0].owner);
    EXPECT_TRUE(launcher.hidden.empty());
}

TEST_F(DelphiRepairTest, InfectedSourceIsRemovedAndTheCompilerStartedAndAnEarlierBuildUsed) {
    const std::wstring root = Install(L"7.0");
    ASSERT_TRUE(WriteBytes(root + L"\\Lib\\SysConst.dcu", Infected()));
    ASSERT_TRUE(WriteBytes(root + L"\\Lib\\SysConst.Bak", Infected()));  // an infected backup does not help
    ASSERT_TRUE(WriteBytes(root + L"\\Bin\\DCC32.EXE", std::string("compiler")));
    ASSERT_TRUE(WriteBytes(root + L"\\Source\\Rtl\\Sys\\SysConst.pas", Infected()));
    ASSERT_TRUE(WriteBytes(root + L"\\Source\\Rtl\\Sys\\SysConst.dcu", Clean(4000)));
    EXPECT_EQ(2, repair->RepairDelphiLibrary(root));
    ASSERT_EQ(1u, prompter.asked.size());
    EXPECT_EQ(L"当前Delphi环境中SysConst.pas被感染，请下载此文件替换修复!", prompter.asked[0].text);
    EXPECT_FALSE(FileExists(root + L"\\Source\\Rtl\\Sys\\SysConst.pas"));
    ASSERT_EQ(1u, launcher.hidden.size());
    const std::wstring expected = L"\"" + root + L"\\Bin\\DCC32.EXE\" \"" + root + L"\\Source\\Rtl\\Sys\\SysConst.pas\"";
    EXPECT_EQ(std::string(expected.begin(), expected.end()), launcher.hidden[0]);
    EXPECT_EQ(Clean(4000), ReadText(root + L"\\Lib\\SysConst.dcu"));
    EXPECT_EQ(1u, Repaired());
}

TEST_F(DelphiRepairTest, NoInstallationLeavesTheStateAlone) {
    controller.DelphiInfectorState = 5;
    repair->CheckDelphiInstallations();
    EXPECT_EQ(5, controller.DelphiInfectorState.load());
}

}  // namespace
