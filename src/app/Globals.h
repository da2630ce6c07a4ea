#pragma once
// The programs' own start-up values: what the command line and the start-up decided. A scan's own state is
// its ScanContext.
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

// The one-shot page notices live with the scan that raises most of them.
#include "scan/PageNotices.h"
