#include "app/Globals.h"

#include <mutex>

std::atomic<bool> g_bSilent{false};
std::atomic<int> g_bStandalone{0};
std::atomic<int> g_nUpdateState{0};
std::atomic<int> WindowsVersionClass{0};

StartupScanRequest g_StartupScanRequest;
std::vector<std::wstring> DirectoryList;

std::atomic<int> ReadOnlyScan{0};
std::atomic<int> ReplugPending{0};
std::atomic<int> ThreatFollowUpState{0};
std::atomic<int> BootkitState{0};
std::atomic<int> DelphiInfectorState{0};
std::atomic<int> ScriptInfectorSeen{0};
std::atomic<int> ArchiveHelperReady{0};
std::atomic<int> WmiConsumerFound{0};

std::atomic<int> MediaRepairReported{0};
std::atomic<int> ExeInfectorRepairReported{0};
std::atomic<int> ArchiveInfectorRepairReported{0};

PageNotices g_Notices;

namespace {
std::mutex g_scanFolderLock;
std::wstring g_scanFolder;
std::atomic<std::uint64_t> g_scanBytes{0};
std::atomic<std::uint32_t> g_scanFolders{0};
}  // namespace

void SetScanFolder(const std::wstring& folder) {
    if (!folder.empty()) ++g_scanFolders;
    std::lock_guard<std::mutex> hold(g_scanFolderLock);
    g_scanFolder = folder;
}

std::uint32_t ScanFolders() { return g_scanFolders.load(); }

std::wstring ScanFolder() {
    std::lock_guard<std::mutex> hold(g_scanFolderLock);
    return g_scanFolder;
}

void AddScanBytes(std::uint64_t bytes) { g_scanBytes += bytes; }

std::uint64_t ScanBytes() { return g_scanBytes.load(); }

void ResetScanProgress() {
    SetScanFolder(std::wstring());
    g_scanBytes = 0;
    g_scanFolders = 0;
}
