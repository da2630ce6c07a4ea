#pragma once
// The console scanner's command line:
//   velscan [--usb | --system | --all] [--yes] [--report-only] [--json FILE] [--quiet] [PATH ...]
//   velscan --undo [SESSION] [--report-only] [--yes]
//   velscan --sessions
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
    bool undo = false;          // put a session's changes back
    std::wstring undoSession;   // which one; empty for the latest
    bool sessions = false;      // list the sessions
};

// False with a one-line `error` for an unknown option, a missing FILE, two kinds of scan at once (a mode
// option with another or with PATHs), an undo or session list together with a scan, or nothing to do.
bool ParseScanOptions(const std::vector<std::wstring>& args, ScanOptions& options, std::wstring& error);

extern const wchar_t* const kScanUsage;
