// The activity log file as Windows sees it: location, size rule, stamps, encoding and clean-up.
#include <gtest/gtest.h>

#include <cwchar>

#include "TestSupport.h"
#include "log/LogFile.h"
#include "log/LogFormat.h"
#include "log/VLogger.h"
#include "util/ProgramPath.h"
#include "util/WinHandle.h"

namespace {

// A logger writing dir\name, leaving the process's own log path alone.
struct TestLog {
    explicit TestLog(const ScratchDir& dir, const wchar_t* name = L"\\test.log") {
        std::wcscpy(path, dir.Path().c_str());
        logger = std::make_unique<VLogger>(name, false, path);
    }
    wchar_t path[MAX_PATH] = {};
    std::unique_ptr<VLogger> logger;
};

TEST(VLogger, StampsFirstItemOfEveryLineOnly) {
    ScratchDir dir;
    TestLog log(dir);
    VLogger& l = *log.logger;
    l << L"a" << LogCtl_NoStamp << L"b" << LogCtl_EndLine;  // one stamp
    l << L"c" << L"d" << LogCtl_EndLine;                     // no NoStamp between: both stamped
    l << 7 << LogCtl_NoStamp << 8u << LogCtl_NoStamp << -9L << LogCtl_NoStamp << 10UL << LogCtl_NoStamp << L'x'
      << LogCtl_EndLine;
    log.logger->Close();
    const std::string s = TodayStamp();
    EXPECT_EQ(s + "ab\r\n" + s + "c" + s + "d\r\n" + s + "78-910x\r\n", ReadText(log.path));
}

TEST(VLogger, LastErrorIsWrittenWithoutStampAndKeepsTheStampState) {
    ScratchDir dir;
    TestLog log(dir);
    VLogger& l = *log.logger;
    ::SetLastError(5);
    l << LogCtl_LastError << L"x" << LogCtl_EndLine;  // the stamp still comes with the first data item
    l << L"y" << LogCtl_NoStamp;
    ::SetLastError(1234);
    l << LogCtl_LastError << L"z" << LogCtl_EndLine;
    log.logger->Close();
    const std::string s = TodayStamp();
    EXPECT_EQ("[5]" + s + "x\r\n" + s + "y[1234]z\r\n", ReadText(log.path));
}

TEST(VLogger, NullStringAndUnknownControlDoNotBreakTheLog) {
    ScratchDir dir;
    TestLog log(dir);
    *log.logger << static_cast<const wchar_t*>(nullptr) << LogCtl_NoStamp << static_cast<LogCtl>(9) << L"after"
                << LogCtl_EndLine;
    log.logger->Close();
    EXPECT_EQ(TodayStamp() + "after\r\n", ReadText(log.path));
}

TEST(VLogger, WritesTheAnsiCodePage) {
    ASSERT_EQ(936u, ::GetACP()) << "the tests run Wine with the Simplified-Chinese locale";
    ScratchDir dir;
    TestLog log(dir);
    *log.logger << L"病毒\n删除成功" << LogCtl_EndLine;
    log.logger->Close();
    EXPECT_EQ(Hex(TodayStamp()) + "b2a1b6be" "0d0a" "c9beb3fdb3c9b9a6" "0d0a", Hex(ReadText(log.path)));
}

TEST(VLogger, AppendsBelowSixtyFourKibAndEmptiesAtIt) {
    ScratchDir dir;
    struct Case {
        std::size_t size;
        bool kept;
    } cases[] = {{0, true}, {65535, true}, {65536, false}, {70000, false}};
    for (const auto& c : cases) {
        const std::wstring file = dir / L"test.log";
        const std::string old(c.size, 'o');
        ASSERT_TRUE(WriteBytes(file, old));
        {
            TestLog log(dir);
            *log.logger << L"n" << LogCtl_EndLine;
        }
        EXPECT_EQ((c.kept ? old : std::string()) + TodayStamp() + "n\r\n", ReadText(file)) << "size " << c.size;
    }
}

TEST(VLogger, CreatesAMissingLogAtOnce) {
    ScratchDir dir;
    TestLog log(dir, L"\\new.log");
    EXPECT_TRUE(FileExists(dir / L"new.log"));
    EXPECT_FALSE(LogHasContent(log.path));
}

TEST(VLogger, FailedOpenWritesNothing) {
    ScratchDir dir;
    wchar_t path[MAX_PATH] = {};
    std::wcscpy(path, (dir / L"no\\such\\folder").c_str());
    VLogger l(L"\\x.log", false, path);
    EXPECT_FALSE(l.IsOpen());
    EXPECT_TRUE(l.OpenError());
    l << L"lost" << LogCtl_EndLine;
    EXPECT_FALSE(FileExists(std::wstring(path)));
}

TEST(VLogger, OverlongPathLeavesTheLogClosed) {
    wchar_t path[MAX_PATH] = {};
    std::wcscpy(path, (L"U:\\" + std::wstring(240, L'a')).c_str());
    VLogger l(L"\\a-name-that-no-longer-fits.log", false, path);
    EXPECT_FALSE(l.IsOpen());
    EXPECT_EQ(DWORD(ERROR_FILENAME_EXCED_RANGE), l.OpenError().code);
}

class CompanionService : public ::testing::Test {
protected:
    static constexpr const wchar_t* kKey = L"SYSTEM\\CurrentControlSet\\Services\\Velmora GX500 Service";
    void SetUp() override {
        wchar_t cwd[MAX_PATH];
        ::GetCurrentDirectoryW(MAX_PATH, cwd);
        m_cwd = cwd;
    }
    void TearDown() override {
        ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, kKey);
        ::SetCurrentDirectoryW(m_cwd.c_str());
    }
    void Register(const std::wstring& imagePath) {
        RegKey key;
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                                   key.Put(), nullptr));
        ASSERT_EQ(ERROR_SUCCESS,
                  ::RegSetValueExW(key.Get(), L"ImagePath", 0, REG_EXPAND_SZ,
                                   reinterpret_cast<const BYTE*>(imagePath.c_str()),
                                   DWORD((imagePath.size() + 1) * sizeof(wchar_t))));
    }
    std::wstring m_cwd;
};

TEST_F(CompanionService, LogGoesIntoTheServiceFolder) {
    ScratchDir dir;
    const std::wstring svcDir = dir / L"gx500";
    ASSERT_TRUE(::CreateDirectoryW(svcDir.c_str(), nullptr));
    Register(svcDir + L"\\gxsvc.exe");
    wchar_t path[MAX_PATH] = {};
    {
        VLogger l(L"\\svc.log", true, path);
        EXPECT_TRUE(l.IsOpen());
    }
    EXPECT_EQ(svcDir + L"\\svc.log", std::wstring(path));
    EXPECT_TRUE(FileExists(svcDir + L"\\svc.log"));
    wchar_t cwd[MAX_PATH];
    ::GetCurrentDirectoryW(MAX_PATH, cwd);
    EXPECT_EQ(0, _wcsicmp(svcDir.c_str(), cwd)) << "the log folder becomes the current directory";
}

TEST_F(CompanionService, OverlongValueFallsBackToTheProgramFolder) {
    Register(L"C:\\" + std::wstring(260, L'x') + L"\\svc.exe");  // more than 512 bytes
    EXPECT_EQ(ProgramFolder(), ResolveLogFolder());
}

TEST_F(CompanionService, WithoutServiceTheProgramFolderIsUsed) {
    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, kKey);
    EXPECT_EQ(ProgramFolder(), ResolveLogFolder());
    // The process's own logger is made the same way, at its first use.
    ProcessLogger();
    EXPECT_EQ(ProgramFolder() + L"\\Cleaner.log", std::wstring(g_szLogPath));
}

TEST(LogHasContent, OnlyExistingNonEmptyFiles) {
    ScratchDir dir;
    ASSERT_TRUE(WriteBytes(dir / L"empty.log", std::string()));
    ASSERT_TRUE(WriteBytes(dir / L"full.log", std::string("x")));
    EXPECT_FALSE(LogHasContent((dir / L"empty.log").c_str()));
    EXPECT_TRUE(LogHasContent((dir / L"full.log").c_str()));
    EXPECT_FALSE(LogHasContent((dir / L"missing.log").c_str()));
    EXPECT_FALSE(LogHasContent(L"U:"));
    EXPECT_FALSE(LogHasContent(nullptr));
}

TEST(CleanUpEmptyLog, DeletesAnEmptyLogStillHeldByTheLogger) {
    ScratchDir dir;
    TestLog log(dir, L"\\Cleaner.log");
    ASSERT_TRUE(log.logger->IsOpen());
    CleanUpEmptyLog(*log.logger, dir.Path());
    EXPECT_FALSE(FileExists(dir / L"Cleaner.log"));
    EXPECT_FALSE(log.logger->IsOpen());
}

TEST(CleanUpEmptyLog, KeepsALogWithContent) {
    ScratchDir dir;
    TestLog log(dir, L"\\Cleaner.log");
    *log.logger << L"finding" << LogCtl_EndLine;
    CleanUpEmptyLog(*log.logger, dir.Path());
    EXPECT_TRUE(FileExists(dir / L"Cleaner.log"));
    EXPECT_TRUE(log.logger->IsOpen());
}

}  // namespace
