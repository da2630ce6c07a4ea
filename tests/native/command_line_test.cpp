#include <gtest/gtest.h>

#include "app/CommandLine.h"

namespace {

struct Expect {
    bool silent = false, noOne = false, full = false, usb = false, all = false, sdir = false;
    std::vector<std::wstring> dirs;
    std::vector<long> ids;
    int handOver = 0;
};

void Check(const std::vector<std::wstring>& argsAfterProgram, const Expect& e) {
    std::vector<std::wstring> args = {L"C:\\tools\\veludisk.exe"};
    args.insert(args.end(), argsAfterProgram.begin(), argsAfterProgram.end());
    std::wstring shown;
    for (const auto& a : argsAfterProgram) shown += L" " + a;
    SCOPED_TRACE(std::string(shown.begin(), shown.end()));
    const CommandLineOptions o = ParseCommandLine(args);
    EXPECT_EQ(e.silent, o.silent);
    EXPECT_EQ(e.noOne, o.noOne);
    EXPECT_EQ(e.full, o.request.full);
    EXPECT_EQ(e.usb, o.request.removable);
    EXPECT_EQ(e.all, o.request.all);
    EXPECT_EQ(e.sdir, o.request.directories);
    EXPECT_EQ(e.dirs, o.directories);
    EXPECT_EQ(e.ids, o.handOverIds);
    EXPECT_EQ(e.handOver, o.handOverResult);
}

TEST(CommandLine, ScanRequests) {
    Check({}, {});
    Check({L"/f"}, [] { Expect e; e.full = true; return e; }());
    Check({L"/usb", L"/f"}, [] { Expect e; e.usb = true; e.handOver = 1; return e; }());  // leftmost counts
    Check({L"/a", L"/usb"}, [] { Expect e; e.all = true; e.handOver = 1; return e; }());
    Check({L"/F"}, {});  // options are case-sensitive
    Check({L"/s"}, [] { Expect e; e.silent = true; return e; }());
    Check({L"/noone"}, [] { Expect e; e.noOne = true; return e; }());
}

TEST(CommandLine, Directories) {
    Check({L"/sdir", L"D:\\a;E:\\bc"}, [] { Expect e; e.sdir = true; e.dirs = {L"D:\\a", L"E:\\bc"}; e.handOver = 1; return e; }());
    Check({L"/sdir", L"D:\\x"}, [] { Expect e; e.sdir = true; e.dirs = {L"D:\\x"}; e.handOver = 1; return e; }());
    Check({L"/sdir", L"relative\\x"}, [] { Expect e; e.handOver = 1; return e; }());  // no ":\"
    Check({L"/sdir"}, {});  // needs more than two arguments in all
    Check({L"/sdir", L"D:\\a;;E:\\b;"}, [] { Expect e; e.sdir = true; e.dirs = {L"D:\\a", L"E:\\b"}; e.handOver = 1; return e; }());
    // A later invalid value stops parsing; what was recorded stays.
    Check({L"/sdir", L"D:\\a", L"/sdir", L"nodrive", L"/sdir", L"E:\\b"},
          [] { Expect e; e.sdir = true; e.dirs = {L"D:\\a"}; e.handOver = 1; return e; }());
    // Too long to hold: refused whole, never cut into another path.
    Check({L"/sdir", L"D:\\" + std::wstring(257, L'x')}, [] { Expect e; e.handOver = 1; return e; }());
    Check({L"/sdir", L"D:\\" + std::wstring(256, L'x')},
          [] { Expect e; e.sdir = true; e.dirs = {L"D:\\" + std::wstring(256, L'x')}; e.handOver = 1; return e; }());
}

TEST(CommandLine, UpdateHandOver) {
    Check({L"/u", L"1234"}, [] { Expect e; e.ids = {1234}; e.handOver = 1; return e; }());
    Check({L"/u", L"4", L"/sdir", L"D:\\x"},
          [] { Expect e; e.sdir = true; e.dirs = {L"D:\\x"}; e.handOver = 0; return e; }());  // stops at 4
    Check({L"/u", L"abc"}, [] { Expect e; e.handOver = 0; return e; }());  // not a number: 0
    Check({L"/u", L"/u", L"77"}, [] { Expect e; e.handOver = 0; return e; }());  // "/u" read as the id: 0
    Check({L"/u", L"12", L"/u", L"34"}, [] { Expect e; e.ids = {12, 34}; e.handOver = 1; return e; }());
    Check({L"/u"}, {});  // not more than two arguments: not looked at
    Check({L"/s", L"/u", L"99"}, [] { Expect e; e.silent = true; return e; }());  // silent runs no hand-over
}

TEST(Edition, IntegratedOnlyByFileName) {
    EXPECT_EQ(1, EditionFromPath(L"C:\\tools\\veludisk.exe"));
    EXPECT_EQ(0, EditionFromPath(L"C:\\tools\\VelUsbKill.EXE"));
    EXPECT_EQ(0, EditionFromPath(L"C:\\velusbkill.exe\\other.exe"));
    EXPECT_EQ(1, EditionFromPath(L"C:"));
    EXPECT_EQ(1, EditionFromPath(L""));
}

TEST(WindowsVersion, Classes) {
    EXPECT_EQ(1, WindowsVersionClassOf(2, 5, 1));
    EXPECT_EQ(2, WindowsVersionClassOf(2, 6, 0));
    EXPECT_EQ(3, WindowsVersionClassOf(2, 6, 1));
    EXPECT_EQ(0, WindowsVersionClassOf(2, 5, 2));
    EXPECT_EQ(0, WindowsVersionClassOf(2, 10, 0));
    EXPECT_EQ(0, WindowsVersionClassOf(1, 5, 1));
}

}  // namespace
