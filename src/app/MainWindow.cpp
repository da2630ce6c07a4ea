#include "app/MainWindow.h"

#include <dbt.h>

#include "app/Globals.h"
#include "app/Startup.h"
#include "cleaners/system/WmiCheck.h"
#include "disposal/FileDisposal.h"
#include "log/LogFile.h"
#include "log/VLogger.h"
#include "protection/DriveProtection.h"
#include "util/AnsiText.h"
#include "util/ProgramPath.h"
#include "scan/DriveSystemWin.h"
#include "scan/ProgramScanSteps.h"

namespace {
const wchar_t kWindowClass[] = L"VeludiskMainWindow";
constexpr UINT_PTR kProgressTimer = 1;
constexpr UINT kProgressIntervalMs = 1000;
const wchar_t kCaptionContact[] = L"建议立即交流";
const wchar_t kTextContact[] = L"发现鬼影新变种病毒,需要联系青岚反病毒工程师,是否立即交流?";
const wchar_t kSupportLink[] = L"http://www.velmora.com/support/";

std::wstring LogPath() { return ProgramFolder() + L"\\Cleaner.log"; }
}  // namespace

CMainDlg::CMainDlg(MainWindowServices services)
    : m_services(services), m_controller(services.steps, services.drives, services.seams) {}

CMainDlg::~CMainDlg() {
    if (m_hwnd) ::DestroyWindow(m_hwnd);
}

bool CMainDlg::Create(const std::vector<std::wstring>& directories) {
    m_controller.SetDirectoryList(directories);
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &CMainDlg::WindowProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kWindowClass;
    ::RegisterClassExW(&wc);  // fails harmlessly when already registered
    m_hwnd = ::CreateWindowExW(0, kWindowClass, L"U盘病毒专杀工具", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                               640, 480, nullptr, nullptr, wc.hInstance, this);
    return m_hwnd != nullptr;
}

int CMainDlg::RunMessageLoop(int showCommand) {
    ::ShowWindow(m_hwnd, showCommand);
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

void CMainDlg::CallPage(const wchar_t* key, const std::wstring& value, const wchar_t*) {
    m_pushes.emplace_back(key, value);
    for (auto& kv : m_page) {
        if (kv.first == key) {
            kv.second = value;
            return;
        }
    }
    m_page.emplace_back(key, value);
}

std::wstring CMainDlg::PageValue(const std::wstring& key) const {
    for (const auto& kv : m_page)
        if (kv.first == key) return kv.second;
    return std::wstring();
}

void CMainDlg::Close() {
    if (m_hwnd) ::PostMessageW(m_hwnd, WM_CLOSE, 0, 0);
}

LRESULT CALLBACK CMainDlg::WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* self = static_cast<CMainDlg*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        self->m_hwnd = hwnd;
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<CMainDlg*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    return self ? self->Handle(msg, wp, lp) : ::DefWindowProcW(hwnd, msg, wp, lp);
}

void CMainDlg::OnCreated() {
    PublishMainWindow(m_hwnd);
    if (!g_bSilent) {
        g_bStandalone = DetectEdition();
        RecordInstall(g_bStandalone);
        // WMI script persistence is only reported: the page hears of it from the flag.
        m_controller.WmiConsumerFound = CheckWmiScriptConsumers(RealWmiBindings(), WriteStandardOutputLine);
    }
    WindowsVersionClass = GetWindowsVersionClass();
    m_controller.SetSilent(g_bSilent);
    m_controller.InitController(m_hwnd);
    ::SetTimer(m_hwnd, kProgressTimer, kProgressIntervalMs, nullptr);
    // A silent start whose scan cannot run would stay hidden for good: it ends instead.
    if (!StartRequestedScan() && g_bSilent) Close();
}

// What the command line asked for starts once the window is up (the page's load, later).
bool CMainDlg::StartRequestedScan() {
    StartupScanRequest request = g_StartupScanRequest;
    g_StartupScanRequest = StartupScanRequest();
    bool started = false;
    if (request.full)
        started = SUCCEEDED(m_controller.StartScan(kModeSystem));
    else if (request.removable)
        started = SUCCEEDED(m_controller.StartScan(kModeRemovable));
    else if (request.all)
        started = SUCCEEDED(m_controller.StartScan(kModeSystemAndFixed));
    if (request.directories) started = SUCCEEDED(m_controller.StartScan(kModeDirectories)) || started;
    return started;
}

LRESULT CMainDlg::Handle(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_CREATE:
            OnCreated();
            return 0;
        case WM_TIMER:
            Refresh();  // the timer's id is not looked at
            return 0;
        case WM_COMMAND:
            if (LOWORD(wp) == ID_SCAN_DONE) {
                m_controller.OnScanDone(*this);
                return 0;
            }
            break;
        case WM_DEVICECHANGE:
            if (wp == DBT_DEVICEARRIVAL && lp &&
                reinterpret_cast<DEV_BROADCAST_HDR*>(lp)->dbch_devicetype == DBT_DEVTYP_VOLUME)
                m_controller.OnVolumeArrival(reinterpret_cast<DEV_BROADCAST_VOLUME*>(lp)->dbcv_unitmask);
            else if (wp == DBT_DEVICEREMOVECOMPLETE)
                m_controller.OnDeviceRemoved();
            return TRUE;
        case WM_CLOSE:
            ::ShowWindow(m_hwnd, SW_HIDE);
            ::DestroyWindow(m_hwnd);
            return 0;
        case WM_DESTROY:
            ::KillTimer(m_hwnd, kProgressTimer);
            m_controller.ShutdownController();
            CleanUpEmptyLog();
            m_hwnd = nullptr;
            ::PostQuitMessage(0);
            return 0;
    }
    return ::DefWindowProcW(m_hwnd, msg, wp, lp);
}

RefreshInput CMainDlg::CurrentState() {
    RefreshInput in;
    in.busy = m_controller.IsBusy();
    if (in.busy) {
        ScanStats s;
        m_controller.SnapshotCounters(s);
        in.scanInfo = FormatScanInfo(s);
    }
    in.writeProtected = WriteProtectSettings(m_settings.Changes(), WindowsVersionClass).IsProtected();
    DWORD type = 0;
    in.safeOpenInstalled = SUCCEEDED(ProductSettings(m_settings.Changes()).ReadType(type)) && type == 1;
    in.standalone = g_bStandalone != 0;
    in.updateState = g_nUpdateState;
    in.threatFollowUpState = m_controller.ThreatFollowUpState;
    in.bootkitState = m_controller.BootkitState;
    in.logNotEmpty = LogHasContent(LogPath().c_str());
    const std::atomic<int>* flags[kNoticeCount] = {&g_Notices.runInstall,   &g_Notices.usbVInstall, &g_Notices.sysInstall,
                                                   &g_Notices.delphiVirus,  &g_Notices.vbsVirus,    &g_Notices.mp3Virus,
                                                   &g_Notices.autodoorVirus, &g_Notices.solaVirus,  &m_controller.WmiConsumerFound,
                                                   &g_Notices.checkNo};
    for (int n = 0; n < kNoticeCount; ++n) in.armed[n] = flags[n]->load() != 0;
    return in;
}

void CMainDlg::Carry(const std::vector<RefreshStep>& steps) {
    std::atomic<int>* flags[kNoticeCount] = {&g_Notices.runInstall,    &g_Notices.usbVInstall, &g_Notices.sysInstall,
                                             &g_Notices.delphiVirus,   &g_Notices.vbsVirus,    &g_Notices.mp3Virus,
                                             &g_Notices.autodoorVirus, &g_Notices.solaVirus,   &m_controller.WmiConsumerFound,
                                             &g_Notices.checkNo};
    for (const RefreshStep& step : steps) {
        switch (step.kind) {
            case RefreshStep::Push: CallPage(step.key.c_str(), step.value, L"0"); break;
            case RefreshStep::ClearNotice: flags[step.notice]->store(0); break;
            case RefreshStep::QueueReport: break;  // the usage reports come with the network
            case RefreshStep::ClearFolderWalk: m_controller.ThreatFollowUpState = 0; break;
            case RefreshStep::MarkBootkitSeen: m_controller.BootkitState = 2; break;
            case RefreshStep::AskToContact: {
                PromptRequest r;
                r.owner = m_hwnd;
                r.caption = kCaptionContact;
                r.text = kTextContact;
                r.style = MB_YESNO | MB_ICONQUESTION;
                if (m_services.seams.prompter.Ask(r) == IDYES) m_services.seams.launcher.OpenWithShell(kSupportLink);
                break;
            }
        }
    }
}

void CMainDlg::Refresh() { Carry(PlanRefresh(CurrentState())); }

void CMainDlg::OnPageClick(const std::wstring& id, bool firstIsText, const std::wstring& first) {
    for (const PageAction& action : DispatchPageClick(id, firstIsText, first)) {
        switch (action.command) {
            case PageCommand::OpenRemovable: m_controller.StartScan(kModeRemovable); break;
            case PageCommand::StopScan: m_controller.RequestStop(); break;
            case PageCommand::StartScan: m_controller.StartScan(action.parameter); break;
            case PageCommand::UsbWriteProtection:
            case PageCommand::SafeOpen: {
                FileDisposer disposer(m_settings, m_noCrcs, ProcessLogger());
                DriveProtection protection(m_settings, disposer, m_services.seams.prompter, RealSafeOpenPlaces(),
                                           WindowsVersionClass);
                m_settings.Changes().BeginSession();
                if (action.command == PageCommand::SafeOpen)
                    protection.SetSafeOpen(action.parameter, m_hwnd);
                else
                    protection.SetUsbWriteProtection(action.parameter, m_hwnd);
                m_settings.Changes().EndSession();
                break;
            }
            case PageCommand::OpenLog: OpenLog(); break;
        }
    }
}

void CMainDlg::OpenLog() {
    const std::wstring log = LogPath();
    if (!LogHasContent(log.c_str())) return;
    std::wstring command = WindowsFolder() + L"\\system32\\notepad.exe";
    if (::GetFileAttributesW(command.c_str()) != INVALID_FILE_ATTRIBUTES) command += L" \"" + log + L"\"";
    m_services.seams.launcher.RunCommand(ToAnsi(command));
}

int RunMainWindow(int showCommand, const std::vector<std::wstring>& directories) {
    static ProgramScanSteps steps;
    static WindowsDriveSystem drives;
    CMainDlg window(MainWindowServices{steps, drives,
                                       ControllerSeams{RealPrompter(), RealProgramLauncher(), RealSystemRestarter()}});
    if (!window.Create(directories)) return 0;
    return window.RunMessageLoop(showCommand);
}
