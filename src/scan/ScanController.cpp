#include "scan/ScanController.h"

#include <cwchar>

#include "scan/PageNotices.h"
#include "util/AnsiText.h"

namespace {

const wchar_t kCaptionError[] = L"错误";
const wchar_t kTextDamaged[] = L"可能由于程序被病毒破坏，导致运行出错，请下载最新版本！";
const wchar_t kDownloadHelpUrl[] = L"http://www.velmora.com/veludisk/download.html";
const wchar_t kCaptionRisk[] = L"风险声明";
const wchar_t kTextRiskAgain[] = L"请确认您已仔细阅读风险声明，并愿意承担本工具可能带来的风险和损失。";
const wchar_t kCaptionUsbState[] = L"U盘状态";
const wchar_t kTextReplug[] = L"请重新插拔U盘生效。";
const wchar_t kTextNoUsb[] = L"您的电脑没有插入U盘。";
const wchar_t kCaptionUsbMode[] = L"U盘模式";
const wchar_t kTextReadOnlyAsk[] =
    L"U盘是只读模式，是否尝试扫描病毒？\n只读模式扫出病毒是不能删除的是否取掉只读模式再杀？";
const wchar_t kTextReadOnlyOff[] = L"以取消U盘只读模式，请重新插拔U盘再杀！";
const wchar_t kCaptionVirusFound[] = L"警告！发现病毒！";
const wchar_t kTextReadOnlyVirus[] = L"发现病毒！\n U盘当前为只读模式，请去掉只读模式后重新插入U盘查杀病毒！";
const wchar_t kCaptionRestart[] = L"建议重启";
const wchar_t kTextRestart[] = L"发现病毒,需要重启删除,是否重启?";

constexpr std::size_t kCommandLineMaxBytes = 259;

}  // namespace

bool IsRiskQuestion(const PromptRequest& request) {
    return request.caption && std::wcscmp(request.caption, kCaptionRisk) == 0;
}

ScanController::ScanController(ScanSteps& steps, DriveSystem& drives, ControllerSeams seams)
    : m_steps(steps), m_driveList(drives), m_seams(seams) {}

ScanController::~ScanController() { ShutdownController(); }

int ScanController::Ask(HWND owner, const wchar_t* caption, const wchar_t* text, UINT style) {
    // The window is going away: no new question holds up the worker it waits for; unanswered is declined.
    if (m_closing) return IDCANCEL;
    PromptRequest r;
    r.owner = owner;
    r.caption = caption;
    r.text = text;
    r.style = style;
    return m_seams.prompter.Ask(r);
}

HRESULT ScanController::InitController(HWND window) {
    if (m_initialised.exchange(true)) return E_FAIL;
    m_window = window;
    m_steps.Attach(this);
    if (FAILED(m_steps.LoadFixedPaths())) {
        Ask(nullptr, kCaptionError, kTextDamaged, MB_OK);
        m_seams.launcher.OpenWithShell(kDownloadHelpUrl);
        return E_FAIL;  // no worker: every start request is refused
    }
    m_steps.PrepareBootCleanDriver();
    m_startEvent.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!m_startEvent) return E_FAIL;
    DWORD id = 0;
    m_worker.Reset(::CreateThread(nullptr, 0, &ScanController::WorkerEntry, this, 0, &id));
    if (!m_worker) return E_FAIL;
    m_workerReady = true;
    return S_OK;
}

HRESULT ScanController::StartScan(int mode) {
    if (!m_workerReady) return E_FAIL;
    // The boot-record phase of the last run makes changes of its own session: the next run waits for it.
    if (m_steps.BootRecordPhaseRunning()) return E_FAIL;
    bool idle = false;
    if (!m_busy.compare_exchange_strong(idle, true)) return E_FAIL;  // a request while busy is dropped
    m_mode = mode;
    ::SetEvent(m_startEvent.Get());
    return S_OK;
}

void ScanController::OnDeviceRemoved() {
    m_driveList.PruneArrivedRoots();
    ReplugPending = 0;
}

DWORD WINAPI ScanController::WorkerEntry(void* self) { return static_cast<ScanController*>(self)->WorkerLoop(); }

DWORD ScanController::WorkerLoop() {
    for (;;) {
        // Shut down before or during the wait: leave (the shutdown signals the event after clearing the mark).
        if (!m_initialised) return 0;
        if (::WaitForSingleObject(m_startEvent.Get(), INFINITE) != WAIT_OBJECT_0 || !m_initialised) return 0;
        ResetCounters();
        ResetScanProgress();
        Changes().BeginSession();
        RunMode(m_mode);
        if (m_phaseInRun && m_mode >= kModeSystem && m_mode <= kModeSystemAndFixedAlt && !IsStopRequested()) {
            ScanStats s;
            SnapshotCounters(s);
            if (s.FilesExamined > 0) m_steps.RunBootRecordPhase();
        }
        Changes().EndSession();
        ::ResetEvent(m_startEvent.Get());
        ClearStop();
        m_busy = false;
        if (HWND w = m_window) ::PostMessageW(w, WM_COMMAND, ID_SCAN_DONE, 0);
    }
}

HRESULT ScanController::RunMode(int mode) {
    switch (mode) {
        case kModeSystem:
        case kModeSystemAlt:
            return SystemScan();
        case kModeSystemAndFixed:
        case kModeSystemAndFixedAlt: {
            const HRESULT hr = SystemScan();
            if (FAILED(hr) && IsStopRequested()) return hr;
            return WalkFixedDrives();
        }
        case kModeRemovable:
            return RemovableMode();
        case kModeDirectories:
            return DirectoryScan();
        default:
            return S_OK;  // nothing runs; the result still reaches the page
    }
}

HRESULT ScanController::SystemScan() {
    // Anything but an explicit Yes (a box that could not be shown included) declines.
    if (Ask(nullptr, kCaptionRisk, kTextRiskAgain, MB_YESNO | MB_ICONQUESTION) != IDYES) return E_FAIL;
    HRESULT hr = m_steps.CleanResidentThreats();
    if (FAILED(hr)) return hr;
    if (FAILED(hr = m_steps.FixedPathSweep())) return hr;
    std::vector<DriveEntry> all;
    m_driveList.CollectAllDrives(all);
    if (FAILED(hr = m_steps.DriveRootPass(all))) return hr;
    if (FAILED(hr = m_steps.ScanRunningProcesses())) return hr;
    int seen = 1;
    if (ThreatFollowUpState.compare_exchange_strong(seen, 3)) {
        if (FAILED(hr = WalkFixedDrives())) return hr;
    }
    return S_OK;
}

HRESULT ScanController::WalkFixedDrives() {
    std::vector<DriveEntry> drives;
    m_driveList.CollectDrives(kDriveFixed, drives);
    m_driveList.CollectDrives(kDriveRamDisk, drives);
    return drives.empty() ? S_OK : m_steps.FullWalk(drives);
}

HRESULT ScanController::RemovableMode() {
    if (ReplugPending) {
        Ask(nullptr, kCaptionUsbState, kTextReplug, MB_OK | MB_ICONWARNING);
        return kResultInvalidDrive;
    }
    std::vector<DriveEntry> drives;
    m_driveList.CollectDrives(kDriveRemovable, drives);
    if (drives.empty()) {
        Ask(nullptr, kCaptionUsbState, kTextNoUsb, MB_OK | MB_ICONWARNING);
        return kResultInvalidDrive;
    }
    return RemovableScan(drives, true);
}

HRESULT ScanController::RemovableScan(const std::vector<DriveEntry>& drives, bool open) {
    const bool writeProtected = m_steps.IsUsbWriteProtected();
    ScanStats before;
    SnapshotCounters(before);
    if (open && writeProtected) {
        ReadOnlyScan = 1;
        if (Ask(nullptr, kCaptionUsbMode, kTextReadOnlyAsk, MB_YESNO | MB_ICONWARNING) == IDYES) {
            m_steps.SwitchUsbWriteProtectionOff();
            Ask(nullptr, kCaptionUsbMode, kTextReadOnlyOff, MB_YESNO | MB_ICONWARNING);
            ReadOnlyScan = 0;
            ReplugPending = 1;
            return S_OK;
        }
    } else {
        ReadOnlyScan = 0;
    }
    m_steps.DriveRootPass(drives);
    const HRESULT hr = m_steps.FullWalk(drives);
    ScanStats after;
    SnapshotCounters(after);
    if (writeProtected && after.ThreatsFound > before.ThreatsFound && after.Deleted == before.Deleted) {
        if (Ask(nullptr, kCaptionVirusFound, kTextReadOnlyVirus, MB_YESNO | MB_ICONWARNING) == IDYES) {
            m_steps.SwitchUsbWriteProtectionOff();
            ReadOnlyScan = 0;
            ReplugPending = 1;
            return hr;
        }
    }
    if (open)
        for (const auto& d : drives) OpenInExplorer(d.root);
    return hr;
}

HRESULT ScanController::DirectoryScan() {
    if (m_directories.empty()) return S_OK;
    std::vector<DriveEntry> list;
    for (const auto& dir : m_directories) {
        // The walkers append patterns and names straight to a root, so each directory ends with a backslash.
        const bool slash = !dir.empty() && dir.back() == L'\\';
        list.push_back(DriveEntry{slash ? dir : dir + L'\\', kDriveFixed});
    }
    m_steps.DriveRootPass(list);
    const HRESULT hr = m_steps.FullWalk(list);
    for (const auto& dir : m_directories) OpenInExplorer(dir);
    return hr;
}

void ScanController::OpenInExplorer(const std::wstring& target) {
    ::Sleep(m_seams.explorerDelayMs);
    const std::string command = "explorer.exe " + ToAnsi(target);
    // A cut command line would open another folder: one that does not fit is not opened.
    if (command.size() <= kCommandLineMaxBytes) m_seams.launcher.RunCommand(command);
}

void ScanController::PushProgress(ScanWindow& window) {
    if (!m_busy) return;
    ScanStats s;
    SnapshotCounters(s);
    window.CallPage(L"Scan_Info", FormatScanInfo(s), L"0");
}

void ScanController::OnScanDone(ScanWindow& window) {
    ScanStats s;
    SnapshotCounters(s);
    const bool bootkit = BootkitState != 0;
    window.CallPage(L"Scan_Result", FormatScanResult(s, bootkit), L"0");
    if (s.FilesExamined == 0) {
        // A silent run has no one to close its hidden window: it always ends, even with nothing scanned.
        if (m_silent) window.Close();
        return;
    }

    if (DelphiInfectorState != 1) g_Notices.delphiVirus = 1;
    if (ScriptInfectorSeen.exchange(0)) g_Notices.vbsVirus = 1;
    if (MediaRepairReported.exchange(0)) g_Notices.mp3Virus = 1;
    if (ExeInfectorRepairReported.exchange(0)) g_Notices.autodoorVirus = 1;
    if (ArchiveInfectorRepairReported.exchange(0)) g_Notices.solaVirus = 1;

    if (ReplugPending || ReadOnlyScan || m_silent) {
        if (m_silent) window.Close();
        return;
    }
    m_steps.StartBootRecordPhase();
    if (ThreatsIncludingBootkit(s, bootkit) > s.Deleted &&
        Ask(window.Handle(), kCaptionRestart, kTextRestart, MB_YESNO | MB_ICONQUESTION) == IDYES)
        m_seams.restarter.ForceRestart();
}

void ScanController::ShutdownController() {
    m_window = nullptr;
    if (!m_initialised.exchange(false)) return;
    if (m_worker) {
        // An idle worker leaves when woken; one in the middle of a run is asked to stop and ends after the entry
        // it is at. It is never ended by force: it may hold the heap's lock or be half-way through a change.
        m_closing = true;
        RequestStop();
        ::SetEvent(m_startEvent.Get());
        ::WaitForSingleObject(m_worker.Get(), INFINITE);
        m_closing = false;
    }
    // Only now is nothing using the cleaners.
    m_steps.Release();
    m_worker.Reset();
    m_startEvent.Reset();
    m_workerReady = false;
}
