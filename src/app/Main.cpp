// veludisk.exe: the start-up sequence with the real prompts and the main window.
#include <windows.h>

#include <cstdlib>

#include "app/Globals.h"
#include "app/MainWindow.h"
#include "app/Startup.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand) {
    std::vector<std::wstring> args(__wargv, __wargv + __argc);
    StartupServices services{RealPrompter(), [](int show) { return RunMainWindow(show, DirectoryList); }};
    return RunStartup(args, showCommand, services);
}
