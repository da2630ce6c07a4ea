// The main window's side of the page bridge, against its recording of the pushes: the one-second refresh and
// the page's clicks.
#include <gtest/gtest.h>

#include <algorithm>

#include "Doubles.h"
#include "TestSupport.h"
#include "app/Globals.h"
#include "app/MainWindow.h"
#include "support/FakeDrives.h"
#include "util/ProgramPath.h"

namespace {

struct WindowHarness {
    WindowHarness() {
        g_StartupScanRequest = StartupScanRequest();
        drives.types = {{L"C:\\", 3}};
        seams.explorerDelayMs = 0;
        created = window.Create({});
    }
    std::vector<std::wstring> PushedKeys() const {
        std::vector<std::wstring> keys;
        for (const auto& p : window.PagePushes()) keys.push_back(p.first);
        return keys;
    }
    std::size_t Count(const std::wstring& key) const {
        const auto keys = PushedKeys();
        return std::size_t(std::count(keys.begin(), keys.end(), key));
    }
    FakeDrives drives;
    PendingScanSteps steps;
    ScriptedPrompter prompter;
    RecordingLauncher launcher;
    RecordingRestarter restarter;
    ControllerSeams seams{prompter, launcher, restarter};
    CMainDlg window{MainWindowServices{steps, drives, seams}};
    bool created = false;
};

// A notice armed by a scan is pushed once; the extended walk and the new bootkit variant once each, the
// latter with its question owned by the window.
TEST(MainWindowRefresh, OneShotNoticesAndTheBootkitQuestionOnce) {
    WindowHarness h;
    ASSERT_TRUE(h.created);
    g_Notices.vbsVirus = 1;
    g_Notices.checkNo = 1;
    h.window.Controller().ThreatFollowUpState = 3;
    h.window.Controller().BootkitState = 1;
    h.prompter.answers = {IDYES};
    h.window.Refresh();
    h.window.Refresh();
    EXPECT_EQ(1u, h.Count(L"VBS_Virus"));
    EXPECT_EQ(1u, h.Count(L"CHECK_No"));
    EXPECT_EQ(1u, h.Count(L"Folder_Virus"));
    EXPECT_EQ(1u, h.Count(L"Mbr_Virus"));
    EXPECT_EQ(2u, h.Count(L"IsOnlyRead"));
    EXPECT_EQ(2u, h.Count(L"LiOther_Btn"));
    EXPECT_EQ(0, g_Notices.vbsVirus);
    EXPECT_EQ(0, h.window.Controller().ThreatFollowUpState);
    EXPECT_EQ(2, h.window.Controller().BootkitState);
    ASSERT_EQ(1u, h.prompter.asked.size());
    EXPECT_EQ(L"建议立即交流", h.prompter.asked[0].caption);
    EXPECT_EQ(L"发现鬼影新变种病毒,需要联系青岚反病毒工程师,是否立即交流?", h.prompter.asked[0].text);
    EXPECT_EQ(h.window.Handle(), h.prompter.asked[0].owner);
    ASSERT_EQ(1u, h.launcher.opened.size()) << "Yes opens the support desk's link";
    const auto keys = h.PushedKeys();
    EXPECT_EQ(L"IsOnlyRead", keys[0]) << "not busy: no Scan_Info first";
    EXPECT_EQ(L"0", h.window.PageValue(L"IsOnlyRead"));
    EXPECT_EQ(L"1103191", h.window.PageValue(L"Udisk_Version"));
}

// The page's commands: a removable scan, nothing for a command whose parameter is not text, nothing for an id
// that is no command; the log opens in Notepad only when it has content.
TEST(MainWindowClicks, CommandsReachTheControllerAndOthersDoNothing) {
    WindowHarness h;
    ASSERT_TRUE(h.created);
    h.window.OnPageClick(L"Btn_Start_Scan", false, L"4");
    h.window.OnPageClick(L"<b onmouseover=x>", true, L"4");
    h.window.OnPageClick(L"Btn_USB_Status", false, L"1");
    EXPECT_FALSE(h.window.Controller().IsBusy());
    EXPECT_TRUE(h.prompter.asked.empty()) << "nothing ran";
    h.window.OnPageClick(L"Btn_Open_UDisk", false, L"");
    const DWORD deadline = ::GetTickCount() + 10000;
    while (h.prompter.asked.empty() && ::GetTickCount() < deadline) ::Sleep(10);
    ASSERT_EQ(1u, h.prompter.asked.size()) << "the removable scan ran and found no stick";
    EXPECT_EQ(L"您的电脑没有插入U盘。", h.prompter.asked[0].text);

    const std::wstring log = ProgramFolder() + L"\\Cleaner.log";
    const bool logWasThere = FileExists(log);
    if (!logWasThere) {
        h.window.OnPageClick(L"Btn_LogSee", false, L"");
        EXPECT_TRUE(h.launcher.commands.empty()) << "no log, no Notepad";
        ASSERT_TRUE(WriteBytes(log, std::string("2026-12-11 10:00:00,,U:\\x.exe,,ok,,4,,\r\n")));
    }
    h.window.OnPageClick(L"Btn_LogSee", false, L"");
    ASSERT_EQ(1u, h.launcher.commands.size());
    EXPECT_NE(std::string::npos, h.launcher.commands[0].find("notepad.exe \"")) << h.launcher.commands[0];
    EXPECT_NE(std::string::npos, h.launcher.commands[0].find("Cleaner.log\"")) << h.launcher.commands[0];
    if (!logWasThere) ::DeleteFileW(log.c_str());
}

}  // namespace
