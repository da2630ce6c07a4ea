#pragma once
// What the program does to the person and the machine beyond files: questions, starting other programs,
// restarting Windows. The program binds the real ones; tests bind recording doubles, so no test ever waits
// on a message box, opens Explorer or restarts anything.
#include <windows.h>

#include <string>

struct PromptRequest {
    HWND owner = nullptr;  // null: no owner (prompts of worker threads)
    const wchar_t* caption = L"";
    const wchar_t* text = L"";
    UINT style = MB_OK;  // buttons and icon; every prompt is topmost
};

class Prompter {
public:
    virtual ~Prompter() = default;
    virtual int Ask(const PromptRequest& request) = 0;  // IDYES, IDNO, IDOK, ...
};

class ProgramLauncher {
public:
    virtual ~ProgramLauncher() = default;
    // A command line in the ANSI code page, shown normally (Explorer on a drive).
    virtual bool RunCommand(const std::string& ansiCommandLine) = 0;
    // The shell's "open" verb on a document or address.
    virtual bool OpenWithShell(const std::wstring& target) = 0;
    // A command line in the ANSI code page, started hidden and not waited for (the Delphi compiler).
    virtual bool RunHidden(const std::string& ansiCommandLine) = 0;
};

class SystemRestarter {
public:
    virtual ~SystemRestarter() = default;
    virtual bool ForceRestart() = 0;
};

// The real bindings.
Prompter& RealPrompter();
ProgramLauncher& RealProgramLauncher();
SystemRestarter& RealSystemRestarter();
