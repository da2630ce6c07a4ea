#pragma once
// The program's command line: "/s", "/noone", "/u <pid>", "/sdir <dirs>", "/f", "/usb", "/a".
#include <string>
#include <vector>

// Longest "/sdir" value taken; a longer one is refused rather than cut into a different path.
constexpr std::size_t kSdirValueMax = 259;

struct StartupScanRequest {
    bool full = false;       // "/f": scan mode 0
    bool removable = false;  // "/usb": scan mode 4
    bool all = false;        // "/a": scan mode 1
    bool directories = false;  // "/sdir": scan mode 5
};

struct CommandLineOptions {
    bool silent = false;
    bool noOne = false;
    StartupScanRequest request;
    std::vector<std::wstring> directories;
    // The update hand-over: the process ids to end, in order, and what the hand-over answers (1 when it ran
    // to the end, 0 when it stopped at an id of 0 or 4 or did not run).
    std::vector<long> handOverIds;
    int handOverResult = 0;
};

// args[0] is the program path and is never examined. Options compare case-sensitively, as whole arguments.
CommandLineOptions ParseCommandLine(const std::vector<std::wstring>& args);

// 0 integrated edition (the program file is named "velusbkill.exe"), 1 standalone.
int EditionFromPath(const std::wstring& programPath);

// 1 Windows XP, 2 Vista, 3 Windows 7, 0 anything else; only the NT platform (2) counts.
int WindowsVersionClassOf(unsigned platformId, unsigned major, unsigned minor);
