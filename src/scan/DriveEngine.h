#pragma once
// The cleaners wired together on one scan context: the one place that builds them, for both programs (with
// the real trust check, system-file guard, media runtime and process list) and for the tests (with doubles).
#include "cleaners/drive/AutorunCleaner.h"
#include "cleaners/drive/DelphiRepair.h"
#include "cleaners/drive/DisguisedCleaner.h"
#include "cleaners/drive/DocumentRestore.h"
#include "cleaners/drive/DriveWalk.h"
#include "cleaners/drive/FileChecker.h"
#include "cleaners/drive/FileContent.h"
#include "cleaners/drive/MediaRepair.h"
#include "cleaners/system/BootRecord.h"
#include "cleaners/system/ResidentCleaner.h"
#include "disposal/CrcBlacklist.h"
#include "disposal/FileDisposal.h"
#include "disposal/Safeguards.h"
#include "scan/ProcessFolderScan.h"
#include "util/DriveIdentity.h"
#include "util/Seams.h"

class VLogger;

// What the engine asks the person and the machine beyond files, and where the system cleaners look.
struct EngineSeams {
    Prompter& prompter;
    ProgramLauncher& launcher;
    DriveIdentity& identity;
    const SystemPlaces& places;
};

struct DriveEngine {
    DriveEngine(ScanContext& scan, VLogger& log, CrcBlacklist& crcs, TrustVerifier& trust, SystemFileGuard& guard,
                MediaEditor& mediaEditor, RunningPrograms& programs, const EngineSeams& seams)
        : disposer(scan, crcs, log),
          documents(scan, log),
          media(mediaEditor, scan, log),
          checker(scan, log, crcs, documents, media, volumes),
          disguised(scan, log, trust, guard, volumes),
          walker(scan, checker, disguised),
          sweeper(scan, disposer),
          autorun(scan, log, disposer, checker, disguised, trust, guard),
          processes(scan, checker, programs),
          delphi(disposer, scan, seams.prompter, seams.launcher),
          bootRecord(scan, log, seams.prompter, seams.launcher, seams.places),
          resident(scan, disposer, autorun, delphi, bootRecord, seams.identity, trust, guard, seams.places) {}

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
    DelphiRepair delphi;
    BootRecordCleaner bootRecord;
    ResidentCleaner resident;
};
