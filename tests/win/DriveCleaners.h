#pragma once
// The drive cleaners wired as the program wires them, on a CleanerHarness: the per-file check with its
// document and media repairs (no media runtime), the disguised-executable cleaner (a listed trust double) and
// the drive walk.
#include "CleanerHarness.h"
#include "cleaners/drive/DisguisedCleaner.h"
#include "cleaners/drive/DocumentRestore.h"
#include "cleaners/drive/DriveWalk.h"
#include "cleaners/drive/FileChecker.h"
#include "cleaners/drive/FileContent.h"
#include "cleaners/drive/MediaRepair.h"

struct DriveCleaners : CleanerHarness {
    ListedTrust trust;
    ListedGuard guard;
    SystemVolumeLayout volumes;
    NoMediaRuntime noMedia;
    DocumentRestore documents{controller, *log};
    MediaRepair media{noMedia, controller, *log};
    FileChecker checker{controller, *log, crcs, documents, media, volumes};
    DisguisedCleaner disguised{controller, *log, trust, guard, volumes};
    DriveWalker walker{controller, checker, disguised};
};
