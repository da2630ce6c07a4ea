#pragma once
// The console scanner's command line:
//   velscan [--usb | --system | --all] [--yes] [--report-only] [--json FILE] [--quiet] [PATH ...]
#include <string>
#include <vector>

struct ScanOptions {
    int mode = -1;  // the scan controller's mode; -1 when nothing was asked for
    bool yes = false;
    bool reportOnly = false;
    bool quiet = false;
    bool help = false;
    std::wstring jsonPath;
    std::vector<std::wstring> paths;
};

// False with a one-line `error` for an unknown option, a missing FILE, two kinds of scan at once (a mode
// option with another or with PATHs), or nothing to scan.
bool ParseScanOptions(const std::vector<std::wstring>& args, ScanOptions& options, std::wstring& error);

extern const wchar_t* const kScanUsage;
