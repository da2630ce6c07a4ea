#pragma once
// One scan at a time on one long-lived worker thread: the order of steps per mode, the prompts between them,
// the counters, stopping, and what the window does when a run ends.
#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "engine/LiveEffects.h"
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

class ScanController {
public:
    ScanController(ScanSteps& steps, DriveSystem& drives, ControllerSeams seams);
    ~ScanController();
    ScanController(const ScanController&) = delete;
    ScanController& operator=(const ScanController&) = delete;

    HRESULT InitController(HWND window);
    HRESULT StartScan(int mode);
    HRESULT RequestStop();
    bool IsBusy() const { return m_busy.load(); }
    bool IsStopRequested() const { return m_stop.load(); }
    void SnapshotCounters(ScanStats& out) const;
    void SetDirectoryList(const std::vector<std::wstring>& dirs) { m_directories = dirs; }
    void ShutdownController();

    void AddFilesExamined();
    void AddThreatsFound();
    void AddImmunized(std::uint32_t reported);
    void AddRepaired();
    void AddDisguised();
    void AddDeleted();
    void AddRebootPending();

    // Device notifications from the window.
    void OnVolumeArrival(std::uint32_t unitMask) { m_driveList.OnVolumeArrival(unitMask); }
    void OnDeviceRemoved();

    // On the window thread when ID_SCAN_DONE arrives.
    void OnScanDone(ScanWindow& window);
    // The one-second progress push while busy.
    void PushProgress(ScanWindow& window);

    DriveList& Drives() { return m_driveList; }

    // How the run changes the machine: acting and journaling (the default), or only planning. Set before the
    // first run; the controller does not own a binding it is given.
    void UseEffects(Effects& effects) { m_effects = &effects; }
    Effects& Changes() { return *m_effects; }

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
    void Increment(std::uint32_t ScanStats::*counter, std::uint32_t by = 1);

    ScanSteps& m_steps;
    DriveList m_driveList;
    ControllerSeams m_seams;
    std::atomic<bool> m_initialised{false};
    std::atomic<bool> m_busy{false};
    LiveEffects m_liveEffects;
    Effects* m_effects = &m_liveEffects;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_closing{false};  // the window is going away and waits for the worker
    bool m_workerReady = false;
    ScanStats m_stats;
    CRITICAL_SECTION m_lock;
    KernelHandle m_startEvent;
    KernelHandle m_worker;
    std::atomic<int> m_mode{0};
    std::vector<std::wstring> m_directories;
    std::atomic<HWND> m_window{nullptr};
};
