#pragma once
// Process-wide state shared between the start-up, the window, the controller and the cleaners. Each flag has
// one writer thread; the others only read it.
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "app/CommandLine.h"

extern std::atomic<bool> g_bSilent;
extern std::atomic<int> g_bStandalone;
extern std::atomic<int> g_nUpdateState;
extern std::atomic<int> WindowsVersionClass;

extern StartupScanRequest g_StartupScanRequest;  // read and cleared by the window once the page has loaded
extern std::vector<std::wstring> DirectoryList;  // "/sdir" directories, handed to the controller

// Scan-session flags.
extern std::atomic<int> ReadOnlyScan;
// Where the running scan is, for the console scanner's progress line: the folder the drive walk is in and the
// bytes the per-file check has read. Reset when a run starts.
void SetScanFolder(const std::wstring& folder);
std::wstring ScanFolder();
// Folders the walk has entered since the last reset.
std::uint32_t ScanFolders();
void AddScanBytes(std::uint64_t bytes);
std::uint64_t ScanBytes();
void ResetScanProgress();
extern std::atomic<int> ReplugPending;
extern std::atomic<int> ThreatFollowUpState;
extern std::atomic<int> BootkitState;
extern std::atomic<int> DelphiInfectorState;
extern std::atomic<int> ScriptInfectorSeen;
extern std::atomic<int> ArchiveHelperReady;
extern std::atomic<int> WmiConsumerFound;

// Report flags raised by cleaners during a scan, moved to the one-shot notices at its end.
extern std::atomic<int> MediaRepairReported;
extern std::atomic<int> ExeInfectorRepairReported;   // "AUTODOOR_Virus"
extern std::atomic<int> ArchiveInfectorRepairReported;  // "SOLA_Virus"

// One-shot page notices: raised here, pushed once by the window's timer.
struct PageNotices {
    std::atomic<int> runInstall{0};     // "Run_Install"
    std::atomic<int> usbVInstall{0};    // "Usb_VInstall"
    std::atomic<int> delphiVirus{0};    // "Delphi_Virus"
    std::atomic<int> vbsVirus{0};       // "VBS_Virus"
    std::atomic<int> mp3Virus{0};       // "MP3_Virus"
    std::atomic<int> autodoorVirus{0};  // "AUTODOOR_Virus"
    std::atomic<int> solaVirus{0};      // "SOLA_Virus"
};
extern PageNotices g_Notices;
