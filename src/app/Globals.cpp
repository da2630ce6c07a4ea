#include "app/Globals.h"

std::atomic<bool> g_bSilent{false};
std::atomic<int> g_bStandalone{0};
std::atomic<int> g_nUpdateState{0};
std::atomic<int> WindowsVersionClass{0};

StartupScanRequest g_StartupScanRequest;
std::vector<std::wstring> DirectoryList;

