#pragma once
// One scan at a time on one long-lived worker thread: the order of steps per mode, the prompts between them,
// the counters, stopping, and what the window does when a run ends.
#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "engine/ScanContext.h"
#include "scan/DriveList.h"
#include "scan/ScanStats.h"
#include "scan/ScanSteps.h"
#include "util/Seams.h"
#include "util/WinHandle.h"

constexpr UINT ID_SCAN_DONE = 0xE101;

enum ScanMode : int {
    kModeSystem = 0,
    kModeSystemAndFixed = 1,
    kModeSystemAlt = 2,
    kModeSystemAndFixedAlt = 3,
    kModeRemovable = 4,
    kModeDirectories = 5,
};

struct ControllerSeams {
    Prompter& prompter;
    ProgramLauncher& launcher;
    SystemRestarter& restarter;
    DWORD explorerDelayMs = 1000;  // pause before opening each drive in Explorer
};

// Whether a question is the risk statement a scan starts with (the console scanner's "--yes" accepts only it).
bool IsRiskQuestion(const PromptRequest& request);

// The controller is the scan's context: the cleaners it runs are handed its ScanContext part.
class ScanController : public ScanContext {
public:
    ScanController(ScanSteps& steps, DriveSystem& drives, ControllerSeams seams);
    ~ScanController();
    ScanController(const ScanController&) = delete;
    ScanController& operator=(const ScanController&) = delete;

    HRESULT InitController(HWND window);
    HRESULT StartScan(int mode);
    bool IsBusy() const { return m_busy.load(); }
    void SetDirectoryList(const std::vector<std::wstring>& dirs) { m_directories = dirs; }
    void ShutdownController();

    // Device notifications from the window.
    void OnVolumeArrival(std::uint32_t unitMask) { m_driveList.OnVolumeArrival(unitMask); }
    void OnDeviceRemoved();

    // On the window thread when ID_SCAN_DONE arrives.
    void OnScanDone(ScanWindow& window);
    // The one-second progress push while busy.
    void PushProgress(ScanWindow& window);

    DriveList& Drives() { return m_driveList; }
    const ControllerSeams& Seams() const { return m_seams; }
    // A run that reports only after the boot-record phase (the console scanner): a system scan ends with the
    // phase on the worker, inside the run's own session of changes.
    void SetPhaseInRun(bool inRun) { m_phaseInRun = inRun; }

    // A silent run has no one to answer a question or close its window: it closes it itself at the end.
    void SetSilent(bool silent) { m_silent = silent; }
    // Set when a scan switched write protection off: the stick must be plugged in again first.
    std::atomic<int> ReplugPending{0};

private:
    static DWORD WINAPI WorkerEntry(void* self);
    DWORD WorkerLoop();
    HRESULT RunMode(int mode);
    HRESULT SystemScan();
    HRESULT WalkFixedDrives();
    HRESULT RemovableMode();
    HRESULT RemovableScan(const std::vector<DriveEntry>& drives, bool open);
    HRESULT DirectoryScan();
    void OpenInExplorer(const std::wstring& target);
    int Ask(HWND owner, const wchar_t* caption, const wchar_t* text, UINT style);

    ScanSteps& m_steps;
    DriveList m_driveList;
    ControllerSeams m_seams;
    std::atomic<bool> m_initialised{false};
    std::atomic<bool> m_busy{false};
    std::atomic<bool> m_silent{false};
    std::atomic<bool> m_closing{false};  // the window is going away and waits for the worker
    std::atomic<bool> m_phaseInRun{false};
    bool m_workerReady = false;
    KernelHandle m_startEvent;
    KernelHandle m_worker;
    std::atomic<int> m_mode{0};
    std::vector<std::wstring> m_directories;
    std::atomic<HWND> m_window{nullptr};
};
