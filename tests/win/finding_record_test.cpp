// Finding lines as they land in the file, byte for byte.
#include <gtest/gtest.h>

#include <cwchar>

#include "TestSupport.h"
#include "disposal/FindingRecord.h"
#include "log/LogFormat.h"
#include "log/VLogger.h"

namespace {

TEST(RecordFinding, GoldenBytes) {
    ScratchDir dir;
    wchar_t path[MAX_PATH] = {};
    std::wcscpy(path, dir.Path().c_str());
    {
        VLogger logger(L"\\Cleaner.log", false, path);
        EXPECT_EQ(S_OK, RecordFinding(logger, L"0123456789abcdef0123456789abcdef", 150984061u, L"U:\\病毒.exe",
                                      kOutcomeDeleted, kThreatAutorun));
        EXPECT_EQ(S_OK, RecordFinding(logger, nullptr, 0, L"C:\\x.exe", kOutcomeRebootDelete, 4294967295u));
        EXPECT_EQ(S_OK, RecordFinding(logger, nullptr, 1, L"U:\\a.doc", kOutcomeRepaired, kThreatCrc));
    }
    const std::string s = Hex(TodayStamp());
    const std::string expected =
        s + Hex(",,U:\\") + "b2a1b6be" + Hex(".exe,,") + "c9beb3fdb3c9b9a6" +
        Hex(",,4,,0123456789abcdef0123456789abcdef,,150984061\r\n") +
        s + Hex(",,C:\\x.exe,,") + "d6d8c6f4c9beb3fd" + Hex(",,4294967295,,000000000000000000,,0\r\n") +
        s + Hex(",,U:\\a.doc,,") + "d0deb8b4b3c9b9a6" + Hex(",,1,,000000000000000000,,1\r\n");
    EXPECT_EQ(expected, Hex(ReadText(path)));
}

TEST(RecordFinding, RefusesAMissingPath) {
    ScratchDir dir;
    wchar_t path[MAX_PATH] = {};
    std::wcscpy(path, dir.Path().c_str());
    {
        VLogger logger(L"\\Cleaner.log", false, path);
        EXPECT_EQ(E_FAIL, RecordFinding(logger, nullptr, 0, L"", kOutcomeDeleted, 0));
        EXPECT_EQ(E_FAIL, RecordFinding(logger, nullptr, 0, nullptr, kOutcomeDeleted, 0));
    }
    EXPECT_EQ("", ReadText(path));
}

TEST(RecordFinding, ProcessLoggerWritesCleanerLogBesideTheProgram) {
    ProcessLogger();  // made at its first use
    const std::string before = ReadText(g_szLogPath);
    ASSERT_EQ(S_OK, RecordFinding(nullptr, 7, L"U:\\probe.exe", kOutcomeDeleted, kThreatCrc));
    const std::string after = ReadText(g_szLogPath);
    EXPECT_EQ(before + TodayStamp() + ",,U:\\probe.exe,," + std::string("\xc9\xbe\xb3\xfd\xb3\xc9\xb9\xa6") +
                  ",,1,,000000000000000000,,7\r\n",
              after);
}

}  // namespace
