#pragma once
// Process start: command line, risk statement, single instance, and the start-up services the main window
// calls during its initialisation.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "util/Seams.h"
#include "util/WindowsVersion.h"

constexpr const wchar_t* kSingleInstanceSection = L"ca66479c-2c3d-4567-992c-0d03a37a22b7";
constexpr const wchar_t* kRestoreEventName = L"vusbcleaner_restore_event";
constexpr const wchar_t* kProductKey = L"SOFTWARE\\Velmora\\Veludisk";
extern const wchar_t kRiskStatementCaption[];
extern const wchar_t kRiskStatementText[];

struct StartupServices {
    Prompter& prompter;
    // Runs the main window and its message loop with the show command; returns the loop's exit code.
    std::function<int(int showCommand)> runMainWindow;
};

// The whole start-up sequence; returns the process's exit code.
int RunStartup(const std::vector<std::wstring>& args, int showCommand, StartupServices& services);

// The update hand-over of "/u": ends only a process whose image is this program's own file or the "_bak"
// copy the updater leaves, then tells the user and deletes the "_bak" file. Returns the parsed answer (1 when
// the option list ran to its end).
int UpdateHandOver(const CommandLineOptions& options, Prompter& prompter);

// First instance: true. A second one restores the first's window (unless silent) and answers false.
bool CheckSingleInstance(bool silent);
void CloseSingleInstance();
bool PublishMainWindow(HWND window);

int DetectEdition();
int RecordInstall(int edition);
