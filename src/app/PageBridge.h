#pragma once
// The native half of the page bridge, as pure decisions: which of the page's six commands a click is, and
// what the one-second refresh pushes to the page, in its order. The window carries them out.
#include <string>
#include <vector>

enum class PageCommand { OpenRemovable, StopScan, StartScan, UsbWriteProtection, SafeOpen, OpenLog };

struct PageAction {
    PageCommand command;
    int parameter = 0;  // StartScan: the scan bits; the two switches: 1 on, 0 off
};

// A click on the element `id` with its first parameter; `firstIsText` is false when that parameter holds no
// string, and then the commands that need it do nothing. Any other id does nothing.
std::vector<PageAction> DispatchPageClick(const std::wstring& id, bool firstIsText, const std::wstring& first);

// The runtime's decimal conversion: leading blanks, a sign, digits up to the first other character; 0 for none.
int DecimalParameter(const std::wstring& text);

// The one-shot notices, in the order the refresh pushes them.
enum PageNotice {
    kNoticeRunInstall,
    kNoticeUsbVInstall,
    kNoticeSysInstall,
    kNoticeDelphiVirus,
    kNoticeVbsVirus,
    kNoticeMp3Virus,
    kNoticeAutodoorVirus,
    kNoticeSolaVirus,
    kNoticeComRun,
    kNoticeCheckNo,
    kNoticeCount
};
const wchar_t* PageNoticeKey(int notice);

// What the refresh looks at.
struct RefreshInput {
    bool busy = false;
    std::wstring scanInfo;          // the "Scan_Info" value while busy
    bool writeProtected = false;    // "IsOnlyRead"
    bool safeOpenInstalled = false; // "Lnk_Set"
    bool standalone = false;        // "Usb_Edition"
    int updateState = 0;            // "Udisk_UpData" in the standalone edition
    int threatFollowUpState = 0;    // 3: an extended walk ran ("Folder_Virus")
    int bootkitState = 0;           // 1: the pre-check saw the new variant ("Mbr_Virus" and its question)
    bool logNotEmpty = false;       // "LiOther_Btn"
    bool armed[kNoticeCount] = {};
};

// One thing the refresh does, in order.
struct RefreshStep {
    enum Kind {
        Push,            // CallPage(key, value, "0")
        ClearNotice,     // the notice `notice` is pushed: clear its flag
        QueueReport,     // the usage report `value` ("install=11")
        ClearFolderWalk, // ThreatFollowUpState to 0
        MarkBootkitSeen, // BootkitState to 2
        AskToContact,    // the question of the new bootkit variant
    } kind;
    std::wstring key;
    std::wstring value;
    int notice = -1;
};
std::vector<RefreshStep> PlanRefresh(const RefreshInput& in);

// The pushes of a loaded page: "IsOnlyRead", "Lnk_Set", "LiOther_Btn", "Usb_Edition", then on the first load
// "Usb_VActivity" (after its usage report), then "Udisk_Version" unless a start-up scan starts.
std::vector<RefreshStep> PlanPageReady(const RefreshInput& in, bool firstLoad, bool startupScanPending);

extern const wchar_t kPageVersion[];  // "1103191"
