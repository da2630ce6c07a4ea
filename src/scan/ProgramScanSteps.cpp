#include "scan/ProgramScanSteps.h"

#include "log/VLogger.h"
#include "protection/DriveProtection.h"
#include "scan/DriveEngine.h"
#include "scan/PageNotices.h"
#include "scan/ScanController.h"

namespace {
// Made before the engine that refers to it.
struct CrcListHolder {
    CrcBlacklist crcList;
    SystemPlaces places = RealSystemPlaces();
};
}  // namespace

// The engine bound to one controller, the process-wide log and the real seams.
struct ProgramScanSteps::Cleaners : CrcListHolder, DriveEngine {
    explicit Cleaners(ScanController& scan)
        : DriveEngine(scan, ProcessLogger(), crcList, RealTrustVerifier(), RealSystemFileGuard(), WindowsMediaEditor(),
                      RealRunningPrograms(),
                      EngineSeams{scan.Seams().prompter, scan.Seams().launcher, RealDriveIdentity(), places}) {}
};

ProgramScanSteps::ProgramScanSteps() = default;
ProgramScanSteps::~ProgramScanSteps() { WaitForPhase(); }

void ProgramScanSteps::Attach(ScanController* controller) {
    if (!controller) return;
    m_controller = controller;
    m_cleaners = std::make_unique<Cleaners>(*controller);
    // A checker without its lists still scans: an empty CRC list simply never matches.
    m_cleaners->checker.Init();
}

HRESULT ProgramScanSteps::CleanResidentThreats() {
    return m_cleaners ? m_cleaners->resident.CleanResidentThreats() : E_FAIL;
}

HRESULT ProgramScanSteps::LoadFixedPaths() { return m_cleaners ? m_cleaners->sweeper.LoadFixedPaths() : E_FAIL; }

HRESULT ProgramScanSteps::FixedPathSweep() { return m_cleaners ? m_cleaners->sweeper.FixedPathSweep() : E_FAIL; }

HRESULT ProgramScanSteps::DriveRootPass(const std::vector<DriveEntry>& drives) {
    return m_cleaners ? m_cleaners->autorun.DriveRootPass(drives) : E_FAIL;
}

HRESULT ProgramScanSteps::ScanRunningProcesses() {
    return m_cleaners ? m_cleaners->processes.ScanRunningProcesses() : E_FAIL;
}

HRESULT ProgramScanSteps::FullWalk(const std::vector<DriveEntry>& drives) {
    return m_cleaners ? m_cleaners->walker.FullWalk(drives) : E_FAIL;
}

bool ProgramScanSteps::IsUsbWriteProtected() {
    return m_controller && m_cleaners && WriteProtectSettings(m_controller->Changes(), m_cleaners->places.windowsVersionClass).IsProtected();
}

void ProgramScanSteps::SwitchUsbWriteProtectionOff() {
    if (m_controller && m_cleaners) WriteProtectSettings(m_controller->Changes(), m_cleaners->places.windowsVersionClass).Switch(0);
}

void ProgramScanSteps::RunBootRecordPhase() {
    if (!m_cleaners) return;
    BootRecordCleaner& phase = m_cleaners->bootRecord;
    phase.BootRecordPhase();
    // The page hears of the companion offer's answer once.
    const int answer = phase.CompanionAnswer.exchange(0);
    if (answer == 1) g_Notices.sysInstall = 1;
    if (answer == 2) g_Notices.checkNo = 1;
}

DWORD WINAPI ProgramScanSteps::PhaseEntry(void* self) {
    // After the run: its changes (the boot record, the dropper files) are a session of their own.
    auto* steps = static_cast<ProgramScanSteps*>(self);
    steps->m_controller->Changes().BeginSession();
    steps->RunBootRecordPhase();
    steps->m_controller->Changes().EndSession();
    return 0;
}

bool ProgramScanSteps::BootRecordPhaseRunning() {
    return m_phase && ::WaitForSingleObject(m_phase.Get(), 0) == WAIT_TIMEOUT;
}

void ProgramScanSteps::StartBootRecordPhase() {
    // One phase at a time: two would read and write the same sector. One still waiting on its questions is
    // left to finish.
    if (!m_controller || BootRecordPhaseRunning()) return;
    m_phase.Reset(::CreateThread(nullptr, 0, &ProgramScanSteps::PhaseEntry, this, 0, nullptr));
}

void ProgramScanSteps::WaitForPhase() {
    if (m_phase) ::WaitForSingleObject(m_phase.Get(), INFINITE);
    m_phase.Reset();
}

void ProgramScanSteps::Release() {
    // The phase uses the cleaners: they go only after it.
    WaitForPhase();
    if (m_cleaners) m_cleaners->checker.Release();
    m_driver.RemoveExtractedDriver();
}
