// The drive protection settings in the test prefix: write protection by Windows version, the safe-open
// installation on scratch folders standing in for Program Files, the Start menu and the desktop.
#include <gtest/gtest.h>

#include <shlwapi.h>

#include "CleanerHarness.h"
#include "engine/PlanEffects.h"
#include "engine/Undo.h"
#include "protection/DriveProtection.h"
#include "util/ShellLink.h"
#include "util/WinHandle.h"

namespace {

const wchar_t kStorage[] = L"SYSTEM\\CurrentControlSet\\Control\\StorageDevicePolicies";
const wchar_t kPolicy[] =
    L"SOFTWARE\\Policies\\Microsoft\\Windows\\RemovableStorageDevices\\{53f5630d-b6bf-11d0-94f2-00a0c91efb8b}";
const wchar_t kProduct[] = L"SOFTWARE\\Velmora\\veludisk";

// -1 when the value is not there.
long long Dword(const wchar_t* key, const wchar_t* name) {
    DWORD type = 0;
    std::vector<std::uint8_t> data;
    if (ReadRegistryValue(HKEY_LOCAL_MACHINE, key, name, type, data) != ERROR_SUCCESS || data.size() != 4) return -1;
    return static_cast<long long>(DWORD(data[0]) | DWORD(data[1]) << 8 | DWORD(data[2]) << 16 | DWORD(data[3]) << 24);
}

std::wstring Text(const wchar_t* key, const wchar_t* name) {
    DWORD type = 0;
    std::vector<std::uint8_t> data;
    if (ReadRegistryValue(HKEY_LOCAL_MACHINE, key, name, type, data) != ERROR_SUCCESS) return L"(none)";
    std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), data.size() / 2);
    while (!text.empty() && text.back() == 0) text.pop_back();
    return text;
}

bool KeyThere(const wchar_t* key) {
    RegKey k;
    return ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, k.Put()) == ERROR_SUCCESS;
}

void ClearSettings() {
    ::SHDeleteKeyW(HKEY_LOCAL_MACHINE, kStorage);
    ::SHDeleteKeyW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Policies\\Microsoft\\Windows\\RemovableStorageDevices");
    RegKey product;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kProduct, 0, KEY_SET_VALUE, product.Put()) == ERROR_SUCCESS)
        for (const wchar_t* v : {L"Type", L"OldPath", L"HtmlType"}) ::RegDeleteValueW(product.Get(), v);
}

struct ProtectionTest : ::testing::Test, CleanerHarness {
    void SetUp() override {
        ClearSettings();
        controller.Changes().BeginSession();
        for (const wchar_t* f : {L"pf", L"programs", L"desktop", L"app"}) ::CreateDirectoryW((root / f).c_str(), nullptr);
        ASSERT_TRUE(WriteBytes(program, std::string("MZ the program as it was started")));
        places.programFiles = root / L"pf";
        places.commonPrograms = root / L"programs";
        places.commonDesktop = root / L"desktop";
        places.programFile = program;
    }
    void TearDown() override {
        controller.Changes().EndSession();
        ClearSettings();
    }
    DriveProtection Protection(int versionClass = 3) { return DriveProtection(controller, disposer, prompter, places, versionClass); }
    std::wstring Copy() const { return root / L"pf\\Velmora\\VelUdisk\\veludisk.exe"; }

    ScratchDir root{L"T:"};
    std::wstring program = root / L"app\\veludisk-started.exe";
    SafeOpenPlaces places;
};

// Windows 7 and XP use the storage value only; Vista writes both and either one set reads as protected. A
// missing key reads as not protected, and looking makes no key.
TEST_F(ProtectionTest, WriteProtectionByWindowsVersion) {
    for (int versionClass : {1, 3}) {
        ClearSettings();
        WriteProtectSettings settings(controller.Changes(), versionClass);
        EXPECT_FALSE(settings.IsProtected());
        EXPECT_FALSE(KeyThere(kStorage)) << "reading makes no key";
        ASSERT_EQ(S_OK, settings.Switch(1));
        EXPECT_EQ(1, Dword(kStorage, L"WriteProtect"));
        EXPECT_FALSE(KeyThere(kPolicy)) << versionClass;
        EXPECT_TRUE(settings.IsProtected());
        ASSERT_EQ(S_OK, settings.Switch(0));
        EXPECT_EQ(0, Dword(kStorage, L"WriteProtect"));
        EXPECT_FALSE(settings.IsProtected());
    }
    ClearSettings();
    WriteProtectSettings vista(controller.Changes(), 2);
    ASSERT_EQ(S_OK, vista.Switch(1));
    EXPECT_EQ(1, Dword(kPolicy, L"Deny_Write"));
    EXPECT_EQ(0, Dword(kPolicy, L"WriteProtect")) << "a new policy key's own value";
    EXPECT_EQ(1, Dword(kStorage, L"WriteProtect"));
    EXPECT_TRUE(vista.IsProtected());
    ASSERT_EQ(S_OK, vista.SetPolicy(0));
    EXPECT_FALSE(vista.IsProtected());
    ASSERT_EQ(S_OK, vista.SetStorage(1));  // either value set reads as protected
    EXPECT_TRUE(vista.IsProtected());
    ASSERT_EQ(S_OK, vista.SetStorage(0));
    const DWORD one = 1;
    ASSERT_TRUE(controller.Changes().SetRegistryValue(HKEY_LOCAL_MACHINE, kPolicy, L"Deny_Write", REG_DWORD, &one, 4));
    EXPECT_TRUE(vista.IsProtected());
}

// The page's switch asks first; Yes protects, installs safe-open and says to plug the stick in again; off
// leaves the shortcuts; another value does nothing.
TEST_F(ProtectionTest, TheSwitchAsksAndTells) {
    DriveProtection protection = Protection(3);
    HWND owner = reinterpret_cast<HWND>(0x1234);
    prompter.answers = {IDNO};
    protection.SetUsbWriteProtection(1, owner);
    ASSERT_EQ(1u, prompter.asked.size());
    EXPECT_EQ(L"U盘只读模式", prompter.asked[0].caption);
    EXPECT_EQ(L"您的任何文件将无法复制到U盘内\n是否确认使用禁止U盘写入任何文件？", prompter.asked[0].text);
    EXPECT_EQ(UINT(MB_YESNO | MB_ICONWARNING), prompter.asked[0].style);
    EXPECT_EQ(nullptr, prompter.asked[0].owner);
    EXPECT_FALSE(KeyThere(kStorage)) << "No changes nothing";
    EXPECT_FALSE(FileExists(Copy()));

    prompter.asked.clear();
    prompter.answers = {IDYES, IDOK};
    protection.SetUsbWriteProtection(1, owner);
    EXPECT_EQ(1, Dword(kStorage, L"WriteProtect"));
    EXPECT_TRUE(FileExists(Copy())) << "safe-open installed too";
    ASSERT_EQ(2u, prompter.asked.size());
    EXPECT_EQ(L"请重新插拔U盘!", prompter.asked[1].caption);
    EXPECT_EQ(L"当前系统改为U盘 \"只读\" 状态，请重新插拔U盘生效!", prompter.asked[1].text);
    EXPECT_EQ(owner, prompter.asked[1].owner);

    prompter.asked.clear();
    protection.SetUsbWriteProtection(0, owner);
    EXPECT_EQ(0, Dword(kStorage, L"WriteProtect"));
    ASSERT_EQ(1u, prompter.asked.size());
    EXPECT_EQ(L"当前系统改为U盘 \"正常\"状态，请重新插拔U盘生效!", prompter.asked[0].text);
    EXPECT_TRUE(FileExists(protection.DesktopShortcut())) << "the shortcuts stay";

    prompter.asked.clear();
    protection.SetUsbWriteProtection(2, owner);
    protection.SetSafeOpen(7, owner);
    EXPECT_TRUE(prompter.asked.empty());
}

// Safe-open: the copy, "Type" and "OldPath", and three shortcuts that start the copy (two with "/usb").
TEST_F(ProtectionTest, SafeOpenInstallsTheCopyAndThreeShortcuts) {
    DriveProtection protection = Protection();
    protection.SetSafeOpen(1, nullptr);
    ASSERT_EQ(1u, prompter.asked.size());
    EXPECT_EQ(L"青岚U盘专杀提醒您：", prompter.asked[0].caption);
    EXPECT_EQ(L"已成功创建快捷方式！", prompter.asked[0].text);
    EXPECT_EQ(ReadBytes(program), ReadBytes(Copy()));
    EXPECT_EQ(1, Dword(kProduct, L"Type"));
    EXPECT_EQ(program, Text(kProduct, L"OldPath"));
    const struct {
        std::wstring link, arguments;
    } links[] = {{protection.StartMenuFolder() + L"\\青岚U盘专杀.lnk", L""},
                 {protection.StartMenuFolder() + L"\\安全打开U盘.lnk", L"/usb"},
                 {protection.DesktopShortcut(), L"/usb"}};
    for (const auto& l : links) {
        std::wstring target, arguments;
        ASSERT_TRUE(ReadShortcut(l.link, target, arguments)) << l.link;
        EXPECT_EQ(0, lstrcmpiW(Copy().c_str(), target.c_str())) << target;
        EXPECT_EQ(l.arguments, arguments);
    }
    // Again over a read-only shortcut and an existing copy: both are written anew.
    ASSERT_TRUE(::SetFileAttributesW(protection.DesktopShortcut().c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(WriteBytes(program, std::string("MZ a newer program")));
    EXPECT_EQ(0, protection.CreateSafeOpen());
    EXPECT_EQ(ReadBytes(program), ReadBytes(Copy()));
    std::wstring target, arguments;
    ASSERT_TRUE(ReadShortcut(protection.DesktopShortcut(), target, arguments));
    EXPECT_EQ(L"/usb", arguments);
}

// "OldPath" is written only for a path with ":\" (or an empty one); "Type" is written whatever.
TEST_F(ProtectionTest, APathWithoutADriveLeavesOldPath) {
    ProductSettings product(controller.Changes());
    ASSERT_EQ(S_OK, product.WriteTypeAndPath(1, L"C:\\tools\\veludisk.exe"));
    EXPECT_EQ(E_FAIL, product.WriteTypeAndPath(0, L"\\\\server\\share\\veludisk.exe"));
    EXPECT_EQ(0, Dword(kProduct, L"Type"));
    EXPECT_EQ(L"C:\\tools\\veludisk.exe", Text(kProduct, L"OldPath"));
    std::wstring read;
    EXPECT_EQ(S_OK, product.ReadOldPath(read));
    ASSERT_EQ(S_OK, product.WriteTypeAndPath(0, L""));
    EXPECT_EQ(E_FAIL, product.ReadOldPath(read)) << "two characters or fewer";
}

// Removing it while running from the copy: the program goes back to "OldPath", the copy's folder and every
// shortcut go, the values are reset; without "OldPath" only the shortcuts go.
TEST_F(ProtectionTest, RemovalFromTheCopyGoesBackToOldPath) {
    DriveProtection installing = Protection();
    installing.CreateSafeOpen();
    ASSERT_TRUE(FileExists(Copy()));
    ASSERT_TRUE(WriteBytes(program, std::string("MZ an older program at the old place")));
    places.programFile = Copy();
    DriveProtection fromCopy = Protection();
    fromCopy.SetSafeOpen(0, nullptr);
    EXPECT_EQ(L"已成功清除快捷方式！", prompter.asked.back().text);
    EXPECT_EQ(std::string("MZ the program as it was started"), ReadText(program)) << "copied back";
    EXPECT_FALSE(FileExists(installing.ProgramCopyFolder()));
    EXPECT_FALSE(FileExists(installing.StartMenuFolder()));
    EXPECT_FALSE(FileExists(installing.DesktopShortcut()));
    EXPECT_TRUE(FileExists(root / L"pf\\Velmora")) << "no folder but the copy's own";
    EXPECT_EQ(0, Dword(kProduct, L"Type"));
    EXPECT_EQ(L"", Text(kProduct, L"OldPath"));

    places.programFile = program;
    DriveProtection again = Protection();
    again.CreateSafeOpen();
    ProductSettings(controller.Changes()).WriteTypeAndPath(1, L"");
    again.RemoveSafeOpen();
    EXPECT_TRUE(FileExists(Copy())) << "nothing to go back to: the copy stays";
    EXPECT_FALSE(FileExists(again.DesktopShortcut()));
    EXPECT_FALSE(FileExists(again.StartMenuFolder()));
}

// A report-only run plans the installation and makes none of it; a real one is undone whole.
TEST_F(ProtectionTest, PlannedAndUndone) {
    {
        PlanEffects plan;
        CleanerHarness h;
        h.controller.UseEffects(plan);
        h.prompter.answers = {IDYES, IDOK};
        DriveProtection planned(h.controller, h.disposer, h.prompter, places, 2);
        planned.SetUsbWriteProtection(1, nullptr);
        EXPECT_FALSE(KeyThere(kStorage));
        EXPECT_FALSE(KeyThere(kPolicy));
        EXPECT_FALSE(FileExists(Copy()));
        std::set<std::string> kinds;
        for (const JournalEntry& e : plan.Entries()) kinds.insert(e.kind);
        for (const char* k : {"registry-create-key", "registry-set", "create-folder", "create-file"})
            EXPECT_EQ(1u, kinds.count(k)) << k;
    }
    ScratchDir sessions{L"T:"};
    LiveEffects live{sessions.Path() + L"\\"};
    CleanerHarness h;
    h.controller.UseEffects(live);
    live.BeginSession();
    h.prompter.answers = {IDYES, IDOK};
    DriveProtection real(h.controller, h.disposer, h.prompter, places, 2);
    real.SetUsbWriteProtection(1, nullptr);
    live.EndSession();
    ASSERT_EQ(1, Dword(kPolicy, L"Deny_Write"));
    ASSERT_TRUE(FileExists(real.DesktopShortcut()));
    const auto all = ListSessions(sessions.Path() + L"\\");
    ASSERT_EQ(1u, all.size());
    for (const UndoStep& step : UndoSession(all[0], false, false))
        EXPECT_NE(UndoResult::Failed, step.result) << step.entry.kind << " " << std::string(step.path.begin(), step.path.end());
    EXPECT_FALSE(KeyThere(kStorage));
    EXPECT_FALSE(KeyThere(kPolicy));
    EXPECT_FALSE(FileExists(Copy()));
    EXPECT_FALSE(FileExists(real.StartMenuFolder()));
    EXPECT_FALSE(FileExists(real.DesktopShortcut()));
    EXPECT_EQ(-1, Dword(kProduct, L"Type"));
}

}  // namespace
