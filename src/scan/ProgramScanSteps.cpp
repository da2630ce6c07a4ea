#include "scan/ProgramScanSteps.h"

#include "cleaners/drive/AutorunCleaner.h"
#include "cleaners/drive/DisguisedCleaner.h"
#include "cleaners/drive/DocumentRestore.h"
#include "cleaners/drive/DriveWalk.h"
#include "cleaners/drive/FileChecker.h"
#include "cleaners/drive/FileContent.h"
#include "cleaners/drive/MediaRepair.h"
#include "disposal/CrcBlacklist.h"
#include "disposal/FileDisposal.h"
#include "disposal/Safeguards.h"
#include "log/VLogger.h"
#include "scan/ProcessFolderScan.h"
#include "scan/ScanController.h"

// Everything the drive steps share, bound to one controller and the process-wide log.
struct ProgramScanSteps::Cleaners {
    explicit Cleaners(ScanController& scan)
        : disposer(scan, crcs, g_Logger),
          documents(scan, g_Logger),
          media(WindowsMediaEditor(), scan, g_Logger),
          checker(scan, g_Logger, crcs, documents, media, volumes),
          disguised(scan, g_Logger, RealTrustVerifier(), RealSystemFileGuard(), volumes),
          walker(scan, checker, disguised),
          sweeper(scan, disposer),
          autorun(scan, g_Logger, disposer, checker, disguised, RealTrustVerifier(), RealSystemFileGuard()),
          processes(scan, checker, RealRunningPrograms()) {}

    CrcBlacklist crcs;
    SystemVolumeLayout volumes;
    FileDisposer disposer;
    DocumentRestore documents;
    MediaRepair media;
    FileChecker checker;
    DisguisedCleaner disguised;
    DriveWalker walker;
    FixedPathSweeper sweeper;
    AutorunCleaner autorun;
    ProcessFolderScan processes;
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
