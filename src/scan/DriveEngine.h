#pragma once
// The cleaners wired together on one scan context: the one place that builds them, for both programs (with
// the real trust check, system-file guard, media runtime and process list) and for the tests (with doubles).
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
#include "scan/ProcessFolderScan.h"

class VLogger;

struct DriveEngine {
    DriveEngine(ScanContext& scan, VLogger& log, CrcBlacklist& crcs, TrustVerifier& trust, SystemFileGuard& guard,
                MediaEditor& mediaEditor, RunningPrograms& programs)
        : disposer(scan, crcs, log),
          documents(scan, log),
          media(mediaEditor, scan, log),
          checker(scan, log, crcs, documents, media, volumes),
          disguised(scan, log, trust, guard, volumes),
          walker(scan, checker, disguised),
          sweeper(scan, disposer),
          autorun(scan, log, disposer, checker, disguised, trust, guard),
          processes(scan, checker, programs) {}

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
