#include "app/MainWindow.h"

#include <dbt.h>

#include "app/Globals.h"
#include "app/Startup.h"
#include "cleaners/system/WmiCheck.h"
#include "log/LogFile.h"
#include "scan/DriveSystemWin.h"
#include "scan/ProgramScanSteps.h"

namespace {
const wchar_t kWindowClass[] = L"VeludiskMainWindow";
constexpr UINT_PTR kProgressTimer = 1;
constexpr UINT kProgressIntervalMs = 1000;
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
            if (wp == kProgressTimer) m_controller.PushProgress(*this);
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

int RunMainWindow(int showCommand, const std::vector<std::wstring>& directories) {
    static ProgramScanSteps steps;
    static WindowsDriveSystem drives;
    CMainDlg window(MainWindowServices{steps, drives,
                                       ControllerSeams{RealPrompter(), RealProgramLauncher(), RealSystemRestarter()}});
    if (!window.Create(directories)) return 0;
    return window.RunMessageLoop(showCommand);
}
