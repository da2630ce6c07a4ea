#include <windows.h>
#include <shellapi.h>

#include "util/Privilege.h"
#include "util/Seams.h"

namespace {

class MessageBoxPrompter final : public Prompter {
public:
    int Ask(const PromptRequest& r) override { return ::MessageBoxW(r.owner, r.text, r.caption, r.style | MB_TOPMOST); }
};

class ShellLauncher final : public ProgramLauncher {
public:
    bool RunCommand(const std::string& ansiCommandLine) override {
        return ::WinExec(ansiCommandLine.c_str(), SW_SHOWNORMAL) > 31;
    }
    bool RunHidden(const std::string& ansiCommandLine) override {
        return ::WinExec(ansiCommandLine.c_str(), SW_HIDE) > 31;
    }
    bool OpenWithShell(const std::wstring& target) override {
        return reinterpret_cast<INT_PTR>(::ShellExecuteW(nullptr, L"open", target.c_str(), nullptr, nullptr,
                                                         SW_SHOWNORMAL)) > 32;
    }
};

class WindowsRestarter final : public SystemRestarter {
public:
    bool ForceRestart() override {
        EnablePrivilege(L"SeShutdownPrivilege");
        return ::ExitWindowsEx(EWX_REBOOT | EWX_FORCE, 0) != 0;
    }
};

}  // namespace

Prompter& RealPrompter() {
    static MessageBoxPrompter p;
    return p;
}
ProgramLauncher& RealProgramLauncher() {
    static ShellLauncher l;
    return l;
}
SystemRestarter& RealSystemRestarter() {
    static WindowsRestarter r;
    return r;
}
