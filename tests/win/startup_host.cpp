// veludisk.exe's start-up sequence with a scripted risk answer, for the tests that run several instances:
// VELUDISK_TEST_RISK_ANSWER=no declines the risk statement; VELUDISK_TEST_MARKER_DIR receives "ran-<pid>"
// when the main window runs. Everything else is the product's own code.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "Doubles.h"
#include "app/Globals.h"
#include "app/MainWindow.h"
#include "app/Startup.h"
#include "scan/DriveSystemWin.h"

namespace {

std::wstring Env(const wchar_t* name) {
    wchar_t value[MAX_PATH] = {};
    return ::GetEnvironmentVariableW(name, value, MAX_PATH) ? value : L"";
}

class EnvPrompter final : public Prompter {
public:
    int Ask(const PromptRequest&) override { return Env(L"VELUDISK_TEST_RISK_ANSWER") == L"no" ? IDNO : IDYES; }
};

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    static EnvPrompter prompter;
    static RecordingLauncher launcher;
    static RecordingRestarter restarter;
    static PendingScanSteps steps;
    static WindowsDriveSystem drives;
    std::vector<std::wstring> args(__wargv, __wargv + __argc);
    StartupServices services{prompter, [](int show) {
                                 const std::wstring marker = Env(L"VELUDISK_TEST_MARKER_DIR");
                                 if (!marker.empty()) {
                                     const std::wstring path = marker + L"\\ran-" + std::to_wstring(::GetCurrentProcessId());
                                     ::CloseHandle(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
                                 }
                                 CMainDlg window(MainWindowServices{steps, drives, ControllerSeams{prompter, launcher, restarter}});
                                 if (!window.Create(DirectoryList)) return 0;
                                 return window.RunMessageLoop(show);
                             }};
    return RunStartup(args, SW_SHOWNORMAL, services);
}
