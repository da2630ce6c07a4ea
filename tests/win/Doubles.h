#pragma once
// Recording stand-ins for the seams: no test shows a message box, starts Explorer or restarts Windows.
#include <windows.h>

#include <deque>
#include <set>
#include <string>
#include <vector>

#include "cleaners/drive/MediaRepair.h"
#include "disposal/Safeguards.h"
#include "util/DriveIdentity.h"
#include "util/Seams.h"
#include "util/WmiBindings.h"

struct AskedPrompt {
    HWND owner;
    std::wstring caption;
    std::wstring text;
    UINT style;
};

class ScriptedPrompter final : public Prompter {
public:
    std::deque<int> answers;  // taken in order; when empty, defaultAnswer
    int defaultAnswer = IDNO;
    std::vector<AskedPrompt> asked;
    int Ask(const PromptRequest& r) override {
        asked.push_back(AskedPrompt{r.owner, r.caption, r.text, r.style});
        if (answers.empty()) return defaultAnswer;
        const int a = answers.front();
        answers.pop_front();
        return a;
    }
};

class RecordingLauncher final : public ProgramLauncher {
public:
    std::vector<std::string> commands;
    std::vector<std::wstring> opened;
    std::vector<std::string> hidden;
    bool RunCommand(const std::string& c) override {
        commands.push_back(c);
        return true;
    }
    bool RunHidden(const std::string& c) override {
        hidden.push_back(c);
        return true;
    }
    bool OpenWithShell(const std::wstring& t) override {
        opened.push_back(t);
        return true;
    }
};

class RecordingRestarter final : public SystemRestarter {
public:
    int restarts = 0;
    bool ForceRestart() override {
        ++restarts;
        return true;
    }
};

// Trusts exactly the files it was told to (Wine would trust any file).
// Windows File Protection for the files a test lists.
class ListedGuard final : public SystemFileGuard {
public:
    bool IsProtected(const wchar_t* path) override { return path && protectedFiles.count(path) != 0; }
    std::set<std::wstring> protectedFiles;
};

class ListedTrust final : public TrustVerifier {
public:
    LONG Verify(const wchar_t* path) override {
        asked.push_back(path ? path : L"");
        for (const auto& t : trusted)
            if (path && t == path) return 0;
        return LONG(TRUST_E_NOSIGNATURE);
    }
    std::vector<std::wstring> trusted;
    std::vector<std::wstring> asked;
};

// A Windows without the media runtime: no media file is examined.
class NoMediaRuntime final : public MediaEditor {
public:
    bool Available() override { return false; }
    bool ReadFirstScript(const wchar_t*, std::wstring&, std::wstring&) override { return false; }
    bool RemoveFirstScript(const wchar_t*) override { return false; }
    bool ReadLicenceInfo(const wchar_t*, std::wstring&) override { return false; }
};

// ATA identify data as a test decides it: none (no rights, no SMART), or the given words.
class NoIdentity final : public DriveIdentity {
public:
    bool IdentifyWords(std::uint16_t*) override { return false; }
};
class FixedIdentity final : public DriveIdentity {
public:
    std::uint16_t words[256] = {};
    bool IdentifyWords(std::uint16_t* out) override {
        for (int i = 0; i < 256; ++i) out[i] = words[i];
        return true;
    }
};

// WMI bindings as a test lists them.
class ListedWmiBindings final : public WmiBindingSource {
public:
    WmiBindingList list;
    DWORD queryThread = 0;
    WmiBindingList Query() override {
        queryThread = ::GetCurrentThreadId();
        return list;
    }
};
