// velscan: the console scanner on the same controller and cleaners as the program.
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "app/Globals.h"
#include "app/ScanOptions.h"
#include "disposal/FindingRecord.h"
#include "engine/LiveEffects.h"
#include "engine/PlanEffects.h"
#include "engine/Undo.h"
#include "log/VLogger.h"
#include "scan/DriveList.h"
#include "scan/DriveSystemWin.h"
#include "scan/ProgramScanSteps.h"
#include "scan/ScanController.h"
#include "scan/ScanEstimate.h"
#include "scan/ScanReport.h"
#include "util/ProgramPath.h"
#include "util/WinHandle.h"

namespace {

constexpr char kBuild[] = "Veludisk velscan 1.0 (" __DATE__ ")";
constexpr DWORD kProgressEveryMs = 250;

// The folder velscan was started in, taken before the log is first used (which moves the current directory to
// the program's folder): relative PATHs are resolved against it.
std::wstring g_startDirectory;

std::wstring CurrentDirectory() {
    wchar_t buffer[MAX_PATH + 1] = {};
    const DWORD n = ::GetCurrentDirectoryW(MAX_PATH + 1, buffer);
    return n && n <= MAX_PATH ? std::wstring(buffer, n) : std::wstring();
}

// Text to a console in its own characters, to a file or pipe in the ANSI code page.
void Print(DWORD which, const std::wstring& text) {
    HANDLE out = ::GetStdHandle(which);
    DWORD mode = 0, written = 0;
    if (::GetConsoleMode(out, &mode)) {
        ::WriteConsoleW(out, text.data(), DWORD(text.size()), &written, nullptr);
        return;
    }
    const int n = ::WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    if (n <= 0) return;
    std::string narrow(std::size_t(n), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), &narrow[0], n, nullptr, nullptr);
    ::WriteFile(out, narrow.data(), DWORD(narrow.size()), &written, nullptr);
}


bool IsTerminal(DWORD which) {
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(which), &mode) != 0;
}

// The risk statement is accepted with --yes; every other question takes the answer that changes least.
// Without --yes questions go to the console; no answer (no console input) is No.
class ConsolePrompter final : public Prompter {
public:
    explicit ConsolePrompter(bool yes) : m_yes(yes) {}
    int Ask(const PromptRequest& request) override {
        const UINT buttons = request.style & MB_TYPEMASK;
        const bool yesNo = buttons == MB_YESNO || buttons == MB_YESNOCANCEL;
        Asking = true;  // the progress line keeps off the question
        Print(STD_ERROR_HANDLE, L"\n[" + std::wstring(request.caption) + L"] " + request.text + L"\n");
        const int answer = !yesNo ? IDOK : m_yes ? (IsRiskQuestion(request) ? IDYES : IDNO) : ReadAnswer();
        Asking = false;
        return answer;
    }
    std::atomic<bool> Asking{false};

private:
    static int ReadAnswer() {
        Print(STD_ERROR_HANDLE, L"(y/N) ");
        char line[16] = {};
        DWORD read = 0;
        if (!::ReadFile(::GetStdHandle(STD_INPUT_HANDLE), line, sizeof line - 1, &read, nullptr) || read == 0)
            return IDNO;
        return (line[0] == 'y' || line[0] == 'Y') ? IDYES : IDNO;
    }
    bool m_yes;
};

// No Explorer windows, no compiler, no web pages, no restart: the console scanner only scans.
class QuietLauncher final : public ProgramLauncher {
public:
    bool RunCommand(const std::string&) override { return false; }
    bool OpenWithShell(const std::wstring&) override { return false; }
    bool RunHidden(const std::string&) override { return false; }
};
class NoRestart final : public SystemRestarter {
public:
    bool ForceRestart() override { return false; }
};

class ReportCollector final : public FindingObserver {
public:
    void OnFinding(const FindingEvent& f) override {
        std::lock_guard<std::mutex> hold(m_lock);
        // Nothing is removed in a report-only run, so later steps may meet the same file again: one line each.
        for (const auto& seen : m_findings)
            if (seen.path == f.path && seen.threatType == f.threatType) return;
        m_findings.push_back(ReportFinding{f.path, f.outcome, f.threatType, f.md5, f.crc});
    }
    std::vector<ReportFinding> Findings() {
        std::lock_guard<std::mutex> hold(m_lock);
        return m_findings;
    }

private:
    std::mutex m_lock;
    std::vector<ReportFinding> m_findings;
};

class ConsoleWindow final : public ScanWindow {
public:
    explicit ConsoleWindow(HWND hwnd) : m_hwnd(hwnd) {}
    HWND Handle() override { return m_hwnd; }
    void CallPage(const wchar_t*, const std::wstring&, const wchar_t*) override {}
    void Close() override {}

private:
    HWND m_hwnd;
};

std::wstring Absolute(const std::wstring& path) {
    const bool absolute = (path.size() >= 2 && path[1] == L':') || (path.size() >= 2 && path[0] == L'\\' && path[1] == L'\\');
    if (absolute || g_startDirectory.empty()) return path;
    std::wstring base = g_startDirectory;
    if (base.back() != L'\\') base += L'\\';
    return base + path;
}

bool WriteUtf8File(const std::wstring& path, const std::string& text) {
    FileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file && ::WriteFile(file.Get(), text.data(), DWORD(text.size()), &written, nullptr) && written == text.size();
}

// The console's width in cells: a line as wide as the buffer would wrap.
unsigned ConsoleColumns() {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (::GetConsoleScreenBufferInfo(::GetStdHandle(STD_ERROR_HANDLE), &info) && info.dwSize.X > 0)
        return unsigned(info.dwSize.X);
    return 80;
}

void ShowProgress(const ScanContext& scan, const ScanStats& s, std::uint64_t totalBytes, bool final) {
    ProgressState state{s.FilesExamined, s.ThreatsFound, scan.ScanBytes(), totalBytes,
                        final ? std::wstring() : scan.ScanFolder()};
    Print(STD_ERROR_HANDLE, FormatProgressLine(state, ConsoleColumns()) + (final ? L"\n" : L""));
}

std::vector<DriveEntry> DrivesOfClass(DriveSystem& drives, std::int32_t driveClass) {
    DriveList list(drives);
    std::vector<DriveEntry> found;
    list.CollectDrives(driveClass, found);
    return found;
}

// Why a run would have nothing to scan (a folder that is not there, no drive of the kind asked for), or empty.
std::wstring NothingToScan(const ScanOptions& options, const std::vector<std::wstring>& folders, DriveSystem& drives) {
    if (options.mode == kModeRemovable && DrivesOfClass(drives, kDriveRemovable).empty())
        return L"没有可扫描的移动磁盘（未插入U盘）";
    if ((options.mode == kModeSystemAndFixed || options.mode == kModeSystemAndFixedAlt) &&
        DrivesOfClass(drives, kDriveFixed).empty() && DrivesOfClass(drives, kDriveRamDisk).empty())
        return L"没有可扫描的本地磁盘";
    if (options.mode == kModeDirectories) {
        for (const auto& folder : folders) {
            const DWORD attributes = ::GetFileAttributesW(folder.c_str());
            if (attributes == INVALID_FILE_ATTRIBUTES) return L"文件夹不存在：" + folder;
            if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return L"不是文件夹：" + folder;
        }
    }
    return std::wstring();
}

// The roots a scan walks and nothing else, where the share done can be known: the removable drives, or the
// folders given.
std::vector<std::wstring> EstimateRoots(const ScanOptions& options, const std::vector<std::wstring>& folders,
                                        DriveSystem& drives) {
    std::vector<std::wstring> roots;
    if (options.mode == kModeRemovable) {
        for (const auto& d : DrivesOfClass(drives, kDriveRemovable)) roots.push_back(d.root);
    } else if (options.mode == kModeDirectories) {
        for (const auto& f : folders) roots.push_back(!f.empty() && f.back() == L'\\' ? f : f + L'\\');
    }
    return roots;
}

int Run(const ScanOptions& options) {
    WindowsDriveSystem drives;
    std::vector<std::wstring> folders;
    for (const auto& p : options.paths) folders.push_back(Absolute(p));
    const std::wstring nothing = NothingToScan(options, folders, drives);
    if (!nothing.empty()) {
        Print(STD_ERROR_HANDLE, L"velscan: " + nothing + L"\n");
        return 2;
    }
    HWND hwnd = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    if (!hwnd) {
        Print(STD_ERROR_HANDLE, L"velscan: 无法创建消息窗口\n");
        return 2;
    }
    ReportCollector collector;
    SetFindingObserver(&collector);
    ConsolePrompter prompter(options.yes);
    QuietLauncher launcher;
    NoRestart restarter;
    ProgramScanSteps steps;
    ControllerSeams seams{prompter, launcher, restarter};
    seams.explorerDelayMs = 0;
    ScanController controller(steps, drives, seams);
    controller.SetSilent(true);  // no window to close and no restart question at the end
    controller.SetPhaseInRun(true);  // a system scan reports after the boot-record phase
    // A report-only run plans every change and makes none.
    PlanEffects plan;
    if (options.reportOnly) controller.UseEffects(plan);
    if (FAILED(controller.InitController(hwnd))) {
        Print(STD_ERROR_HANDLE, L"velscan: 扫描引擎无法初始化（程序文件可能已损坏）\n");
        SetFindingObserver(nullptr);
        ::DestroyWindow(hwnd);
        return 2;
    }
    controller.SetDirectoryList(folders);
    if (FAILED(controller.StartScan(options.mode))) {
        Print(STD_ERROR_HANDLE, L"velscan: 扫描未能开始\n");
        controller.ShutdownController();
        SetFindingObserver(nullptr);
        ::DestroyWindow(hwnd);
        return 2;
    }
    const bool progress = !options.quiet && IsTerminal(STD_ERROR_HANDLE);
    const DWORD started = ::GetTickCount();
    ScanEstimate estimate;
    if (progress) estimate.Start(EstimateRoots(options, folders, drives));
    ConsoleWindow window(hwnd);
    DWORD lastProgress = ::GetTickCount();
    for (bool done = false; !done;) {
        MSG msg;
        while (::PeekMessageW(&msg, hwnd, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_COMMAND && LOWORD(msg.wParam) == ID_SCAN_DONE) done = true;
        }
        if (progress && !prompter.Asking && ::GetTickCount() - lastProgress >= kProgressEveryMs) {
            ScanStats s;
            controller.SnapshotCounters(s);
            ShowProgress(controller, s, estimate.TotalBytes(), false);
            lastProgress = ::GetTickCount();
        }
        if (!done) ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    }
    controller.OnScanDone(window);
    ScanStats s;
    controller.SnapshotCounters(s);
    // A bootkit in the boot record is one more threat.
    const bool bootkit = controller.BootkitState != 0;
    s.ThreatsFound = ThreatsIncludingBootkit(s, bootkit);
    BootRecordFinding bootRecord{L"\\\\.\\PhysicalDrive0", controller.BootkitVariant.load(),
                                 controller.BootRecordRepaired != 0};
    const std::vector<JournalEntry> changes = controller.Changes().Entries();
    const std::wstring session = controller.Changes().SessionFolder();
    if (progress) ShowProgress(controller, s, 0, true);
    controller.ShutdownController();
    SetFindingObserver(nullptr);
    ::DestroyWindow(hwnd);

    const auto findings = collector.Findings();
    const RunTotals totals{double(::GetTickCount() - started) / 1000.0, controller.ScanBytes(), controller.ScanFolders()};
    std::wstring text = options.reportOnly ? L"仅报告模式：未做任何更改。将采取的操作：\n" : L"发现并处理：\n";
    for (const auto& f : findings) text += FormatFindingLine(f, options.reportOnly);
    if (bootkit) text += FormatBootRecordLine(bootRecord, options.reportOnly);
    if (findings.empty() && !bootkit) text += L"  （无）\n";
    text += L"扫描结果：\n" + FormatSummary(s, totals);
    if (options.reportOnly) {
        text += L"仅报告模式：未做任何更改。\n";
    } else {
        const std::wstring backups = ProgramFolder() + L"\\BackFiles";
        if (s.Repaired > 0 && ::GetFileAttributesW(backups.c_str()) != INVALID_FILE_ATTRIBUTES)
            text += L"备份保存在：" + backups + L"\n";
        if (s.RebootPending > 0)
            text += L"还有 " + std::to_wstring(s.RebootPending) + L" 个文件将在下次启动时删除：请重新启动计算机以完成清除。\n";
        if (!session.empty()) {
            // 这次扫描的更改记录在 X；撤销：velscan --undo NAME
            std::wstring name = session.substr(0, session.size() - 1);
            name = name.substr(name.find_last_of(L'\\') + 1);
            text += L"\u8fd9\u6b21\u626b\u63cf\u7684\u66f4\u6539\u8bb0\u5f55\u5728\uff1a" + session +
                    L"journal.txt\n\u64a4\u9500\u8fd9\u4e9b\u66f4\u6539\uff1avelscan --undo " + name + L"\n";
        }
    }
    Print(STD_OUTPUT_HANDLE, text);
    if (!options.jsonPath.empty() &&
        !WriteUtf8File(Absolute(options.jsonPath), FormatJsonReport(kBuild, options.mode, options.reportOnly, s, findings, changes,
                                                                  bootkit && bootRecord.variant ? &bootRecord : nullptr))) {
        Print(STD_ERROR_HANDLE, L"velscan: 无法写入报告文件 " + options.jsonPath + L"\n");
        return 2;
    }
    return s.ThreatsFound > 0 ? 1 : 0;
}

// The sessions beside the program and those a read-only program folder sent to the temporary folder, by time.
std::vector<SessionInfo> AllSessions() {
    std::vector<SessionInfo> all;
    for (const std::wstring& folder : AllSessionsFolders()) {
        const auto found = ListSessions(folder);
        all.insert(all.end(), found.begin(), found.end());
    }
    std::stable_sort(all.begin(), all.end(), [](const SessionInfo& a, const SessionInfo& b) { return a.name < b.name; });
    return all;
}

int ListSessionsCommand() {
    const std::vector<SessionInfo> sessions = AllSessions();
    if (sessions.empty()) {
        Print(STD_OUTPUT_HANDLE, L"\u6ca1\u6709\u53ef\u64a4\u9500\u7684\u626b\u63cf\u4f1a\u8bdd\n");  // 没有可撤销的扫描会话
        return 0;
    }
    for (const SessionInfo& s : sessions) {
        std::wstring line = s.name + L"  " + DescribeSessionChanges(s.journal);
        if (s.journal.cutOff) line += L"\uff08\u65e5\u5fd7\u672b\u5c3e\u4e0d\u5b8c\u6574\uff09";  // （日志末尾不完整）
        if (s.undone) line += L"\uff08\u5df2\u64a4\u9500\uff09";                                  // （已撤销）
        else if (!s.reversedLines.empty()) line += L"\uff08\u90e8\u5206\u64a4\u9500\uff09";     // （部分撤销）
        Print(STD_OUTPUT_HANDLE, line + L"\n");
    }
    return 0;
}

int UndoCommand(const ScanOptions& options) {
    const std::vector<SessionInfo> sessions = AllSessions();
    const SessionInfo* chosen = nullptr;
    for (const SessionInfo& s : sessions)
        if (options.undoSession.empty() ? true : lstrcmpiW(s.name.c_str(), options.undoSession.c_str()) == 0) chosen = &s;
    if (!chosen) {
        // 没有这个扫描会话 / 没有可撤销的扫描会话
        Print(STD_ERROR_HANDLE, options.undoSession.empty()
                                    ? std::wstring(L"velscan: \u6ca1\u6709\u53ef\u64a4\u9500\u7684\u626b\u63cf\u4f1a\u8bdd\n")
                                    : L"velscan: \u6ca1\u6709\u8fd9\u4e2a\u626b\u63cf\u4f1a\u8bdd\uff1a" + options.undoSession + L"\n");
        return 2;
    }
    if (!chosen->journal.headerOk) {
        Print(STD_ERROR_HANDLE, L"velscan: \u4f1a\u8bdd\u65e5\u5fd7\u65e0\u6cd5\u8bfb\u53d6\uff1a" + chosen->name + L"\n");  // 会话日志无法读取：
        return 2;
    }
    if (chosen->undone) {
        Print(STD_ERROR_HANDLE, L"velscan: \u8fd9\u4e2a\u4f1a\u8bdd\u5df2\u7ecf\u64a4\u9500\u8fc7\uff1a" + chosen->name + L"\n");  // 这个会话已经撤销过：
        return 2;
    }
    if (chosen->journal.cutOff)
        // 日志末尾不完整：只撤销完整记录的更改
        Print(STD_ERROR_HANDLE, L"velscan: \u65e5\u5fd7\u672b\u5c3e\u4e0d\u5b8c\u6574\uff1a\u53ea\u64a4\u9500\u5b8c\u6574\u8bb0\u5f55\u7684\u66f4\u6539\n");
    // A disk sector goes back only when the user says so (--yes says it beforehand).
    bool sectors = options.yes;
    if (!sectors && !options.reportOnly && SessionWroteSectors(*chosen)) {
        ConsolePrompter console(false);
        PromptRequest question;
        question.caption = L"\u6062\u590d\u78c1\u76d8\u6247\u533a";  // 恢复磁盘扇区
        // 这次扫描改写过磁盘扇区。要把它们恢复为扫描前的内容吗？
        question.text = L"\u8fd9\u6b21\u626b\u63cf\u6539\u5199\u8fc7\u78c1\u76d8\u6247\u533a\u3002\u8981\u628a\u5b83\u4eec"
                        L"\u6062\u590d\u4e3a\u626b\u63cf\u524d\u7684\u5185\u5bb9\u5417\uff1f";
        question.style = MB_YESNO;
        sectors = console.Ask(question) == IDYES;
    }
    const std::vector<UndoStep> steps = UndoSession(*chosen, options.reportOnly, sectors || options.reportOnly);
    int restored = 0, failed = 0;
    for (const UndoStep& step : steps) {
        const std::wstring line = DescribeUndoStep(step, options.reportOnly);
        if (!line.empty()) Print(STD_OUTPUT_HANDLE, line + L"\n");
        restored += step.result == UndoResult::Restored || step.result == UndoResult::RestoredBeside;
        failed += step.result == UndoResult::Failed;
    }
    // 撤销会话 X：已恢复 N 项，无法恢复 M 项
    Print(STD_OUTPUT_HANDLE, std::wstring(options.reportOnly ? L"\u5c06\u64a4\u9500\u4f1a\u8bdd " : L"\u64a4\u9500\u4f1a\u8bdd ") +
                                 chosen->name + L"\uff1a" + (options.reportOnly ? L"\u5c06\u6062\u590d " : L"\u5df2\u6062\u590d ") +
                                 std::to_wstring(restored) + L" \u9879\uff0c\u65e0\u6cd5\u6062\u590d " + std::to_wstring(failed) +
                                 L" \u9879\n");
    return failed ? 1 : 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    g_startDirectory = CurrentDirectory();
    std::vector<std::wstring> args(argv + 1, argv + argc);
    ScanOptions options;
    std::wstring error;
    if (!ParseScanOptions(args, options, error)) {
        Print(STD_ERROR_HANDLE, L"velscan: " + error + L"\n" + kScanUsage);
        return 2;
    }
    if (options.help) {
        Print(STD_OUTPUT_HANDLE, kScanUsage);
        return 0;
    }
    if (options.sessions) return ListSessionsCommand();
    if (options.undo) return UndoCommand(options);
    SetLogWriting(!options.reportOnly);
    return Run(options);
}
