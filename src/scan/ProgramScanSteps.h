#pragma once
// The steps the program runs: the boot-clean driver is extracted when the controller starts and removed when
// it goes; the known-path sweep, the drive-root pass, the running-program pass and the drive walk run for
// real, and so do the resident cleaners and the boot-record phase; the cleaners that are not built yet do
// nothing and succeed.
#include <memory>

#include "engine/BootCleanDriver.h"
#include "scan/ScanSteps.h"
#include "util/WinHandle.h"

class ProgramScanSteps final : public PendingScanSteps {
public:
    ProgramScanSteps();
    ~ProgramScanSteps() override;

    void Attach(ScanController* controller) override;
    HRESULT LoadFixedPaths() override;
    void PrepareBootCleanDriver() override { m_driver.ExtractBootCleanDriver(); }
    HRESULT CleanResidentThreats() override;
    HRESULT FixedPathSweep() override;
    HRESULT DriveRootPass(const std::vector<DriveEntry>& drives) override;
    HRESULT ScanRunningProcesses() override;
    HRESULT FullWalk(const std::vector<DriveEntry>& drives) override;
    bool IsUsbWriteProtected() override;
    void SwitchUsbWriteProtectionOff() override;
    void StartBootRecordPhase() override;
    void RunBootRecordPhase() override;
    bool BootRecordPhaseRunning() override;
    void Release() override;

private:
    struct Cleaners;
    static DWORD WINAPI PhaseEntry(void* self);
    void WaitForPhase();
    BootCleanRegistrar m_driver;
    std::unique_ptr<Cleaners> m_cleaners;
    ScanController* m_controller = nullptr;
    KernelHandle m_phase;  // the last boot-record phase's thread
};
