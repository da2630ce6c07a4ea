// The scan controller with recording steps: order of steps per mode, prompts and answers, stopping, counters
// and the end-of-run handling.
#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <functional>
#include <algorithm>
#include <atomic>
#include <map>
#include <thread>

#include "Doubles.h"
#include "TestSupport.h"
#include "app/Globals.h"
#include "app/MainWindow.h"
#include "disposal/Digest.h"
#include "scan/ProgramScanSteps.h"
#include "scan/ScanController.h"
#include "support/FakeDrives.h"

namespace {

std::string Roots(const std::vector<DriveEntry>& drives) {
    std::string s;
    for (const auto& d : drives) s += (s.empty() ? "" : ",") + std::string(d.root.begin(), d.root.end());
    return s;
}

class RecordingSteps final : public ScanSteps {
public:
    std::vector<std::string> calls;
    std::map<std::string, HRESULT> results;
    std::map<std::string, std::function<void()>> during;  // run inside a step, on the worker thread
    std::vector<bool> stopSeen;
    bool usbProtected = false;
    bool fixedPathsLoad = true;
    int protectionSwitchedOff = 0;
    int bootPhases = 0;
    ScanController* controller = nullptr;

    HRESULT Step(const std::string& name) {
        calls.push_back(name);
        stopSeen.push_back(controller->IsStopRequested());
        auto hook = during.find(name.substr(0, name.find(':')));
        if (hook != during.end()) hook->second();
        auto r = results.find(name.substr(0, name.find(':')));
        return r == results.end() ? S_OK : r->second;
    }
    void Attach(ScanController* c) override { controller = c; }
    HRESULT LoadFixedPaths() override { return fixedPathsLoad ? S_OK : E_FAIL; }
    void PrepareBootCleanDriver() override {}
    HRESULT CleanResidentThreats() override { return Step("resident"); }
    HRESULT FixedPathSweep() override { return Step("sweep"); }
    HRESULT DriveRootPass(const std::vector<DriveEntry>& d) override { return Step("roots:" + Roots(d)); }
    HRESULT ScanRunningProcesses() override { return Step("processes"); }
    HRESULT FullWalk(const std::vector<DriveEntry>& d) override { return Step("walk:" + Roots(d)); }
    bool IsUsbWriteProtected() override { return usbProtected; }
    void SwitchUsbWriteProtectionOff() override { ++protectionSwitchedOff; }
    void StartBootRecordPhase() override { ++bootPhases; }
    void RunBootRecordPhase() override { Step("phase"); }
    bool BootRecordPhaseRunning() override { return phaseRunning; }
    bool phaseRunning = false;
    void Release() override {
        if (onRelease) onRelease();
    }
    std::function<void()> onRelease;  // on the thread that shuts the controller down
};

class RecordingWindow final : public ScanWindow {
public:
    HWND hwnd = nullptr;
    std::vector<std::pair<std::wstring, std::wstring>> pushed;
    int closes = 0;
    HWND Handle() override { return hwnd; }
    void CallPage(const wchar_t* key, const std::wstring& value, const wchar_t* param) override {
        EXPECT_STREQ(L"0", param);
        pushed.emplace_back(key, value);
    }
    void Close() override { ++closes; }
};

// Waits for a run's end-of-run command on the controller's window.
void WaitForScanDone(HWND hwnd, ScanController& controller) {
    const DWORD deadline = ::GetTickCount() + 20000;
    MSG msg;
    while (::GetTickCount() < deadline) {
        while (::PeekMessageW(&msg, hwnd, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_COMMAND && LOWORD(msg.wParam) == ID_SCAN_DONE) {
                EXPECT_FALSE(controller.IsBusy());
                return;
            }
        }
        ::Sleep(5);
    }
    FAIL() << "the run did not end";
}

class ScanControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        drives.types = {{L"C:\\", 3}, {L"F:\\", 6}, {L"U:\\", 2}, {L"X:\\", 5}};
        window.hwnd = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, window.hwnd);
        seams.explorerDelayMs = 0;
        controller = std::make_unique<ScanController>(steps, drives, seams);
        controller->DelphiInfectorState = 1;  // no Delphi infection seen
    }
    void TearDown() override {
        controller.reset();
        ::DestroyWindow(window.hwnd);
    }
    void Init() { ASSERT_EQ(S_OK, controller->InitController(window.hwnd)); }

    // Starts a run and waits for its end-of-run command.
    void Run(int mode) {
        ASSERT_EQ(S_OK, controller->StartScan(mode));
        WaitDone();
    }
    void WaitDone() { WaitForScanDone(window.hwnd, *controller); }

    FakeDrives drives;
    RecordingSteps steps;
    ScriptedPrompter prompter;
    RecordingLauncher launcher;
    RecordingRestarter restarter;
    ControllerSeams seams{prompter, launcher, restarter};
    RecordingWindow window;
    std::unique_ptr<ScanController> controller;
};

using Calls = std::vector<std::string>;

TEST_F(ScanControllerTest, StepOrderOfEveryMode) {
    Init();
    controller->SetDirectoryList({L"T:\\docs", L"C:\\work\\"});
    struct Case {
        int mode;
        Calls calls;
        std::vector<std::string> explorer;
    } cases[] = {
        {0, {"resident", "sweep", "roots:C:\\,F:\\,U:\\", "processes"}, {}},
        {2, {"resident", "sweep", "roots:C:\\,F:\\,U:\\", "processes"}, {}},
        {1, {"resident", "sweep", "roots:C:\\,F:\\,U:\\", "processes", "walk:C:\\,F:\\"}, {}},
        {3, {"resident", "sweep", "roots:C:\\,F:\\,U:\\", "processes", "walk:C:\\,F:\\"}, {}},
        {4, {"roots:U:\\", "walk:U:\\"}, {"explorer.exe U:\\"}},
        {5, {"roots:T:\\docs\\,C:\\work\\", "walk:T:\\docs\\,C:\\work\\"}, {"explorer.exe T:\\docs", "explorer.exe C:\\work\\"}},
        {6, {}, {}},
        {-1, {}, {}},
    };
    for (const auto& c : cases) {
        steps.calls.clear();
        launcher.commands.clear();
        prompter.asked.clear();
        prompter.answers = {IDYES};
        Run(c.mode);
        EXPECT_EQ(c.calls, steps.calls) << "mode " << c.mode;
        EXPECT_EQ(c.explorer, launcher.commands) << "mode " << c.mode;
        const bool asksRisk = c.mode >= 0 && c.mode <= 3;
        ASSERT_EQ(asksRisk ? 1u : 0u, prompter.asked.size()) << "mode " << c.mode;
        if (asksRisk) {
            EXPECT_EQ(L"风险声明", prompter.asked[0].caption);
            EXPECT_EQ(L"请确认您已仔细阅读风险声明，并愿意承担本工具可能带来的风险和损失。", prompter.asked[0].text);
            EXPECT_EQ(UINT(MB_YESNO | MB_ICONQUESTION), prompter.asked[0].style);
            EXPECT_EQ(nullptr, prompter.asked[0].owner);
        }
    }
}

TEST_F(ScanControllerTest, NoToTheRiskQuestion) {
    Init();
    prompter.answers = {IDNO};
    Run(0);
    EXPECT_TRUE(steps.calls.empty());
    prompter.answers = {IDNO};
    Run(1);
    EXPECT_EQ(Calls{"walk:C:\\,F:\\"}, steps.calls) << "the fixed drives are still walked in mode 1";
}

TEST_F(ScanControllerTest, NegativeStepEndsTheSystemScan) {
    Init();
    steps.results["sweep"] = E_FAIL;
    prompter.defaultAnswer = IDYES;
    Run(0);
    EXPECT_EQ((Calls{"resident", "sweep"}), steps.calls);
    steps.calls.clear();
    steps.results.clear();
    steps.results["processes"] = HRESULT(0x80070005);
    Run(0);
    EXPECT_EQ((Calls{"resident", "sweep", "roots:C:\\,F:\\,U:\\", "processes"}), steps.calls);
}

TEST_F(ScanControllerTest, FolderWormSeenLeadsToTheWalkOfFixedDrives) {
    Init();
    prompter.defaultAnswer = IDYES;
    steps.during["processes"] = [this] { controller->ThreatFollowUpState = 1; };
    Run(0);
    EXPECT_EQ((Calls{"resident", "sweep", "roots:C:\\,F:\\,U:\\", "processes", "walk:C:\\,F:\\"}), steps.calls);
    EXPECT_EQ(3, controller->ThreatFollowUpState.load());
}

TEST_F(ScanControllerTest, RemovableScanRefusals) {
    Init();
    controller->ReplugPending = 1;
    Run(4);
    EXPECT_TRUE(steps.calls.empty());
    ASSERT_EQ(1u, prompter.asked.size());
    EXPECT_EQ(L"U盘状态", prompter.asked[0].caption);
    EXPECT_EQ(L"请重新插拔U盘生效。", prompter.asked[0].text);
    EXPECT_EQ(UINT(MB_OK | MB_ICONWARNING), prompter.asked[0].style);

    controller->ReplugPending = 0;
    controller->OnDeviceRemoved();
    drives.types.erase(L"U:\\");
    prompter.asked.clear();
    Run(4);
    EXPECT_TRUE(steps.calls.empty());
    ASSERT_EQ(1u, prompter.asked.size());
    EXPECT_EQ(L"您的电脑没有插入U盘。", prompter.asked[0].text);
}

TEST_F(ScanControllerTest, DeviceRemovalClearsReplugPending) {
    Init();
    controller->ReplugPending = 1;
    controller->OnDeviceRemoved();
    EXPECT_EQ(0, controller->ReplugPending.load());
}

TEST_F(ScanControllerTest, WriteProtectedDriveAnsweredNoScansReadOnly) {
    Init();
    steps.usbProtected = true;
    int readOnlyDuringWalk = -1;
    steps.during["walk"] = [&] {
        readOnlyDuringWalk = controller->ReadOnlyScan;
        controller->AddThreatsFound();  // found, but a read-only drive deletes nothing
    };
    prompter.answers = {IDNO, IDNO};
    Run(4);
    EXPECT_EQ(1, readOnlyDuringWalk);
    EXPECT_EQ((Calls{"roots:U:\\", "walk:U:\\"}), steps.calls);
    ASSERT_EQ(2u, prompter.asked.size());
    EXPECT_EQ(L"U盘模式", prompter.asked[0].caption);
    EXPECT_EQ(L"U盘是只读模式，是否尝试扫描病毒？\n只读模式扫出病毒是不能删除的是否取掉只读模式再杀？", prompter.asked[0].text);
    EXPECT_EQ(L"警告！发现病毒！", prompter.asked[1].caption);
    EXPECT_EQ(L"发现病毒！\n U盘当前为只读模式，请去掉只读模式后重新插入U盘查杀病毒！", prompter.asked[1].text);
    EXPECT_EQ(std::vector<std::string>{"explorer.exe U:\\"}, launcher.commands);
    EXPECT_EQ(0, steps.protectionSwitchedOff);

    // After such a run no boot-record phase starts and no restart is offered.
    controller->OnScanDone(window);
    EXPECT_EQ(0, steps.bootPhases);
}

TEST_F(ScanControllerTest, WriteProtectedDriveAnsweredYesSwitchesProtectionOff) {
    Init();
    steps.usbProtected = true;
    prompter.answers = {IDYES, IDYES};
    Run(4);
    EXPECT_TRUE(steps.calls.empty()) << "nothing is scanned until the stick is plugged in again";
    EXPECT_EQ(1, steps.protectionSwitchedOff);
    ASSERT_EQ(2u, prompter.asked.size());
    EXPECT_EQ(L"以取消U盘只读模式，请重新插拔U盘再杀！", prompter.asked[1].text);
    EXPECT_EQ(0, controller->ReadOnlyScan.load());
    EXPECT_EQ(1, controller->ReplugPending.load());
    EXPECT_TRUE(launcher.commands.empty());
}

TEST_F(ScanControllerTest, VirusOnReadOnlyDriveAnsweredYesEndsWithoutOpening) {
    Init();
    steps.usbProtected = true;
    steps.during["walk"] = [&] { controller->AddThreatsFound(); };
    prompter.answers = {IDNO, IDYES};
    Run(4);
    EXPECT_EQ(1, steps.protectionSwitchedOff);
    EXPECT_EQ(1, controller->ReplugPending.load());
    EXPECT_EQ(0, controller->ReadOnlyScan.load());
    EXPECT_TRUE(launcher.commands.empty());
}

TEST_F(ScanControllerTest, StopWhileIdleEndsTheNextRunAtItsFirstCheck) {
    Init();
    ASSERT_EQ(S_OK, controller->RequestStop());
    EXPECT_TRUE(controller->IsStopRequested());
    prompter.defaultAnswer = IDYES;
    Run(0);
    ASSERT_FALSE(steps.stopSeen.empty());
    EXPECT_TRUE(steps.stopSeen.front()) << "the first step sees the stop";
    EXPECT_FALSE(controller->IsStopRequested()) << "cleared when the run ends";
    steps.stopSeen.clear();
    Run(0);
    EXPECT_FALSE(steps.stopSeen.front());
}

TEST_F(ScanControllerTest, StartWhileBusyIsDropped) {
    Init();
    KernelHandle release(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    KernelHandle entered(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    steps.during["walk"] = [&] {
        ::SetEvent(entered.Get());
        ::WaitForSingleObject(release.Get(), 10000);
    };
    ASSERT_EQ(S_OK, controller->StartScan(4));
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(entered.Get(), 10000));
    EXPECT_TRUE(controller->IsBusy());
    EXPECT_EQ(E_FAIL, controller->StartScan(0));
    ::SetEvent(release.Get());
    WaitDone();
    EXPECT_EQ((Calls{"roots:U:\\", "walk:U:\\"}), steps.calls) << "the dropped request never ran";
}

TEST_F(ScanControllerTest, CountersFromTwoThreadsAreExact) {
    Init();
    constexpr int kEach = 20000;
    steps.during["walk"] = [&] {
        std::thread other([&] {
            for (int i = 0; i < kEach; ++i) {
                controller->AddFilesExamined();
                controller->AddImmunized(2);
            }
        });
        for (int i = 0; i < kEach; ++i) {
            controller->AddFilesExamined();
            controller->AddRepaired();
            ScanStats peek;
            if (i % 1000 == 0) controller->SnapshotCounters(peek);
        }
        other.join();
    };
    Run(4);
    ScanStats s;
    controller->SnapshotCounters(s);
    EXPECT_EQ(2u * kEach, s.FilesExamined);
    EXPECT_EQ(3u * kEach, s.Immunized) << "each report of n counts n + 1";
    EXPECT_EQ(unsigned(kEach), s.Repaired);
}

TEST_F(ScanControllerTest, CountersStartAtZeroEveryRun) {
    Init();
    steps.during["walk"] = [&] { controller->AddThreatsFound(); };
    Run(4);
    Run(4);
    ScanStats s;
    controller->SnapshotCounters(s);
    EXPECT_EQ(1u, s.ThreatsFound);
}

TEST_F(ScanControllerTest, ResultOfARunThatExaminedNothing) {
    Init();
    controller->ScriptInfectorSeen = 1;
    Run(7);  // a mode outside 0 to 5
    controller->OnScanDone(window);
    ASSERT_EQ(1u, window.pushed.size());
    EXPECT_EQ(L"Scan_Result", window.pushed[0].first);
    EXPECT_EQ(L"0|0|0|0|0|0", window.pushed[0].second);
    EXPECT_EQ(0, steps.bootPhases);
    EXPECT_TRUE(prompter.asked.empty());
    EXPECT_EQ(1, controller->ScriptInfectorSeen.load()) << "no notices are armed";
}

TEST_F(ScanControllerTest, BootkitAloneCountsOneThreatAndOffersRestart) {
    Init();
    controller->BootkitState = 1;
    steps.during["walk"] = [&] { controller->AddFilesExamined(); };
    Run(4);
    prompter.answers = {IDNO};
    controller->OnScanDone(window);
    EXPECT_EQ(L"1|1|0|0|0|0", window.pushed.back().second);
    EXPECT_EQ(1, steps.bootPhases);
    ASSERT_EQ(1u, prompter.asked.size());
    EXPECT_EQ(L"建议重启", prompter.asked[0].caption);
    EXPECT_EQ(L"发现病毒,需要重启删除,是否重启?", prompter.asked[0].text);
    EXPECT_EQ(window.hwnd, prompter.asked[0].owner) << "asked on the window thread, owned by the window";
    EXPECT_EQ(0, restarter.restarts) << "No restarts nothing";

    prompter.answers = {IDYES};
    controller->OnScanDone(window);
    EXPECT_EQ(1, restarter.restarts);
}

TEST_F(ScanControllerTest, NoRestartQuestionWhenEverythingWasDeleted) {
    Init();
    steps.during["walk"] = [&] {
        controller->AddFilesExamined();
        controller->AddThreatsFound();
        controller->AddDisguised();
        controller->AddDeleted();
    };
    Run(4);
    controller->OnScanDone(window);
    EXPECT_EQ(L"1|0|1|1|0|0", window.pushed.back().second);
    EXPECT_TRUE(prompter.asked.empty());
    EXPECT_EQ(1, steps.bootPhases);
}

TEST_F(ScanControllerTest, NoticesAreArmedOnceAndReportFlagsCleared) {
    Init();
    g_Notices.vbsVirus = 0;
    g_Notices.delphiVirus = 0;
    controller->DelphiInfectorState = 2;
    steps.during["walk"] = [&] {
        controller->AddFilesExamined();
        controller->ScriptInfectorSeen = 1;
    };
    Run(4);
    controller->OnScanDone(window);
    EXPECT_EQ(1, g_Notices.vbsVirus.load());
    EXPECT_EQ(0, controller->ScriptInfectorSeen.load());
    EXPECT_EQ(1, g_Notices.delphiVirus.load());
    EXPECT_EQ(2, controller->DelphiInfectorState.load()) << "the Delphi state itself is not changed";
}

// The console scanner reports after the boot-record phase: its system scans end with the phase on the worker,
// before the end-of-run command; nothing else does, and nothing scanned runs no phase.
TEST_F(ScanControllerTest, PhaseInTheRunEndsSystemScansOnly) {
    Init();
    controller->SetPhaseInRun(true);
    controller->SetDirectoryList({L"T:\\docs"});
    steps.during["processes"] = [&] { controller->AddFilesExamined(); };
    steps.during["walk"] = [&] { controller->AddFilesExamined(); };
    for (int mode : {0, 1, 2, 3, 4, 5}) {
        steps.calls.clear();
        prompter.answers = {IDYES};
        Run(mode);
        const bool system = mode <= 3;
        ASSERT_FALSE(steps.calls.empty()) << mode;
        EXPECT_EQ(system, steps.calls.back() == "phase") << "mode " << mode;
        EXPECT_EQ(system ? 1 : 0, std::count(steps.calls.begin(), steps.calls.end(), std::string("phase"))) << mode;
    }
    steps.during.clear();
    steps.calls.clear();
    prompter.answers = {IDYES};
    Run(0);
    EXPECT_EQ(0, std::count(steps.calls.begin(), steps.calls.end(), std::string("phase"))) << "nothing examined";
    EXPECT_EQ(0, steps.bootPhases) << "no thread of its own";
}

// The boot-record phase of the last run still changing the disk: a new run is refused until it ends.
TEST_F(ScanControllerTest, NoNewRunWhileTheBootRecordPhaseRuns) {
    Init();
    steps.phaseRunning = true;
    EXPECT_EQ(E_FAIL, controller->StartScan(kModeRemovable));
    EXPECT_FALSE(controller->IsBusy());
    steps.phaseRunning = false;
    prompter.answers = {IDOK};
    EXPECT_EQ(S_OK, controller->StartScan(kModeRemovable));
    WaitDone();
}

TEST_F(ScanControllerTest, SilentRunClosesTheWindowInsteadOfAsking) {
    Init();
    controller->SetSilent(true);
    steps.during["walk"] = [&] {
        controller->AddFilesExamined();
        controller->AddThreatsFound();
    };
    Run(4);
    controller->OnScanDone(window);
    EXPECT_EQ(1, window.closes);
    EXPECT_EQ(0, steps.bootPhases);
    EXPECT_TRUE(prompter.asked.empty());
}

TEST_F(ScanControllerTest, FailedFixedPathLoadLeavesNoWorker) {
    steps.fixedPathsLoad = false;
    EXPECT_EQ(E_FAIL, controller->InitController(window.hwnd));
    ASSERT_EQ(1u, prompter.asked.size());
    EXPECT_EQ(L"错误", prompter.asked[0].caption);
    EXPECT_EQ(L"可能由于程序被病毒破坏，导致运行出错，请下载最新版本！", prompter.asked[0].text);
    EXPECT_EQ(1u, launcher.opened.size());
    EXPECT_EQ(E_FAIL, controller->StartScan(4)) << "refused, never busy for good";
    EXPECT_FALSE(controller->IsBusy());
}

TEST_F(ScanControllerTest, InitialisesOnlyOnce) {
    Init();
    EXPECT_EQ(E_FAIL, controller->InitController(window.hwnd));
}

TEST_F(ScanControllerTest, ShutdownWhileAWalkRunsStopsTheWorker) {
    Init();
    KernelHandle entered(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    bool stopSeenInWalk = false;
    steps.during["walk"] = [&] {
        ::SetEvent(entered.Get());
        while (!controller->IsStopRequested()) ::Sleep(1);  // a walker testing its stop flag
        stopSeenInWalk = true;
    };
    ASSERT_EQ(S_OK, controller->StartScan(4));
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(entered.Get(), 10000));
    controller->ShutdownController();
    EXPECT_TRUE(stopSeenInWalk);
    EXPECT_EQ(E_FAIL, controller->StartScan(4));
}

// A worker that takes long to finish its entry after the stop is waited for, never ended by force, and the
// cleaners are released only once it has left.
TEST_F(ScanControllerTest, ShutdownWaitsForTheWorkerBeforeReleasingTheCleaners) {
    Init();
    KernelHandle entered(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::atomic<bool> entryFinished{false};
    bool finishedAtRelease = false;
    int releases = 0;
    steps.during["walk"] = [&] {
        ::SetEvent(entered.Get());
        while (!controller->IsStopRequested()) ::Sleep(1);
        ::Sleep(2500);  // the file it is at is large
        entryFinished = true;
    };
    steps.onRelease = [&] {
        finishedAtRelease = entryFinished;
        ++releases;
    };
    ASSERT_EQ(S_OK, controller->StartScan(4));
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(entered.Get(), 10000));
    controller->ShutdownController();
    EXPECT_TRUE(entryFinished) << "the worker was not cut off";
    EXPECT_TRUE(finishedAtRelease) << "nothing is released while the worker may use it";
    EXPECT_EQ(1, releases);
}

// The program's own steps behind the controller: a folder scan (mode 5) cleans for real.
TEST(ProgramSteps, AFolderScanFindsAndRemovesThreats) {
    ScratchDir dir;
    ASSERT_TRUE(::CreateDirectoryW((dir / L"sub").c_str(), nullptr));
    ASSERT_TRUE(WriteBytes(dir / L"sub\\listed.bin", BytesWithCrc(3004, kListedCrc, 4)));
    ASSERT_TRUE(WriteBytes(dir / L"sub\\clean.txt", PatternBytes(3000, 5)));

    FakeDrives drives;
    drives.types = {{L"U:\\", 2}};
    ProgramScanSteps steps;
    ScriptedPrompter prompter;
    RecordingLauncher launcher;
    RecordingRestarter restarter;
    ControllerSeams seams{prompter, launcher, restarter};
    seams.explorerDelayMs = 0;
    HWND hwnd = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, hwnd);
    {
        ScanController controller(steps, drives, seams);
        ASSERT_EQ(S_OK, controller.InitController(hwnd)) << "the shipped known-path list loads";
        controller.SetDirectoryList({dir.Path()});
        ASSERT_EQ(S_OK, controller.StartScan(kModeDirectories));
        WaitForScanDone(hwnd, controller);
        ScanStats s;
        controller.SnapshotCounters(s);
        EXPECT_EQ(2u, s.FilesExamined);
        EXPECT_EQ(1u, s.ThreatsFound);
        EXPECT_EQ(1u, s.Deleted);
        controller.ShutdownController();
    }
    ::DestroyWindow(hwnd);
    EXPECT_FALSE(FileExists(dir / L"sub\\listed.bin"));
    EXPECT_TRUE(FileExists(dir / L"sub\\clean.txt"));
    ASSERT_EQ(1u, launcher.commands.size());
    EXPECT_NE(std::string::npos, launcher.commands[0].find("explorer.exe"));
}

// The threads this process runs now.
std::vector<DWORD> ProcessThreads() {
    std::vector<DWORD> ids;
    KernelHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 t = {};
    t.dwSize = sizeof t;
    for (BOOL more = ::Thread32First(snapshot.Get(), &t); more; more = ::Thread32Next(snapshot.Get(), &t))
        if (t.th32OwnerProcessID == ::GetCurrentProcessId()) ids.push_back(t.th32ThreadID);
    return ids;
}

// The user closes the window while the program's own steps scan a stick of thousands of files, again and again
// at other moments: every close stops and joins the worker before anything is released, and no run crashes.
TEST(MainWindowClose, InTheMiddleOfAScanAgainAndAgain) {
    ScratchDir dir;
    constexpr int kFolders = 40, kFilesPerFolder = 100;
    for (int f = 0; f < kFolders; ++f) {
        const std::wstring folder = dir / (L"folder" + std::to_wstring(f));
        ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
        for (int i = 0; i < kFilesPerFolder; ++i)
            ASSERT_TRUE(WriteBytes(folder + L"\\file" + std::to_wstring(i) + (i % 3 ? L".txt" : L".exe"),
                                   PatternBytes(1100 + 7 * i, i)));  // a file of 1 KiB or less is not read
    }
    FakeDrives drives;
    drives.types = {{L"U:\\", 2}};
    ScriptedPrompter prompter;
    RecordingLauncher launcher;
    RecordingRestarter restarter;
    ControllerSeams seams{prompter, launcher, restarter};
    seams.explorerDelayMs = 0;
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        const std::vector<DWORD> before = ProcessThreads();
        ProgramScanSteps steps;
        CMainDlg window(MainWindowServices{steps, drives, seams});
        g_StartupScanRequest = StartupScanRequest();
        g_StartupScanRequest.directories = true;
        ASSERT_TRUE(window.Create({dir.Path()}));
        // Closed once the scan is this far in, as a user's click would close it.
        const std::uint32_t closeAt = 50 + 400 * std::uint32_t(round);
        std::atomic<bool> reached{false};
        std::thread user([&] {
            const DWORD deadline = ::GetTickCount() + 30000;
            ScanStats s;
            do {
                ::Sleep(1);
                window.Controller().SnapshotCounters(s);
            } while (s.FilesExamined < closeAt && ::GetTickCount() < deadline);
            reached = s.FilesExamined >= closeAt;
            ::PostMessageW(window.Handle(), WM_CLOSE, 0, 0);
        });
        window.RunMessageLoop(SW_HIDE);
        user.join();
        EXPECT_TRUE(reached) << "the scan got under way";
        ScanStats s;
        window.Controller().SnapshotCounters(s);
        EXPECT_LT(s.FilesExamined, std::uint32_t(kFolders * kFilesPerFolder)) << "closed before the scan was over";
        EXPECT_FALSE(window.Controller().IsBusy());
        for (DWORD id : ProcessThreads())
            EXPECT_NE(before.end(), std::find(before.begin(), before.end(), id)) << "thread " << id << " is still running";
    }
}

}  // namespace
