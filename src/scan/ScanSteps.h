#pragma once
// The steps a scan session runs, as the controller reaches them. Each cleaner implements its own step; results
// are HRESULT-style and a negative one ends a system scan.
#include <windows.h>

#include <vector>

#include "scan/DriveList.h"

class ScanController;

class ScanSteps {
public:
    virtual ~ScanSteps() = default;
    virtual void Attach(ScanController* controller) = 0;
    virtual HRESULT LoadFixedPaths() = 0;
    virtual void PrepareBootCleanDriver() = 0;
    virtual HRESULT CleanResidentThreats() = 0;
    virtual HRESULT FixedPathSweep() = 0;
    virtual HRESULT DriveRootPass(const std::vector<DriveEntry>& drives) = 0;
    virtual HRESULT ScanRunningProcesses() = 0;
    virtual HRESULT FullWalk(const std::vector<DriveEntry>& drives) = 0;
    // USB write protection: whether removable drives are read-only now, and switching it off.
    virtual bool IsUsbWriteProtected() = 0;
    virtual void SwitchUsbWriteProtectionOff() = 0;
    // The boot-record phase after a finished scan, on a thread of its own; or on the caller's thread, which
    // it holds until the phase is over (the console scanner reports after it).
    virtual void StartBootRecordPhase() = 0;
    virtual void RunBootRecordPhase() = 0;
    virtual bool BootRecordPhaseRunning() = 0;
    virtual void Release() = 0;
};

// What the end of a run needs from the window that hosts the controller.
class ScanWindow {
public:
    virtual ~ScanWindow() = default;
    virtual HWND Handle() = 0;
    virtual void CallPage(const wchar_t* key, const std::wstring& value, const wchar_t* param) = 0;
    virtual void Close() = 0;
};

// Steps of cleaners that are not built yet: each does nothing and succeeds.
class PendingScanSteps : public ScanSteps {
public:
    void Attach(ScanController*) override {}
    HRESULT LoadFixedPaths() override { return S_OK; }
    void PrepareBootCleanDriver() override {}
    HRESULT CleanResidentThreats() override { return S_OK; }
    HRESULT FixedPathSweep() override { return S_OK; }
    HRESULT DriveRootPass(const std::vector<DriveEntry>&) override { return S_OK; }
    HRESULT ScanRunningProcesses() override { return S_OK; }
    HRESULT FullWalk(const std::vector<DriveEntry>&) override { return S_OK; }
    bool IsUsbWriteProtected() override { return false; }
    void SwitchUsbWriteProtectionOff() override {}
    void StartBootRecordPhase() override {}
    void RunBootRecordPhase() override {}
    bool BootRecordPhaseRunning() override { return false; }
    void Release() override {}
};
