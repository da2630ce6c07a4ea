#include "scan/ProgramScanSteps.h"

#include "log/VLogger.h"
#include "scan/DriveEngine.h"
#include "scan/ScanController.h"

namespace {
// Made before the engine that refers to it.
struct CrcListHolder {
    CrcBlacklist crcList;
};
}  // namespace

// The engine bound to one controller, the process-wide log and the real seams.
struct ProgramScanSteps::Cleaners : CrcListHolder, DriveEngine {
    explicit Cleaners(ScanController& scan)
        : DriveEngine(scan, ProcessLogger(), crcList, RealTrustVerifier(), RealSystemFileGuard(), WindowsMediaEditor(),
                      RealRunningPrograms()) {}
};

ProgramScanSteps::ProgramScanSteps() = default;
ProgramScanSteps::~ProgramScanSteps() = default;

void ProgramScanSteps::Attach(ScanController* controller) {
    if (!controller) return;
    m_cleaners = std::make_unique<Cleaners>(*controller);
    // A checker without its lists still scans: an empty CRC list simply never matches.
    m_cleaners->checker.Init();
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

void ProgramScanSteps::Release() {
    if (m_cleaners) m_cleaners->checker.Release();
    m_driver.RemoveExtractedDriver();
}
