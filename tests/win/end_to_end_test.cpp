// velscan.exe and veludisk.exe end to end on the removable test drive U:, as a technician runs them: a
// generated infected stick, a report-only run that changes nothing, a real run that removes what the report
// listed, and a second real run that finds nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <map>
#include <set>

#include "TestSupport.h"
#include "disposal/Digest.h"
#include "disposal/Safeguards.h"
#include "engine/Undo.h"
#include "scan/ScanReport.h"
#include "util/FolderListing.h"
#include "util/ProgramPath.h"
#include "util/WinHandle.h"
#include "cleaners/system/BootRecordCore.h"
#include "cleaners/system/DerivedNames.h"
#include "cleaners/system/SystemPlaces.h"
#include "engine/LiveEffects.h"
#include "support/BootWindows.h"
#include "util/DriveIdentity.h"
#include "util/Wow64.h"

#include <shlwapi.h>

#include <tlhelp32.h>

namespace {

std::wstring Build() { return ProgramFolder() + L"\\..\\.."; }

struct ScanRun {
    DWORD exitCode = 0xFFFF;
    std::string json;
};

ScanRun Velscan(const std::wstring& args, const std::wstring& json) {
    ScanRun run;
    ::DeleteFileW(json.c_str());
    ChildProcess child = StartProcess(Build() + L"\\src\\velscan.exe", args + L" --quiet --json " + json);
    EXPECT_TRUE(child.process);
    if (!child.process) return run;
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(child.process.Get(), 120000));
    ::GetExitCodeProcess(child.process.Get(), &run.exitCode);
    run.json = ReadText(json);
    return run;
}

// Every entry under `root` with its attributes and content digest: what "changes nothing" compares.
void Snapshot(const std::wstring& root, const std::wstring& relative, std::map<std::wstring, std::string>& out) {
    WIN32_FIND_DATAW data;
    FindHandle find(::FindFirstFileW((L"\\\\?\\" + root + relative + L"\\*").c_str(), &data));
    if (!find) return;
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring rel = relative + L"\\" + name;
        std::string state = std::to_string(data.dwFileAttributes & ~FILE_ATTRIBUTE_ARCHIVE);
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            Snapshot(root, rel, out);
        } else {
            const auto bytes = ReadBytes(L"\\\\?\\" + root + rel);
            state += ":" + std::to_string(Crc32(0, bytes.data(), bytes.size())) + ":" + std::to_string(bytes.size());
        }
        out[rel] = state;
    } while (::FindNextFileW(find.Get(), &data));
}

// The registry values a scan may write: the boot-time deletion list, the pending renames, the media player's
// preference and the "load" hook.
std::vector<std::string> RegistryState() {
    struct Value {
        HKEY root;
        const wchar_t* key;
        const wchar_t* name;
    } values[] = {
        {HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Velmora\\KelvarnBox", L"KelvarnFilePath"},
        {HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager", L"PendingFileRenameOperations"},
        {HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows", L"load"},
        {HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Services\\bc", L"ImagePath"},
    };
    std::vector<std::string> state;
    for (const auto& v : values) {
        RegKey key;
        std::string text = "absent";
        if (::RegOpenKeyExW(v.root, v.key, 0, KEY_READ, key.Put()) == ERROR_SUCCESS) {
            std::vector<BYTE> data(65536);
            DWORD size = DWORD(data.size()), type = 0;
            text = ::RegQueryValueExW(key.Get(), v.name, nullptr, &type, data.data(), &size) == ERROR_SUCCESS
                       ? std::to_string(type) + ":" + std::string(data.begin(), data.begin() + size)
                       : "no value";
        }
        state.push_back(text);
    }
    return state;
}

std::vector<unsigned char> operator+(std::vector<unsigned char> a, const std::string& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// One harmless specimen of each family the drive scan knows, in the root of U:.
void MakeInfectedStick(const std::wstring& root) {
    const auto program = ReadBytes(ProgramFolder() + L"\\startup_probe.exe");
    const auto folderIcon = ReadBytes(ProgramFolder() + L"\\folder_icon_program.exe");
    ASSERT_TRUE(WriteBytes(root + L"autorun.inf", std::string("[AutoRun]\r\nopen=setup.exe\r\n")));
    ASSERT_TRUE(WriteBytes(root + L"setup.exe", program + "autorun worm"));
    ASSERT_TRUE(WriteBytes(root + L"Recycled.exe", program + "recycled worm"));
    ASSERT_TRUE(::CreateDirectoryW((root + L"作业").c_str(), nullptr));
    ASSERT_TRUE(::SetFileAttributesW((root + L"作业").c_str(), FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(WriteBytes(root + L"作业.exe", folderIcon));
    ASSERT_TRUE(WriteBytes(root + L"作业\\listed.dat", BytesWithCrc(3004, kListedCrc, 1)));
    ASSERT_TRUE(WriteBytes(root + L"作业\\论文.doc", PatternBytes(4000, 2)));
    ASSERT_TRUE(::SetFileAttributesW((root + L"作业\\论文.doc").c_str(), FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(WriteBytes(root + L"作业\\photos.exe", folderIcon));
    ASSERT_TRUE(WriteBytes(root + L"作业\\run.vbs", std::vector<unsigned char>(2000, ' ') +
                                                       "\nExecute x\nucase(hex(int(rnd*24000+40960))"));
    ASSERT_TRUE(WriteBytes(root + L"作业\\report.doc.exe", ReadBytes(ProgramFolder() + L"\\doc_infector.exe")));
    // An archive dropper carrying a document, and a shortcut worm beside the hidden folder it pretends to be.
    ASSERT_TRUE(::CreateDirectoryW((root + L"资料").c_str(), nullptr));
    std::vector<unsigned char> dropper = folderIcon + "KillVirus.TXT SOLA exefile\\shell\\";
    const auto rar = ReadBytes(ProgramFolder() + L"\\fixtures\\archives\\document.rar");
    dropper.insert(dropper.end(), rar.begin(), rar.end());
    ASSERT_TRUE(WriteBytes(root + L"资料\\季度报告.exe", dropper));
    ASSERT_TRUE(::CreateDirectoryW((root + L"照片").c_str(), nullptr));
    ASSERT_TRUE(::SetFileAttributesW((root + L"照片").c_str(), FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(WriteBytes(root + L"照片\\worm.vbs", std::string(1500, ' ') + "\r\nWScript.Echo 1\r\n"));
    ASSERT_TRUE(MakeShortcut(root + L"照片.lnk", root + L"照片\\worm.vbs"));
}

void ClearDrive(const std::wstring& root) {
    WIN32_FIND_DATAW data;
    std::vector<std::wstring> names;
    FindHandle find(::FindFirstFileW((root + L"*").c_str(), &data));
    if (find) do {
            const std::wstring name = data.cFileName;
            if (name != L"." && name != L"..") names.push_back(name);
        } while (::FindNextFileW(find.Get(), &data));
    find.Reset();
    for (const auto& name : names) {
        const std::wstring path = root + name;
        ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (::GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY) {
            RemoveTree(path);
        } else {
            ::DeleteFileW(path.c_str());
        }
    }
}

std::vector<std::string> FindingPaths(const std::string& json) {
    std::vector<std::string> paths;
    for (std::size_t at = json.find("\"path\": \""); at != std::string::npos; at = json.find("\"path\": \"", at + 1)) {
        const std::size_t start = at + 9;
        paths.push_back(json.substr(start, json.find("\", ", start) - start));
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

TEST(Velscan, ReportOnlyChangesNothingThenTheRealRunCleansAndASecondFindsNothing) {
    const std::wstring root = L"U:\\";
    ClearDrive(root);
    MakeInfectedStick(root);
    const std::wstring json = L"T:\\velscan-report.json";

    std::map<std::wstring, std::string> before, after;
    Snapshot(L"U:", L"", before);
    const auto registryBefore = RegistryState();
    const std::wstring log = Build() + L"\\src\\Cleaner.log";
    ::DeleteFileW(log.c_str());
    const ScanRun preview = Velscan(L"--usb --yes --report-only", json);
    Snapshot(L"U:", L"", after);
    EXPECT_EQ(1u, preview.exitCode);
    EXPECT_EQ(before, after) << "report-only changed the stick";
    EXPECT_EQ(registryBefore, RegistryState()) << "report-only changed the registry";
    EXPECT_NE(std::string::npos, preview.json.find("\"reportOnly\": true"));
    EXPECT_FALSE(FileExists(log)) << "not even a log line";

    const ScanRun clean = Velscan(L"--usb --yes", json);
    EXPECT_EQ(1u, clean.exitCode);
    // The same files, each once in the real run. (A report-only run still meets a file it only pretended to
    // delete again in a later pass, under another threat type or drive-letter spelling.)
    const auto files = [](const std::vector<std::string>& paths) {
        std::set<std::string> out;
        for (std::string p : paths) {
            std::transform(p.begin(), p.end(), p.begin(), [](char c) { return char(::tolower(c)); });
            out.insert(p);
        }
        return out;
    };
    const auto listed = FindingPaths(preview.json), removed = FindingPaths(clean.json);
    EXPECT_EQ(files(listed), files(removed)) << preview.json << "\n---\n" << clean.json;
    EXPECT_EQ(files(removed).size(), removed.size()) << clean.json;
    for (const char* expected : {"recycled.exe", "listed.dat", "photos.exe", "run.vbs", "report.doc.exe", "autorun.inf",
                                 "setup.exe", "\xe7\x85\xa7\xe7\x89\x87.lnk"}) {
        std::string lower = clean.json;
        std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) { return char(::tolower(c)); });
        EXPECT_NE(std::string::npos, lower.find(expected)) << expected << "\n" << clean.json;
    }
    // The program "autorun.inf" names is unsigned: it goes with it.
    EXPECT_FALSE(FileExists(root + L"setup.exe"));
    EXPECT_FALSE(FileExists(root + L"作业.exe"));
    EXPECT_TRUE(FileExists(root + L"作业\\report.doc")) << "the carried document came back";
    EXPECT_EQ(0u, ::GetFileAttributesW((root + L"作业").c_str()) & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(0u, ::GetFileAttributesW((root + L"作业\\论文.doc").c_str()) & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW((root + L"autorun.inf\\此资料夹为免疫资料夹").c_str()));
    EXPECT_EQ("Quarterly report\r\n", ReadText(root + L"资料\\report.doc")) << "the archive's document came back";
    EXPECT_FALSE(FileExists(root + L"资料\\季度报告.exe"));
    EXPECT_FALSE(FileExists(root + L"照片\\worm.vbs")) << "the shortcut's target";
    EXPECT_FALSE(FileExists(root + L"照片.lnk")) << "the shortcut worm";
    EXPECT_EQ(0u, ::GetFileAttributesW((root + L"照片").c_str()) & FILE_ATTRIBUTE_HIDDEN) << "its folder shown again";
    EXPECT_NE(std::string::npos, clean.json.find("\"Immunized\": 1"));

    Snapshot(L"U:", L"", before);
    const ScanRun again = Velscan(L"--usb --yes", json);
    Snapshot(L"U:", L"", after);
    EXPECT_EQ(0u, again.exitCode) << again.json;
    EXPECT_NE(std::string::npos, again.json.find("\"findings\": []"));
    // The walk makes the immunization folder visible after the root pass hid it again: nothing else moves.
    for (auto* snapshot : {&before, &after}) snapshot->erase(L"\\autorun.inf");
    EXPECT_EQ(before, after);
    ClearDrive(root);
    ::DeleteFileW(json.c_str());
}

// The "changes" array of a JSON report, as written.
std::string ChangesOf(const std::string& json) {
    const std::size_t at = json.find("\"changes\": [");
    return at == std::string::npos ? std::string("(none)") : json.substr(at);
}

DWORD RunVelscanPlain(const std::wstring& args, std::string* output = nullptr) {
    const std::wstring out = L"T:\\velscan-output.txt";
    ::DeleteFileW(out.c_str());
    ChildProcess child = StartProcess(L"C:\\windows\\system32\\cmd.exe",
                                      L"/c \"" + Build() + L"\\src\\velscan.exe\" " + args + L" > " + out);
    EXPECT_TRUE(child.process);
    if (!child.process) return 0xFFFF;
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(child.process.Get(), 120000));
    DWORD code = 0xFFFF;
    ::GetExitCodeProcess(child.process.Get(), &code);
    if (output) *output = ReadText(out);
    ::DeleteFileW(out.c_str());
    return code;
}

// What a report-only run plans is, entry for entry, what the real run then does and journals; and --undo
// gives every file, folder name, attribute and registry value the run changed back as it was.
TEST(Velscan, PlanIsTheJournalAndUndoGivesEverythingBack) {
    const std::wstring root = L"U:\\";
    ClearDrive(root);
    MakeInfectedStick(root);
    const std::wstring json = L"T:\\velscan-report.json";
    std::map<std::wstring, std::string> before, after;
    Snapshot(L"U:", L"", before);
    const auto registryBefore = RegistryState();

    const ScanRun plan = Velscan(L"--usb --yes --report-only", json);
    const ScanRun real = Velscan(L"--usb --yes", json);
    ASSERT_EQ(1u, real.exitCode);
    EXPECT_EQ(ChangesOf(plan.json), ChangesOf(real.json)) << "the plan and the run differ";
    EXPECT_NE(std::string::npos, real.json.find("\"kind\": \"delete-file\""));
    EXPECT_NE(std::string::npos, real.json.find("\"kind\": \"create-folder\""));
    // The journal on the disk holds the same changes.
    const std::vector<SessionInfo> sessions = ListSessions(Build() + L"\\src\\BackFiles\\");
    ASSERT_FALSE(sessions.empty());
    const SessionInfo& session = sessions.back();
    EXPECT_FALSE(session.journal.cutOff);
    EXPECT_EQ(ChangesOf(real.json), ChangesOf(FormatJsonReport("", 4, false, ScanStats(), {}, session.journal.entries)));

    std::string report;
    EXPECT_EQ(0u, RunVelscanPlain(L"--undo --report-only", &report)) << report;
    Snapshot(L"U:", L"", after);
    EXPECT_NE(before, after) << "a planned undo changes nothing";
    EXPECT_EQ(0u, RunVelscanPlain(L"--undo " + session.name, &report)) << report;
    after.clear();
    Snapshot(L"U:", L"", after);
    EXPECT_EQ(before, after) << report;
    EXPECT_EQ(registryBefore, RegistryState());
    EXPECT_EQ(2u, RunVelscanPlain(L"--undo " + session.name, &report)) << "undone once only\n" << report;
    EXPECT_EQ(2u, RunVelscanPlain(L"--undo no-such-session")) << "a bad session";
    ClearDrive(root);
    ::DeleteFileW(json.c_str());
}

// After an undo, a file that has come back at its old place meanwhile is not overwritten: the kept copy
// takes a free name beside it.
TEST(Velscan, UndoNeverOverwritesAFileThatCameBack) {
    const std::wstring root = L"U:\\";
    ClearDrive(root);
    MakeInfectedStick(root);
    const std::wstring json = L"T:\\velscan-report.json";
    const auto setup = ReadBytes(root + L"setup.exe");
    ASSERT_EQ(1u, Velscan(L"--usb --yes", json).exitCode);
    ASSERT_FALSE(FileExists(root + L"setup.exe"));
    ASSERT_TRUE(WriteBytes(root + L"setup.exe", std::string("the user's new file")));
    std::string report;
    EXPECT_EQ(0u, RunVelscanPlain(L"--undo", &report)) << report;
    EXPECT_EQ("the user's new file", ReadText(root + L"setup.exe"));
    EXPECT_EQ(setup, ReadBytes(root + L"setup\uff08\u6062\u590d\uff09.exe")) << report;  // setup（恢复）.exe
    EXPECT_NE(std::string::npos, report.find("setup")) << report;
    ClearDrive(root);
    ::DeleteFileW(json.c_str());
}

// A signed program that "autorun.inf" names is the user's own: the worm's "autorun.inf" goes, the program stays.
TEST(Velscan, SignedProgramNamedByAutorunStays) {
    const std::wstring root = L"U:\\";
    ClearDrive(root);
    auto program = ReadBytes(ProgramFolder() + L"\\startup_probe.exe");
    program.insert(program.end(), kTestSignature, kTestSignature + sizeof kTestSignature - 1);
    ASSERT_TRUE(WriteBytes(root + L"autorun.inf", std::string("[AutoRun]\r\nopen=tool.exe\r\n")));
    ASSERT_TRUE(WriteBytes(root + L"tool.exe", program));
    const std::wstring json = L"T:\\velscan-signed.json";
    const ScanRun run = Velscan(L"--usb --yes", json);
    EXPECT_EQ(1u, run.exitCode) << run.json;
    EXPECT_EQ(program, ReadBytes(root + L"tool.exe"));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW((root + L"autorun.inf\\此资料夹为免疫资料夹").c_str()))
        << "the worm's file replaced by the immunization folder";
    EXPECT_EQ(std::vector<std::string>{"U:\\\\autorun.inf"}, FindingPaths(run.json)) << run.json;
    ClearDrive(root);
    ::DeleteFileW(json.c_str());
}

TEST(Velscan, ExitCodesAndUsage) {
    const std::wstring json = L"T:\\velscan-usage.json";
    EXPECT_EQ(2u, Velscan(L"--no-such-option", json).exitCode);
    EXPECT_EQ(2u, Velscan(L"", json).exitCode) << "nothing to scan";
    ScratchDir clean(L"T:");
    ::CreateDirectoryW((clean / L"sub").c_str(), nullptr);
    ASSERT_TRUE(WriteBytes(clean / L"sub\\note.txt", PatternBytes(3000, 1)));
    const ScanRun run = Velscan(clean.Path(), json);
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_NE(std::string::npos, run.json.find("\"FilesExamined\": 1"));
    ::DeleteFileW(json.c_str());
}

// Findings as "path|outcome|type" from velscan's JSON report.
std::set<std::string> JsonFindings(const std::string& json) {
    std::set<std::string> out;
    const auto field = [&](std::size_t from, const char* name) {
        const std::string key = std::string("\"") + name + "\": ";
        std::size_t at = json.find(key, from) + key.size();
        if (json[at] == '"') ++at;
        return json.substr(at, json.find_first_of("\",}", at) - at);
    };
    for (std::size_t at = json.find("{\"path\""); at != std::string::npos; at = json.find("{\"path\"", at + 1))
        out.insert(field(at, "path") + "|" + field(at, "outcome") + "|" + field(at, "threatType"));
    std::set<std::string> unescaped;  // paths are the only items with escapes, and only "\\\\" among them
    for (std::string f : out) {
        for (std::size_t at = f.find("\\\\"); at != std::string::npos; at = f.find("\\\\", at + 1)) f.erase(at, 1);
        unescaped.insert(f);
    }
    return unescaped;
}

// Findings as "path|outcome|type" from the activity log (ANSI text, items separated by ",,").
std::set<std::string> LogFindings(const std::wstring& log) {
    std::set<std::string> out;
    const std::string ansi = ReadText(log);
    std::wstring text(ansi.size(), L'\0');
    text.resize(::MultiByteToWideChar(CP_ACP, 0, ansi.data(), int(ansi.size()), &text[0], int(text.size())));
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(L"\r\n", start);
        if (end == std::wstring::npos) end = text.size();
        std::vector<std::wstring> items;
        for (std::size_t at = start;;) {
            const std::size_t next = text.find(L",,", at);
            if (next == std::wstring::npos || next >= end) {
                items.push_back(text.substr(at, end - at));
                break;
            }
            items.push_back(text.substr(at, next - at));
            at = next + 2;
        }
        if (items.size() == 6) out.insert(ToUtf8(items[1]) + "|" + ToUtf8(items[2]) + "|" + ToUtf8(items[3]));
        start = end + 2;
    }
    return out;
}

std::set<DWORD> ProcessIds(const wchar_t* image) {
    std::set<DWORD> ids;
    FileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    if (snapshot && ::Process32FirstW(snapshot.Get(), &entry)) do {
            if (::lstrcmpiW(entry.szExeFile, image) == 0) ids.insert(entry.th32ProcessID);
        } while (::Process32NextW(snapshot.Get(), &entry));
    return ids;
}

struct WindowRun {
    bool ended = false;
    DWORD exitCode = 0xFFFF;
    std::vector<std::wstring> otherQuestions;  // captions of every message box other than the risk statement
};

struct DialogScan {
    DWORD pid;
    std::set<HWND>* answered;
    WindowRun* run;
};

// One message box of the program: Yes to the risk statement, the answer that changes least to anything else.
BOOL CALLBACK AnswerDialog(HWND hwnd, LPARAM param) {
    auto& scan = *reinterpret_cast<DialogScan*>(param);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    wchar_t cls[32] = {}, caption[128] = {};
    ::GetClassNameW(hwnd, cls, 32);
    if (pid != scan.pid || std::wstring(cls) != L"#32770" || !::IsWindowVisible(hwnd) || scan.answered->count(hwnd))
        return TRUE;
    ::GetWindowTextW(hwnd, caption, 128);
    WORD answer = IDOK;
    if (std::wstring(caption) == L"风险声明") {
        answer = IDYES;
    } else {
        scan.run->otherQuestions.push_back(caption);
        if (::GetDlgItem(hwnd, IDNO)) answer = IDNO;
    }
    scan.answered->insert(hwnd);
    ::PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), 0);
    return TRUE;
}

// veludisk.exe with `args`, its message boxes answered as above; the Explorer windows it opens are closed
// afterwards so that no process of the run outlives the test.
WindowRun RunVeludisk(const std::wstring& args) {
    WindowRun run;
    const auto explorersBefore = ProcessIds(L"explorer.exe");
    ChildProcess child = StartProcess(Build() + L"\\src\\veludisk.exe", args);
    EXPECT_TRUE(child.process);
    if (!child.process) return run;
    std::set<HWND> answered;
    DialogScan scan{child.pid, &answered, &run};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while (!(run.ended = ::WaitForSingleObject(child.process.Get(), 100) == WAIT_OBJECT_0) &&
           std::chrono::steady_clock::now() < deadline)
        ::EnumWindows(&AnswerDialog, reinterpret_cast<LPARAM>(&scan));
    if (!run.ended) ::TerminateProcess(child.process.Get(), 99);
    ::GetExitCodeProcess(child.process.Get(), &run.exitCode);
    for (DWORD pid : ProcessIds(L"explorer.exe")) {
        if (explorersBefore.count(pid)) continue;
        KernelHandle explorer(::OpenProcess(PROCESS_TERMINATE, FALSE, pid));
        if (explorer) ::TerminateProcess(explorer.Get(), 0);
    }
    return run;
}

// The window program started silently on a removable-drive scan does what velscan does on the same stick,
// writes one log line per finding, closes by itself, and finds nothing on the stick it cleaned.
TEST(VeludiskSilent, CleansTheStickAsVelscanDoesAndASecondRunFindsNothing) {
    const std::wstring root = L"U:\\", json = L"T:\\veludisk-compare.json";
    const std::wstring log = Build() + L"\\src\\Cleaner.log";
    ClearDrive(root);
    MakeInfectedStick(root);
    const ScanRun reference = Velscan(L"--usb --yes", json);
    std::map<std::wstring, std::string> byVelscan, byVeludisk;
    Snapshot(L"U:", L"", byVelscan);

    ClearDrive(root);
    MakeInfectedStick(root);
    ::DeleteFileW(log.c_str());
    WindowRun run = RunVeludisk(L"/s /usb");
    ASSERT_TRUE(run.ended) << "the silent window did not close by itself";
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_TRUE(run.otherQuestions.empty()) << "asked " << ToUtf8(run.otherQuestions.front());
    Snapshot(L"U:", L"", byVeludisk);
    {
        // A shell link records its target's times, which differ between the two generated sticks.
        auto left = byVelscan, right = byVeludisk;
        for (auto* snapshot : {&left, &right}) (*snapshot)[L"\\照片.lnk"].resize(1);
        EXPECT_EQ(left, right);
    }
    const auto found = LogFindings(log);
    EXPECT_EQ(JsonFindings(reference.json), found) << reference.json << "\n---\n" << ReadText(log);
    EXPECT_GE(found.size(), 6u);
    // The window keeps its counters to itself; its log lines by outcome add up to velscan's counters.
    const auto outcomes = [&](const char* outcome) {
        return std::count_if(found.begin(), found.end(), [&](const std::string& f) {
            return f.find(std::string("|") + outcome + "|") != std::string::npos;
        });
    };
    const auto counter = [&](const char* name) {
        const std::string key = std::string("\"") + name + "\": ";
        const std::size_t at = reference.json.find(key);
        return at == std::string::npos ? -1L : std::atol(reference.json.c_str() + at + key.size());
    };
    EXPECT_EQ(counter("Deleted"), long(outcomes("删除成功")));
    EXPECT_EQ(counter("RebootPending"), long(outcomes("重启删除")));
    EXPECT_EQ(counter("ThreatsFound"), long(outcomes("删除成功") + outcomes("重启删除")));
    EXPECT_FALSE(FileExists(root + L"作业.exe"));
    EXPECT_EQ("Quarterly report\r\n", ReadText(root + L"资料\\report.doc"));

    // The second run: nothing found, so the log that held no line is removed at exit; the stick stays.
    ::DeleteFileW(log.c_str());
    run = RunVeludisk(L"/s /usb");
    ASSERT_TRUE(run.ended);
    std::map<std::wstring, std::string> again;
    Snapshot(L"U:", L"", again);
    for (auto* snapshot : {&byVeludisk, &again}) snapshot->erase(L"\\autorun.inf");
    EXPECT_EQ(byVeludisk, again);
    EXPECT_TRUE(LogFindings(log).empty()) << ReadText(log);
    ClearDrive(root);
    ::DeleteFileW(json.c_str());
}

// A silent run always ends, also when its scan examines nothing: no hidden instance is left behind.
TEST(VeludiskSilent, EndsEvenWhenNothingIsScanned) {
    const WindowRun run = RunVeludisk(L"/s /sdir T:\\no-such-folder");
    EXPECT_TRUE(run.ended) << "the silent window stayed";
    EXPECT_TRUE(run.otherQuestions.empty());
}

}  // namespace

// Run by tests/wine/folder-link.sh, which first makes "U:\\linked" a symbolic link to the folder
// "C:\\hostile-target" (Wine shows it as a folder that is a reparse point, as Windows shows a junction). A stick
// is hostile: what it links or points to off the stick is never changed, and the worm's own files still go.
TEST(HostileStick, NothingOffTheStickIsTouched) {
    const std::wstring root = L"U:\\", target = L"C:\\hostile-target";
    ASSERT_TRUE(IsFolderLink(root + L"linked")) << "run through tests/wine/folder-link.sh";
    // Behind the link: a hidden folder with a folder-icon program beside it, and a hidden document.
    const auto folderIcon = ReadBytes(ProgramFolder() + L"\\folder_icon_program.exe");
    ASSERT_TRUE(::CreateDirectoryW((target + L"\\相册").c_str(), nullptr));
    ASSERT_TRUE(::SetFileAttributesW((target + L"\\相册").c_str(), FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(WriteBytes(target + L"\\相册.exe", folderIcon));
    ASSERT_TRUE(WriteBytes(target + L"\\notes.txt", std::string("the user's own notes\r\n")));
    ASSERT_TRUE(::SetFileAttributesW((target + L"\\notes.txt").c_str(), FILE_ATTRIBUTE_HIDDEN));
    // Two shortcut worms: one starts the system's own command interpreter, one a worm program on the stick.
    const std::wstring cmd = WindowsFolder() + L"\\system32\\cmd.exe";
    const auto cmdBefore = ReadBytes(cmd);
    ASSERT_FALSE(cmdBefore.empty());
    for (const wchar_t* folder : {L"photos", L"music"}) {
        ASSERT_TRUE(::CreateDirectoryW((root + folder).c_str(), nullptr));
        ASSERT_TRUE(::SetFileAttributesW((root + folder).c_str(), FILE_ATTRIBUTE_HIDDEN));
    }
    ASSERT_TRUE(WriteBytes(root + L"photos\\holiday.jpg", PatternBytes(3000, 5)));
    ASSERT_TRUE(MakeShortcut(root + L"photos.lnk", cmd));
    ASSERT_TRUE(WriteBytes(root + L"music\\player.exe", ReadBytes(ProgramFolder() + L"\\startup_probe.exe") + "worm"));
    ASSERT_TRUE(MakeShortcut(root + L"music.lnk", root + L"music\\player.exe"));

    std::map<std::wstring, std::string> before, after;
    Snapshot(target, L"", before);
    const std::wstring json = L"T:\\velscan-hostile.json";
    const ScanRun plan = Velscan(L"--usb --yes --report-only", json);
    const ScanRun run = Velscan(L"--usb --yes", json);
    EXPECT_EQ(ChangesOf(plan.json), ChangesOf(run.json)) << "the plan and the run differ";
    Snapshot(target, L"", after);
    EXPECT_EQ(1u, run.exitCode) << run.json;
    EXPECT_EQ(before, after) << "the folder the link leads to changed";
    EXPECT_EQ(cmdBefore, ReadBytes(cmd)) << "the system's command interpreter changed";
    for (std::string path : FindingPaths(run.json)) {
        std::transform(path.begin(), path.end(), path.begin(), [](char c) { return char(::tolower(c)); });
        EXPECT_EQ(0u, path.find("u:")) << "a finding off the stick: " << path;
        EXPECT_EQ(std::string::npos, path.find("linked")) << "a finding through the link: " << path;
    }
    EXPECT_TRUE(IsFolderLink(root + L"linked")) << "the link itself is left as it is";
    EXPECT_FALSE(FileExists(root + L"music\\player.exe")) << "the worm program on the stick";
    EXPECT_FALSE(FileExists(root + L"photos.lnk"));
    EXPECT_FALSE(FileExists(root + L"music.lnk"));
    EXPECT_TRUE(FileExists(root + L"photos\\holiday.jpg"));
    for (const wchar_t* folder : {L"photos", L"music"})
        EXPECT_EQ(0u, ::GetFileAttributesW((root + folder).c_str()) & FILE_ATTRIBUTE_HIDDEN) << folder;
    ::DeleteFileW(json.c_str());
}

// --- A system scan in the test prefix: the resident residue of the derived-name family, the service keys of
// the earlier drivers, the program's old log, and a variant-1 bootkit on the prefix's own first disk.

class SystemResidue {
public:
    SystemResidue() {
        std::uint16_t words[256] = {};
        names = DeriveNames(RealDriveIdentity().IdentifyWords(words) ? DriveIdStringOf(words) : std::string());
        const std::wstring e(names.e.begin(), names.e.end());
        a.assign(names.a.begin(), names.a.end());
        xpE = L"xp-" + e;
        main = SystemFolder() + L"\\" + xpE + L".exe";
        const SystemPlaces places = RealSystemPlaces();
        oldLog = places.programFiles + L"\\Velmora\\VelUdisk\\velVirlog.ini";
        profileLink = places.userProfile + L"\\「开始」菜单\\程序\\启动\\" + a + L".lnk";
    }
    void Plant() {
        Remove();
        ASSERT_TRUE(WriteBytes(main, std::string("stand-in for the family's main file")));
        MakeFolders(oldLog.substr(0, oldLog.rfind(L'\\')));
        ASSERT_TRUE(WriteBytes(oldLog, std::string("[log]\r\nold=1\r\n")));
        MakeFolders(profileLink.substr(0, profileLink.rfind(L'\\')));
        ASSERT_TRUE(WriteBytes(profileLink, std::string("shortcut stand-in")));
        RegKey run, service;
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kRun, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, run.Put(), nullptr));
        for (const std::wstring& name : {a, xpE})
            ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExW(run.Get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(main.c_str()),
                                                      DWORD((main.size() + 1) * sizeof(wchar_t))));
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kService, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                                   service.Put(), nullptr));
        const DWORD start = 1;
        ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExW(service.Get(), L"Start", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&start), 4));
    }
    // What is there of it, as text: equal before the scan and after the undo.
    std::string State() const {
        std::string s;
        for (const std::wstring& f : {main, oldLog, profileLink}) s += IsPlainFile(f) ? Hex(ReadText(f)) + ";" : "-;";
        for (const std::wstring& name : {a, xpE}) {
            DWORD type = 0;
            std::vector<std::uint8_t> data;
            s += ReadRegistryValue(HKEY_LOCAL_MACHINE, kRun, name, type, data) == ERROR_SUCCESS ? "value;" : "-;";
        }
        DWORD type = 0;
        std::vector<std::uint8_t> data;
        s += ReadRegistryValue(HKEY_LOCAL_MACHINE, kService, L"Start", type, data) == ERROR_SUCCESS ? "service;" : "-;";
        return s;
    }
    void Remove() {
        // The scan immunized the family's names in the system folder, "B\A.exe" and "G\F.exe" making those two
        // folders; on 64-bit Windows in the real system folder too.
        const auto immunized = [&] {
            for (const std::string& folder : {names.b, names.g})
                RemoveTree(SystemFolder() + L"\\" + std::wstring(folder.begin(), folder.end()));
            if (!IsPlainFile(main)) RemoveTree(main);
        };
        immunized();
        if (RunningUnderWow64()) {
            Wow64RedirectionOff off;
            if (off.Active()) immunized();
        }
        for (const std::wstring& f : {main, oldLog, profileLink}) {
            if (IsPlainFile(f)) ::DeleteFileW(f.c_str());
            else RemoveTree(f);  // the immunization folder a scan put there
        }
        RegKey run;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRun, 0, KEY_SET_VALUE, run.Put()) == ERROR_SUCCESS)
            for (const std::wstring& name : {a, xpE}) ::RegDeleteValueW(run.Get(), name.c_str());
        ::SHDeleteKeyW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Services\\qerndrv");
    }
    static bool IsPlainFile(const std::wstring& path) {
        const DWORD at = ::GetFileAttributesW(path.c_str());
        return at != INVALID_FILE_ATTRIBUTES && !(at & FILE_ATTRIBUTE_DIRECTORY);
    }
    static void MakeFolders(const std::wstring& path) {
        for (std::size_t at = path.find(L'\\', 3);; at = path.find(L'\\', at + 1)) {
            ::CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
            if (at == std::wstring::npos) break;
        }
    }
    static constexpr const wchar_t* kRun = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
    static constexpr const wchar_t* kService = L"SYSTEM\\CurrentControlSet\\Services\\qerndrv\\Parameters";
    DerivedNames names;
    std::wstring a, xpE, main, oldLog, profileLink;
};

// The first disk of the prefix, read and written whole (its first 4096 bytes).
std::vector<std::uint8_t> FirstDiskWindow() {
    std::vector<std::uint8_t> w(kDiskWindowSize);
    FileHandle disk(::CreateFileW(kFirstDisk, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!disk || !ReadAt(disk.Get(), 0, w.data(), DWORD(w.size()))) w.clear();
    return w;
}
bool WriteFirstDisk(const std::vector<std::uint8_t>& window) {
    FileHandle disk(::CreateFileW(kFirstDisk, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    return disk && WriteAt(disk.Get(), 0, window.data(), DWORD(window.size()));
}

// Steps of a system scan end to end, run one at a time by tests/wine/system-scan.sh, which starts velscan
// between them: no test program may be running while velscan --system scans the folders of running programs.
// The step is VELUDISK_SYSTEM_STEP; what one step leaves for the next lies on T:.
std::wstring SystemStep() {
    wchar_t step[64] = {};
    return ::GetEnvironmentVariableW(L"VELUDISK_SYSTEM_STEP", step, 64) ? step : L"";
}
const wchar_t kOriginalDisk[] = L"T:\\system-scan-original-disk.bin";
const wchar_t kInfectedDisk[] = L"T:\\system-scan-infected-disk.bin";
const wchar_t kRewrittenDisk[] = L"T:\\system-scan-rewritten-disk.bin";
const wchar_t kPlantedState[] = L"T:\\system-scan-planted.txt";
const wchar_t kSessionName[] = L"T:\\system-scan-session.txt";

std::vector<std::uint8_t> Bytes(const std::wstring& path) {
    const std::vector<unsigned char> b = ReadBytes(path);
    return std::vector<std::uint8_t>(b.begin(), b.end());
}

// velscan --system --yes cleans the residue and repairs the boot record (keeping the disk's first 4096 bytes
// in the session), a second run finds nothing, and --undo --yes puts every value, key, file and sector 0 back;
// a sector 0 written again after a repair is not overwritten by an undo.
TEST(SystemScan, Step) {
    const std::wstring step = SystemStep();
    ASSERT_FALSE(step.empty()) << "run through tests/wine/system-scan.sh";
    ASSERT_TRUE(BootDiskIsStandIn()) << "the prefix's first disk is not its own image: nothing may run here";
    SystemResidue residue;
    if (step == L"plant") {
        const std::vector<std::uint8_t> original = FirstDiskWindow();
        ASSERT_EQ(kDiskWindowSize, original.size());
        ASSERT_TRUE(WriteBytes(kOriginalDisk, std::vector<unsigned char>(original.begin(), original.end())));
        std::vector<std::uint8_t> infected = VariantOneWindow();
        std::copy(original.begin() + 1024, original.begin() + 1536, infected.begin() + 1024);  // the marker stays
        ASSERT_TRUE(WriteFirstDisk(infected));
        ASSERT_TRUE(WriteBytes(kInfectedDisk, std::vector<unsigned char>(infected.begin(), infected.end())));
        residue.Plant();
        ASSERT_TRUE(WriteBytes(kPlantedState, residue.State()));
        EXPECT_EQ(1, AnalyseBootRecord(infected.data(), true, nullptr));
    } else if (step == L"after-plan") {
        EXPECT_EQ(Bytes(kInfectedDisk), FirstDiskWindow()) << "report-only writes no sector";
        EXPECT_EQ(ReadText(kPlantedState), residue.State()) << "report-only changes nothing";
        const std::string plan = ReadText(L"T:\\system-scan-plan.json");
        EXPECT_NE(std::string::npos, plan.find("\"kind\": \"write-sector\"")) << plan;
        EXPECT_NE(std::string::npos, plan.find("\"bootRecord\": {\"device\": \"\\\\\\\\.\\\\PhysicalDrive0\", \"variant\": 1, "
                                               "\"repaired\": true}")) << plan;
    } else if (step == L"after-run") {
        const std::string plan = ReadText(L"T:\\system-scan-plan.json"), run = ReadText(L"T:\\system-scan-run.json");
        EXPECT_EQ(ChangesOf(plan), ChangesOf(run)) << "the plan and the run differ";
        EXPECT_NE(std::string::npos, run.find("\"bootRecord\": {\"device\": \"\\\\\\\\.\\\\PhysicalDrive0\", \"variant\": 1, "
                                              "\"repaired\": true}")) << run;
        const std::vector<std::uint8_t> infected = Bytes(kInfectedDisk), repaired = FirstDiskWindow();
        ASSERT_EQ(kDiskWindowSize, repaired.size());
        EXPECT_EQ(0, AnalyseBootRecord(repaired.data(), true, nullptr)) << "no bootkit left";
        EXPECT_TRUE(std::equal(infected.begin() + 512, infected.begin() + 896, repaired.begin())) << "bytes 0..383 from sector 1";
        EXPECT_TRUE(std::equal(infected.begin() + 384, infected.end(), repaired.begin() + 384)) << "nothing else changes";
        EXPECT_EQ("-;-;-;-;-;-;", residue.State()) << "every file, value and key of it is gone";
        EXPECT_TRUE(FileExists(residue.main + L"\\con")) << "the main file's place is immunized";
        const std::vector<SessionInfo> sessions = ListSessions(Build() + L"\\src\\BackFiles\\");
        ASSERT_FALSE(sessions.empty());
        const SessionInfo& session = sessions.back();
        const auto write = std::find_if(session.journal.entries.begin(), session.journal.entries.end(),
                                        [](const JournalEntry& e) { return e.kind == "write-sector"; });
        ASSERT_NE(session.journal.entries.end(), write);
        EXPECT_NE(std::wstring::npos, write->fields[2].find(L"boot-record-PhysicalDrive0-")) << write->fields[2];
        EXPECT_EQ(infected, Bytes(write->fields[2])) << "the disk's first 4096 bytes as they were before the write";
        ASSERT_TRUE(WriteBytes(kSessionName, std::string(session.name.begin(), session.name.end())));
    } else if (step == L"after-second-run") {
        const std::string again = ReadText(L"T:\\system-scan-again.json");
        EXPECT_NE(std::string::npos, again.find("\"findings\": [],")) << again;
        EXPECT_EQ(std::string::npos, again.find("bootRecord")) << again;
    } else if (step == L"after-undo") {
        EXPECT_EQ(ReadText(kPlantedState), residue.State()) << "every value, key and file is back";
        EXPECT_EQ(Bytes(kInfectedDisk), FirstDiskWindow()) << "sector 0 is back";
    } else if (step == L"rewrite") {
        std::vector<std::uint8_t> rewritten = FirstDiskWindow();
        EXPECT_EQ(0, AnalyseBootRecord(rewritten.data(), true, nullptr)) << "repaired again";
        rewritten[100] ^= 0xFF;
        ASSERT_TRUE(WriteFirstDisk(rewritten));
        ASSERT_TRUE(WriteBytes(kRewrittenDisk, std::vector<unsigned char>(rewritten.begin(), rewritten.end())));
    } else if (step == L"after-refused-undo") {
        EXPECT_EQ(Bytes(kRewrittenDisk), FirstDiskWindow()) << "a sector written again since stays";
        EXPECT_EQ(ReadText(kPlantedState), residue.State()) << "everything else came back";
    } else if (step == L"clean-up") {
        residue.Remove();
        const std::vector<std::uint8_t> original = Bytes(kOriginalDisk);
        if (original.size() == kDiskWindowSize) {
            EXPECT_TRUE(WriteFirstDisk(original));
        }
        EXPECT_TRUE(BootDiskIsStandIn());
        for (const wchar_t* f : {kOriginalDisk, kInfectedDisk, kRewrittenDisk, kPlantedState, kSessionName}) ::DeleteFileW(f);
    } else {
        FAIL() << "no such step";
    }
}

// Run by tools/main-job.sh (not by the test run): writes the infected stick into the root of U:.
TEST(InfectedStick, Generate) {
    ASSERT_TRUE(::GetEnvironmentVariableW(L"VELUDISK_MAKE_STICK", nullptr, 0) > 0) << "run through tools/main-job.sh";
    ClearDrive(L"U:\\");
    MakeInfectedStick(L"U:\\");
}
