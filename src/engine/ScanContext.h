#pragma once
// What one scan shares between its controller and the cleaners: the counters, the stop request, how the run
// changes the machine, where it is, and the flags the cleaners raise for the end of the run. The cleaners and
// the disposal layer are given this, never the controller or the programs' start-up state.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "engine/LiveEffects.h"
#include "scan/ScanStats.h"

class ScanContext {
public:
    ScanContext();
    ~ScanContext();
    ScanContext(const ScanContext&) = delete;
    ScanContext& operator=(const ScanContext&) = delete;

    // Counters, consistent as a whole when snapshotted; the worker adds to them one at a time.
    void AddFilesExamined();
    void AddThreatsFound();
    void AddImmunized(std::uint32_t reported);  // adds reported + 1
    void AddRepaired();
    void AddDisguised();
    void AddDeleted();
    void AddRebootPending();
    void SnapshotCounters(ScanStats& out) const;
    void ResetCounters();

    HRESULT RequestStop();
    bool IsStopRequested() const { return m_stop.load(); }
    void ClearStop();

    // How the run changes the machine: acting and journaling (the default), or only planning. Set before a
    // run; a binding given is not owned.
    void UseEffects(Effects& effects) { m_effects = &effects; }
    Effects& Changes() { return *m_effects; }

    // Where the run is, for the console scanner's progress line: the folder the drive walk is in, the
    // folders it has entered and the bytes the per-file check has read.
    void SetScanFolder(const std::wstring& folder);
    std::wstring ScanFolder() const;
    std::uint32_t ScanFolders() const { return m_scanFolders.load(); }
    void AddScanBytes(std::uint64_t bytes) { m_scanBytes += bytes; }
    std::uint64_t ScanBytes() const { return m_scanBytes.load(); }
    void ResetScanProgress();

    // Flags of the session, raised by the cleaners and read at the end of a run.
    std::atomic<int> ReadOnlyScan{0};         // a write-protected stick is only looked at
    std::atomic<int> ThreatFollowUpState{0};  // 1: a folder companion was seen, the fixed drives are walked next
    std::atomic<int> BootkitState{0};
    std::atomic<int> BootkitVariant{0};      // what the boot-record phase found (1 to 6), 0 nothing
    std::atomic<int> BootRecordRepaired{0};  // and whether sector 0 was rewritten (planned, in a plan)
    std::atomic<int> DelphiInfectorState{0};
    std::atomic<int> ScriptInfectorSeen{0};
    std::atomic<int> WmiConsumerFound{0};
    std::atomic<int> MediaRepairReported{0};
    std::atomic<int> ExeInfectorRepairReported{0};      // "AUTODOOR_Virus"
    std::atomic<int> ArchiveInfectorRepairReported{0};  // "SOLA_Virus"

private:
    void Increment(std::uint32_t ScanStats::*counter, std::uint32_t by = 1);

    mutable CRITICAL_SECTION m_lock;
    ScanStats m_stats;
    std::atomic<bool> m_stop{false};
    LiveEffects m_liveEffects;
    Effects* m_effects = &m_liveEffects;
    mutable std::mutex m_folderLock;
    std::wstring m_scanFolder;
    std::atomic<std::uint64_t> m_scanBytes{0};
    std::atomic<std::uint32_t> m_scanFolders{0};
};
