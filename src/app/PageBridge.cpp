#include "app/PageBridge.h"

#include <climits>

const wchar_t kPageVersion[] = L"1103191";

namespace {

const struct {
    const wchar_t* id;
    PageCommand command;
    bool needsParameter;
} kCommands[] = {
    {L"Btn_Open_UDisk", PageCommand::OpenRemovable, false}, {L"Btn_Stop_Scan", PageCommand::StopScan, false},
    {L"Btn_Start_Scan", PageCommand::StartScan, true},      {L"Btn_USB_Status", PageCommand::UsbWriteProtection, true},
    {L"Btn_Lnk_Set", PageCommand::SafeOpen, true},          {L"Btn_LogSee", PageCommand::OpenLog, false},
};

const wchar_t* const kNoticeKeys[kNoticeCount] = {L"Run_Install", L"Usb_VInstall", L"Sys_Install",   L"Delphi_Virus",
                                                  L"VBS_Virus",   L"MP3_Virus",    L"AUTODOOR_Virus", L"SOLA_Virus",
                                                  L"COM_Run",     L"CHECK_No"};

RefreshStep Push(const wchar_t* key, const std::wstring& value) { return RefreshStep{RefreshStep::Push, key, value, -1}; }
const wchar_t* Flag(bool on) { return on ? L"1" : L"0"; }

}  // namespace

const wchar_t* PageNoticeKey(int notice) { return notice >= 0 && notice < kNoticeCount ? kNoticeKeys[notice] : L""; }

int DecimalParameter(const std::wstring& text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == L' ' || (text[i] >= L'\t' && text[i] <= L'\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
    long long value = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        value = value * 10 + (text[i] - L'0');
        if (value > INT_MAX) value = INT_MAX + 1LL;  // held at the edge: the page never sends such a number
    }
    if (negative) value = -value;
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return int(value);
}

std::vector<PageAction> DispatchPageClick(const std::wstring& id, bool firstIsText, const std::wstring& first) {
    std::vector<PageAction> actions;
    if (id.empty()) return actions;
    for (const auto& c : kCommands) {
        if (id != c.id) continue;
        if (c.needsParameter && !firstIsText) continue;
        actions.push_back(PageAction{c.command, c.needsParameter ? DecimalParameter(first) : 0});
    }
    return actions;
}

std::vector<RefreshStep> PlanRefresh(const RefreshInput& in) {
    std::vector<RefreshStep> steps;
    if (in.busy) steps.push_back(Push(L"Scan_Info", in.scanInfo));
    steps.push_back(Push(L"IsOnlyRead", Flag(in.writeProtected)));
    steps.push_back(Push(L"Lnk_Set", Flag(in.safeOpenInstalled)));
    steps.push_back(Push(L"Usb_Edition", Flag(in.standalone)));
    for (int n = 0; n < kNoticeCount; ++n) {
        if (!in.armed[n]) continue;
        if (n == kNoticeRunInstall) steps.push_back(RefreshStep{RefreshStep::QueueReport, L"", L"install=11", -1});
        if (n == kNoticeUsbVInstall) steps.push_back(RefreshStep{RefreshStep::QueueReport, L"", L"install=12", -1});
        steps.push_back(Push(kNoticeKeys[n], L"0"));
        steps.push_back(RefreshStep{RefreshStep::ClearNotice, L"", L"", n});
    }
    steps.push_back(Push(L"Udisk_Version", kPageVersion));
    steps.push_back(Push(L"Udisk_UpData", in.standalone ? std::to_wstring(in.updateState) : std::wstring(L"6")));
    if (in.threatFollowUpState == 3) {
        steps.push_back(Push(L"Folder_Virus", L"0"));
        steps.push_back(RefreshStep{RefreshStep::ClearFolderWalk, L"", L"", -1});
    }
    if (in.bootkitState == 1) {
        steps.push_back(RefreshStep{RefreshStep::MarkBootkitSeen, L"", L"", -1});
        steps.push_back(Push(L"Mbr_Virus", L"0"));
        steps.push_back(RefreshStep{RefreshStep::AskToContact, L"", L"", -1});
    }
    steps.push_back(Push(L"LiOther_Btn", Flag(in.logNotEmpty)));
    return steps;
}

std::vector<RefreshStep> PlanPageReady(const RefreshInput& in, bool firstLoad, bool startupScanPending) {
    std::vector<RefreshStep> steps;
    steps.push_back(Push(L"IsOnlyRead", Flag(in.writeProtected)));
    steps.push_back(Push(L"Lnk_Set", Flag(in.safeOpenInstalled)));
    steps.push_back(Push(L"LiOther_Btn", Flag(in.logNotEmpty)));
    steps.push_back(Push(L"Usb_Edition", Flag(in.standalone)));
    if (firstLoad) {
        steps.push_back(RefreshStep{RefreshStep::QueueReport, L"", in.standalone ? L"install=21" : L"install=22", -1});
        steps.push_back(Push(L"Usb_VActivity", Flag(in.standalone)));
    }
    if (!startupScanPending) steps.push_back(Push(L"Udisk_Version", kPageVersion));
    return steps;
}
