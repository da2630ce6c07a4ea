#pragma once
// What a cleaner runs against in the tests: a scan controller with recording seams, a CRC blacklist, a log
// of its own in a scratch folder on the removable test drive, and the disposal layer on top.
#include <cwchar>
#include <memory>

#include "Doubles.h"
#include "TestSupport.h"
#include "disposal/CrcBlacklist.h"
#include "disposal/FileDisposal.h"
#include "log/VLogger.h"
#include "scan/ScanController.h"
#include "support/FakeDrives.h"

struct CleanerHarness {
    CleanerHarness() : log(MakeLog(dir, logPath)), disposer(controller, crcs, *log) {}

    ScanStats Stats() {
        ScanStats s;
        controller.SnapshotCounters(s);
        return s;
    }
    std::string LogText() { return ReadText(logPath); }
    // The controller's live binding: what the cleaners change goes through it and into its journal.
    Effects& fx() { return controller.Changes(); }

    ScratchDir dir;
    wchar_t logPath[MAX_PATH] = {};
    std::unique_ptr<VLogger> log;
    FakeDrives drives;
    PendingScanSteps steps;
    ScriptedPrompter prompter;
    RecordingLauncher launcher;
    RecordingRestarter restarter;
    ScanController controller{steps, drives, ControllerSeams{prompter, launcher, restarter}};
    CrcBlacklist crcs;
    FileDisposer disposer;

private:
    static std::unique_ptr<VLogger> MakeLog(const ScratchDir& dir, wchar_t* path) {
        std::wcscpy(path, dir.Path().c_str());
        return std::make_unique<VLogger>(L"\\Cleaner.log", false, path);
    }
};
