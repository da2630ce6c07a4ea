#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/PageBridge.h"

namespace {

std::vector<std::wstring> Pushed(const std::vector<RefreshStep>& steps) {
    std::vector<std::wstring> keys;
    for (const RefreshStep& s : steps)
        if (s.kind == RefreshStep::Push) keys.push_back(s.key + L"=" + s.value);
    return keys;
}

TEST(PageClick, EachCommandAndItsParameter) {
    const struct {
        const wchar_t* id;
        bool text;
        const wchar_t* first;
        std::vector<PageAction> expected;
    } cases[] = {
        {L"Btn_Open_UDisk", false, L"", {{PageCommand::OpenRemovable, 0}}},
        {L"Btn_Stop_Scan", false, L"", {{PageCommand::StopScan, 0}}},
        {L"Btn_Start_Scan", true, L"3", {{PageCommand::StartScan, 3}}},
        {L"Btn_Start_Scan", true, L" 2abc", {{PageCommand::StartScan, 2}}},
        {L"Btn_Start_Scan", true, L"", {{PageCommand::StartScan, 0}}},
        {L"Btn_Start_Scan", false, L"3", {}},  // not a string: nothing
        {L"Btn_USB_Status", true, L"1", {{PageCommand::UsbWriteProtection, 1}}},
        {L"Btn_USB_Status", false, L"1", {}},
        {L"Btn_Lnk_Set", true, L"0", {{PageCommand::SafeOpen, 0}}},
        {L"Btn_Lnk_Set", false, L"", {}},
        {L"Btn_LogSee", false, L"", {{PageCommand::OpenLog, 0}}},
        {L"btn_logsee", false, L"", {}},  // ids compare exactly
        {L"BtnScan", true, L"1", {}},
        {L"", true, L"1", {}},
        {L"<img src=x onerror=alert(1)>", true, L"1", {}},
    };
    for (const auto& c : cases) {
        const std::vector<PageAction> got = DispatchPageClick(c.id, c.text, c.first);
        ASSERT_EQ(c.expected.size(), got.size()) << std::string(c.id, c.id + std::wcslen(c.id));
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(c.expected[i].command, got[i].command);
            EXPECT_EQ(c.expected[i].parameter, got[i].parameter);
        }
    }
}

TEST(PageClick, DecimalConversionAsTheRuntimeDoes) {
    EXPECT_EQ(0, DecimalParameter(L""));
    EXPECT_EQ(12, DecimalParameter(L"  +12x"));
    EXPECT_EQ(-7, DecimalParameter(L"-7"));
    EXPECT_EQ(0, DecimalParameter(L"x12"));
    EXPECT_EQ(2147483647, DecimalParameter(L"99999999999999999999"));
    EXPECT_EQ(-2147483647 - 1, DecimalParameter(L"-99999999999999999999"));
}

TEST(PageRefresh, ThePushesInTheirOrder) {
    RefreshInput in;
    in.busy = true;
    in.scanInfo = L"10|2|1|0";
    in.standalone = true;
    in.updateState = 3;
    in.logNotEmpty = true;
    EXPECT_EQ((std::vector<std::wstring>{L"Scan_Info=10|2|1|0", L"IsOnlyRead=0", L"Lnk_Set=0", L"Usb_Edition=1",
                                         L"Udisk_Version=1103191", L"Udisk_UpData=3", L"LiOther_Btn=1"}),
              Pushed(PlanRefresh(in)));
    in.busy = false;
    in.standalone = false;
    in.writeProtected = in.safeOpenInstalled = true;
    EXPECT_EQ((std::vector<std::wstring>{L"IsOnlyRead=1", L"Lnk_Set=1", L"Usb_Edition=0", L"Udisk_Version=1103191",
                                         L"Udisk_UpData=6", L"LiOther_Btn=1"}),
              Pushed(PlanRefresh(in)))
        << "the integrated edition's update state is always 6";
}

TEST(PageRefresh, NoticesOnceEachInOrderWithTheirReports) {
    RefreshInput in;
    for (bool& a : in.armed) a = true;
    const std::vector<RefreshStep> steps = PlanRefresh(in);
    std::vector<std::wstring> notices;
    std::vector<int> cleared;
    std::vector<std::wstring> reports;
    for (const RefreshStep& s : steps) {
        if (s.kind == RefreshStep::Push && s.value == L"0" && s.key != L"IsOnlyRead" && s.key != L"Lnk_Set" &&
            s.key != L"Usb_Edition" && s.key != L"LiOther_Btn")
            notices.push_back(s.key);
        if (s.kind == RefreshStep::ClearNotice) cleared.push_back(s.notice);
        if (s.kind == RefreshStep::QueueReport) reports.push_back(s.value);
    }
    EXPECT_EQ((std::vector<std::wstring>{L"Run_Install", L"Usb_VInstall", L"Sys_Install", L"Delphi_Virus", L"VBS_Virus",
                                         L"MP3_Virus", L"AUTODOOR_Virus", L"SOLA_Virus", L"COM_Run", L"CHECK_No"}),
              notices);
    EXPECT_EQ((std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}), cleared);
    EXPECT_EQ((std::vector<std::wstring>{L"install=11", L"install=12"}), reports);
    // The report comes before its key.
    EXPECT_EQ(RefreshStep::QueueReport, steps[3].kind);
    EXPECT_EQ(L"Run_Install", steps[4].key);
}

TEST(PageRefresh, TheExtendedWalkAndTheNewBootkitOnce) {
    RefreshInput in;
    in.threatFollowUpState = 3;
    in.bootkitState = 1;
    const std::vector<RefreshStep> steps = PlanRefresh(in);
    std::vector<RefreshStep::Kind> tail;
    for (std::size_t i = steps.size() - 7; i < steps.size(); ++i) tail.push_back(steps[i].kind);
    EXPECT_EQ((std::vector<RefreshStep::Kind>{RefreshStep::Push, RefreshStep::Push, RefreshStep::ClearFolderWalk,
                                              RefreshStep::MarkBootkitSeen, RefreshStep::Push, RefreshStep::AskToContact,
                                              RefreshStep::Push}),
              tail)
        << "Udisk_UpData, Folder_Virus, its clearing, the state to 2, Mbr_Virus, the question, LiOther_Btn";
    EXPECT_EQ(L"Folder_Virus", steps[steps.size() - 6].key);
    EXPECT_EQ(L"Mbr_Virus", steps[steps.size() - 3].key);
    in.threatFollowUpState = 1;  // a walk not yet run, or none
    in.bootkitState = 2;         // already told
    for (const RefreshStep& s : PlanRefresh(in)) {
        EXPECT_NE(L"Folder_Virus", s.key);
        EXPECT_NE(L"Mbr_Virus", s.key);
        EXPECT_NE(RefreshStep::AskToContact, s.kind);
    }
}

TEST(PageReady, FirstLoadAndStartupScan) {
    RefreshInput in;
    in.standalone = true;
    std::vector<RefreshStep> steps = PlanPageReady(in, true, false);
    EXPECT_EQ((std::vector<std::wstring>{L"IsOnlyRead=0", L"Lnk_Set=0", L"LiOther_Btn=0", L"Usb_Edition=1",
                                         L"Usb_VActivity=1", L"Udisk_Version=1103191"}),
              Pushed(steps));
    EXPECT_EQ(L"install=21", steps[4].value);
    in.standalone = false;
    steps = PlanPageReady(in, true, true);
    EXPECT_EQ(L"install=22", steps[4].value);
    EXPECT_EQ((std::vector<std::wstring>{L"IsOnlyRead=0", L"Lnk_Set=0", L"LiOther_Btn=0", L"Usb_Edition=0", L"Usb_VActivity=0"}),
              Pushed(steps))
        << "a start-up scan: no version until the next tick";
    EXPECT_EQ(4u, Pushed(PlanPageReady(in, false, true)).size()) << "later loads: no activity key";
}

}  // namespace
