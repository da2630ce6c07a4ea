#pragma once
// The boot record of the first disk: recognising a "鬼影" bootkit, rewriting sector 0, and the phase after a
// scan that does both with the user's questions. Every write goes through the scan's effects (journaled,
// with the disk's first 4096 bytes kept before).
#include <atomic>
#include <string>

#include "cleaners/system/SystemPlaces.h"
#include "util/Seams.h"

class ScanContext;
class VLogger;

class BootRecordCleaner {
public:
    BootRecordCleaner(ScanContext& scan, VLogger& log, Prompter& prompter, ProgramLauncher& launcher,
                      const SystemPlaces& places)
        : m_scan(scan), m_log(log), m_prompter(prompter), m_launcher(launcher), m_places(places) {}

    // True with the variant (1 to 6) when sector 0 holds a known bootkit; the variant is left as it was otherwise.
    bool CheckBootRecord(int& variant);
    // True when exactly 512 bytes were written to sector 0.
    bool RepairBootRecord(int variant);
    // Check, repair and tell; then the companion product's offer. Blocks on the questions.
    void BootRecordPhase();

    // What the companion offer came to, for the page: 1 accepted ("Sys_Install"), 2 declined ("CHECK_No").
    // Read and cleared by the caller.
    std::atomic<int> CompanionAnswer{0};

    // The companion product's installer and the maker's page that stands in when it is missing.
    std::wstring CompanionInstaller() const;
    static const wchar_t kMakerPage[];

private:
    ScanContext& m_scan;
    VLogger& m_log;
    Prompter& m_prompter;
    ProgramLauncher& m_launcher;
    SystemPlaces m_places;
};
