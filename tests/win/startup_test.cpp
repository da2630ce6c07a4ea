// Start-up under Wine: registry bookkeeping, version classes, edition, the update hand-over, and single
// instance across real processes.
#include <gtest/gtest.h>

#include "Doubles.h"
#include "TestSupport.h"
#include "app/Globals.h"
#include "app/Startup.h"
#include "util/ProgramPath.h"
#include "util/WinHandle.h"

namespace {

using Child = ChildProcess;
Child Start(const std::wstring& exe, const std::wstring& args) { return StartProcess(exe, args); }

DWORD ExitCodeOf(Child& c, DWORD timeoutMs = 20000) {
    if (::WaitForSingleObject(c.process.Get(), timeoutMs) != WAIT_OBJECT_0) return 0xDEAD;
    DWORD code = 0;
    ::GetExitCodeProcess(c.process.Get(), &code);
    return code;
}


std::wstring Beside(const wchar_t* name) { return ProgramFolder() + L"\\" + name; }

TEST(RecordInstall, WritesTheProductKeyAndRaisesTheFirstRunNoticeOnce) {
    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, kProductKey);
    g_Notices.runInstall = 0;
    g_Notices.usbVInstall = 0;
    ASSERT_EQ(1, RecordInstall(1));
    RegKey key;
    ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kProductKey, 0, KEY_READ | KEY_SET_VALUE, key.Put()));
    DWORD value = 0, size = sizeof value, type = 0;
    ASSERT_EQ(ERROR_SUCCESS, ::RegQueryValueExW(key.Get(), L"veludisk.exe", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size));
    EXPECT_EQ(DWORD(REG_DWORD), type);
    EXPECT_EQ(1u, value);
    size = sizeof value;
    ASSERT_EQ(ERROR_SUCCESS, ::RegQueryValueExW(key.Get(), L"RunOnceVmb", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size));
    EXPECT_EQ(1u, value);
    wchar_t path[MAX_PATH] = {};
    size = sizeof path;
    ASSERT_EQ(ERROR_SUCCESS, ::RegQueryValueExW(key.Get(), L"Path", nullptr, &type, reinterpret_cast<BYTE*>(path), &size));
    EXPECT_EQ(DWORD(REG_SZ), type);
    EXPECT_EQ(ProgramFolder(), std::wstring(path));
    EXPECT_EQ((ProgramFolder().size() + 1) * sizeof(wchar_t), size) << "stored with its terminator";
    EXPECT_EQ(1, g_Notices.runInstall.load());
    EXPECT_EQ(0, g_Notices.usbVInstall.load());

    g_Notices.runInstall = 0;
    ASSERT_EQ(1, RecordInstall(1));
    EXPECT_EQ(0, g_Notices.runInstall.load()) << "only the first run";

    ::RegDeleteValueW(key.Get(), L"RunOnceVmb");
    ASSERT_EQ(1, RecordInstall(0));
    EXPECT_EQ(1, g_Notices.usbVInstall.load()) << "the integrated edition's notice";
    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, kProductKey);
}

class VersionClass : public ::testing::Test {
protected:
    static constexpr const wchar_t* kKey = L"Software\\Wine\\AppDefaults\\startup_probe.exe";
    void TearDown() override { ::RegDeleteKeyW(HKEY_CURRENT_USER, kKey); }
};

TEST_F(VersionClass, FollowsTheWindowsVersion) {
    const struct {
        const wchar_t* version;
        DWORD expected;
    } cases[] = {{L"winxp", 1}, {L"vista", 2}, {L"win7", 3}, {L"win10", 0}};
    for (const auto& c : cases) {
        RegKey key;
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                                   key.Put(), nullptr));
        ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExW(key.Get(), L"Version", 0, REG_SZ,
                                                  reinterpret_cast<const BYTE*>(c.version),
                                                  DWORD((std::wcslen(c.version) + 1) * sizeof(wchar_t))));
        key.Reset();
        Child probe = Start(Beside(L"startup_probe.exe"), L"version");
        ASSERT_TRUE(probe.process.Valid());
        EXPECT_EQ(c.expected, ExitCodeOf(probe)) << c.version;
    }
}

TEST(Edition, IntegratedWhenNamedVelusbkill) {
    ScratchDir dir;
    const std::wstring copy = dir / L"VelUsbKill.exe";
    ASSERT_TRUE(::CopyFileW(Beside(L"startup_probe.exe").c_str(), copy.c_str(), FALSE));
    Child integrated = Start(copy, L"edition");
    EXPECT_EQ(0u, ExitCodeOf(integrated));
    Child standalone = Start(Beside(L"startup_probe.exe"), L"edition");
    EXPECT_EQ(1u, ExitCodeOf(standalone));
}

TEST(UpdateHandOver, LeavesAProcessOfAnotherProgramAlone) {
    Child other = Start(Beside(L"startup_probe.exe"), L"sleep");
    ASSERT_TRUE(other.process.Valid());
    ScriptedPrompter prompter;
    CommandLineOptions o;
    o.handOverIds = {long(other.pid), long(::GetCurrentProcessId())};
    o.handOverResult = 1;
    EXPECT_EQ(1, UpdateHandOver(o, prompter));
    EXPECT_TRUE(StillRunning(other));
    EXPECT_TRUE(prompter.asked.empty()) << "no hand-over happened, so nothing is announced";
    ::TerminateProcess(other.process.Get(), 0);
}

TEST(UpdateHandOver, EndsTheOldCopyAndDeletesItsBackup) {
    const std::wstring own = ProgramFilePath();
    const std::wstring backup = own + L"_bak";
    ASSERT_TRUE(::CopyFileW(own.c_str(), backup.c_str(), FALSE));
    // The updater's old process runs from the "_bak" copy it renamed itself to.
    Child old = Start(backup, L"--sleep");
    ASSERT_TRUE(old.process.Valid());
    ::Sleep(300);
    ScriptedPrompter prompter;
    CommandLineOptions o;
    o.handOverIds = {long(old.pid)};
    o.handOverResult = 1;
    EXPECT_EQ(1, UpdateHandOver(o, prompter));
    EXPECT_EQ(0u, ExitCodeOf(old, 5000));
    ASSERT_EQ(1u, prompter.asked.size());
    EXPECT_EQ(L"自更新通知", prompter.asked[0].caption);
    EXPECT_EQ(L"当前专杀升级为最新版本！", prompter.asked[0].text);
    EXPECT_EQ(UINT(MB_OK), prompter.asked[0].style);
    EXPECT_FALSE(FileExists(backup));
}

TEST(UpdateHandOver, EndsAProcessOfThisVeryFile) {
    Child same = Start(ProgramFilePath(), L"--sleep");
    ASSERT_TRUE(same.process.Valid());
    ::Sleep(300);
    ScriptedPrompter prompter;
    CommandLineOptions o;
    o.handOverIds = {long(same.pid)};
    o.handOverResult = 1;
    UpdateHandOver(o, prompter);
    EXPECT_EQ(0u, ExitCodeOf(same, 5000));
    EXPECT_EQ(1u, prompter.asked.size());
}

// Several instances of the start-up sequence, each its own process.
class SingleInstance : public ::testing::Test {
protected:
    void SetUp() override {
        ::SetEnvironmentVariableW(L"VELUDISK_TEST_MARKER_DIR", markers.Path().c_str());
        ::SetEnvironmentVariableW(L"VELUDISK_TEST_RISK_ANSWER", L"yes");
        restoreEvent.Reset(::CreateEventW(nullptr, TRUE, FALSE, kRestoreEventName));
    }
    void TearDown() override {
        for (auto* c : {&first, &other}) {
            if (c->process && StillRunning(*c)) ::TerminateProcess(c->process.Get(), 0);
            if (c->process) ::WaitForSingleObject(c->process.Get(), 5000);
        }
    }
    Child Host(const std::wstring& args) { return Start(Beside(L"startup_host.exe"), args); }
    bool Ran(const Child& c) { return FileExists(markers / (L"ran-" + std::to_wstring(c.pid))); }

    // The first instance's window, once it has published it.
    HWND PublishedWindow() {
        for (int i = 0; i < 200; ++i) {
            KernelHandle section(::OpenFileMappingW(FILE_MAP_READ, FALSE, kSingleInstanceSection));
            if (section) {
                void* view = ::MapViewOfFile(section.Get(), FILE_MAP_READ, 0, 0, 4);
                const DWORD value = view ? *static_cast<const volatile DWORD*>(view) : 0;
                if (view) ::UnmapViewOfFile(view);
                if (value) return reinterpret_cast<HWND>(static_cast<UINT_PTR>(value));
            }
            ::Sleep(50);
        }
        return nullptr;
    }
    bool WaitFor(const std::function<bool()>& condition) {
        for (int i = 0; i < 100; ++i) {
            if (condition()) return true;
            ::Sleep(50);
        }
        return condition();
    }

    // A first instance whose window is minimised, so that a restore shows.
    HWND StartFirstMinimized() {
        first = Host(L"");
        const HWND window = PublishedWindow();
        if (!window) return nullptr;
        ::ShowWindow(window, SW_MINIMIZE);
        return WaitFor([&] { return ::IsIconic(window) != 0; }) ? window : nullptr;
    }

    ScratchDir markers;
    KernelHandle restoreEvent;
    Child first, other;
};

TEST_F(SingleInstance, SecondStartRestoresTheFirst) {
    const HWND window = StartFirstMinimized();
    ASSERT_NE(nullptr, window);
    EXPECT_TRUE(Ran(first));

    other = Host(L"");
    EXPECT_EQ(0u, ExitCodeOf(other));
    EXPECT_FALSE(Ran(other)) << "the second instance shows no window";
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(restoreEvent.Get(), 5000)) << "the restore event is signalled";
    EXPECT_TRUE(WaitFor([&] { return ::IsIconic(window) == 0; })) << "the first window is restored";
    EXPECT_TRUE(StillRunning(first));
}

TEST_F(SingleInstance, SilentSecondStartLeavesTheFirstAlone) {
    const HWND window = StartFirstMinimized();
    ASSERT_NE(nullptr, window);

    other = Host(L"/s");
    EXPECT_EQ(0u, ExitCodeOf(other));
    EXPECT_FALSE(Ran(other));
    ::Sleep(300);
    EXPECT_EQ(WAIT_TIMEOUT, ::WaitForSingleObject(restoreEvent.Get(), 0));
    EXPECT_TRUE(::IsIconic(window)) << "not restored";
}

TEST_F(SingleInstance, NoOneSkipsTheSectionSoALaterStartRunsToo) {
    first = Host(L"/noone");
    ASSERT_TRUE(WaitFor([&] { return Ran(first); }));
    ::Sleep(300);
    EXPECT_FALSE(KernelHandle(::OpenFileMappingW(FILE_MAP_READ, FALSE, kSingleInstanceSection)).Valid())
        << "no section was created";
    other = Host(L"");
    ASSERT_TRUE(WaitFor([&] { return Ran(other); })) << "a plain start finds no first instance and runs";
    EXPECT_NE(nullptr, PublishedWindow());
    EXPECT_TRUE(StillRunning(first));
    EXPECT_TRUE(StillRunning(other));
}

TEST_F(SingleInstance, DecliningTheRiskStatementRunsNothing) {
    const HWND window = StartFirstMinimized();
    ASSERT_NE(nullptr, window);

    ::SetEnvironmentVariableW(L"VELUDISK_TEST_RISK_ANSWER", L"no");
    other = Host(L"");
    EXPECT_EQ(0u, ExitCodeOf(other));
    EXPECT_FALSE(Ran(other)) << "no window";
    EXPECT_EQ(WAIT_TIMEOUT, ::WaitForSingleObject(restoreEvent.Get(), 300))
        << "it never reached the single-instance check";
    EXPECT_TRUE(::IsIconic(window));
}

TEST_F(SingleInstance, FirstInstanceClosesWithItsWindow) {
    first = Host(L"");
    const HWND window = PublishedWindow();
    ASSERT_NE(nullptr, window);
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(0u, ExitCodeOf(first, 10000));
}

}  // namespace
