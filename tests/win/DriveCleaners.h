#pragma once
// The drive cleaners wired by the program's own engine builder, on a CleanerHarness: the per-file check with its
// document and media repairs (no media runtime), the disguised-executable cleaner (a listed trust double) and
// the drive walk.
#include "CleanerHarness.h"
#include "scan/DriveEngine.h"

struct DriveCleaners : CleanerHarness {
    ListedTrust trust;
    ListedGuard guard;
    NoMediaRuntime noMedia;
    NoIdentity noIdentity;
    SystemPlaces noPlaces;  // no system cleaner reaches the machine from a drive test
    DriveEngine engine{controller, *log, crcs, trust, guard, noMedia, RealRunningPrograms(),
                       EngineSeams{prompter, launcher, noIdentity, noPlaces}};
    DocumentRestore& documents = engine.documents;
    MediaRepair& media = engine.media;
    FileChecker& checker = engine.checker;
    DisguisedCleaner& disguised = engine.disguised;
    DriveWalker& walker = engine.walker;
    SystemVolumeLayout& volumes = engine.volumes;
};
