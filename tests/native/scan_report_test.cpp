// The console scanner's options, summary and JSON report.
#include <gtest/gtest.h>

#include <set>

#include <algorithm>

#include "app/ScanOptions.h"
#include "scan/ScanReport.h"

namespace {

TEST(ScanOptions, ModesPathsAndSwitches) {
    struct Case {
        std::vector<std::wstring> args;
        bool ok;
        int mode;
        std::size_t paths;
    } cases[] = {
        {{L"--usb"}, true, 4, 0},
        {{L"--system", L"--yes"}, true, 0, 0},
        {{L"--all", L"--quiet", L"--report-only"}, true, 1, 0},
        {{L"D:\\", L"E:\\docs"}, true, 5, 2},
        {{L"--", L"--odd-folder-name"}, true, 5, 1},
        {{}, false, -1, 0},
        {{L"--yes"}, false, -1, 0},
        {{L"--usb", L"--all"}, false, -1, 0},
        {{L"--usb", L"D:\\"}, false, -1, 0},
        {{L"--usbb"}, false, -1, 0},
        {{L"-x", L"D:\\"}, false, -1, 0},
        {{L"--json"}, false, -1, 0},
        {{L"--usb", L"--json", L""}, false, -1, 0},
    };
    for (const auto& c : cases) {
        ScanOptions o;
        std::wstring error;
        const bool ok = ParseScanOptions(c.args, o, error);
        EXPECT_EQ(c.ok, ok) << c.args.size();
        EXPECT_EQ(c.ok, error.empty()) << "a refusal always says why";
        if (ok) {
            EXPECT_EQ(c.mode, o.mode);
            EXPECT_EQ(c.paths, o.paths.size());
        }
    }
    ScanOptions o;
    std::wstring error;
    ASSERT_TRUE(ParseScanOptions({L"--json", L"out.json", L"--report-only", L"--yes", L"--quiet", L"--usb"}, o, error));
    EXPECT_EQ(L"out.json", o.jsonPath);
    EXPECT_TRUE(o.reportOnly && o.yes && o.quiet);
    ASSERT_FALSE(ParseScanOptions({L"--frobnicate"}, o, error));
    EXPECT_EQ(L"\u672a\u77e5\u9009\u9879: --frobnicate", error);  // 未知选项
    EXPECT_NE(std::wstring::npos, std::wstring(kScanUsage).find(L"--report-only"));
}

TEST(ScanReport, Utf8OfWideText) {
    EXPECT_EQ("a\xe5\x88\xa0", ToUtf8(L"a\u5220"));
    std::wstring astral;
    if (sizeof(wchar_t) == 2) {
        astral = {wchar_t(0xD83D), wchar_t(0xDE00)};
        EXPECT_EQ("\xf0\x9f\x98\x80", ToUtf8(astral));
        EXPECT_EQ("\xef\xbf\xbd" "x", ToUtf8(std::wstring{wchar_t(0xD83D), L'x'})) << "unpaired surrogate";
    } else {
        astral = {wchar_t(0x1F600)};
        EXPECT_EQ("\xf0\x9f\x98\x80", ToUtf8(astral));
        EXPECT_EQ("\xef\xbf\xbd", ToUtf8(std::wstring{wchar_t(0xD800)}));
    }
}

TEST(ScanReport, JsonHasEveryCounterAndFindingEscaped) {
    ScanStats s;
    s.FilesExamined = 12;
    s.ThreatsFound = 2;
    s.Deleted = 1;
    s.RebootPending = 1;
    const std::vector<ReportFinding> findings = {
        {L"U:\\a \"b\"\\\u5220.exe", L"\u5220\u9664\u6210\u529f", 4, L"0123456789abcdef0123456789abcdef", 0x08FFD97D},
        {L"U:\\x\ty.bin", L"\u91cd\u542f\u5220\u9664", 1, L"", 0xAB},
    };
    const std::vector<JournalEntry> changes = {
        {"delete-file", {L"U:\\\u5220.exe", L"", L"20"}},
        {"registry-set", {L"HKCU", L"Software\\X", L"load", L"1", L"", L"1", L"0000"}},
    };
    const std::string json = FormatJsonReport("Veludisk test", 4, true, s, findings, changes);
    EXPECT_EQ(
        "{\n  \"build\": \"Veludisk test\",\n  \"mode\": 4,\n  \"reportOnly\": true,\n  \"counters\": {\n"
        "    \"FilesExamined\": 12,\n    \"ThreatsFound\": 2,\n    \"Immunized\": 0,\n    \"Repaired\": 0,\n"
        "    \"Disguised\": 0,\n    \"Deleted\": 1,\n    \"RebootPending\": 1\n  },\n  \"findings\": [\n"
        "    {\"path\": \"U:\\\\a \\\"b\\\"\\\\\xe5\x88\xa0.exe\", \"outcome\": \"\xe5\x88\xa0\xe9\x99\xa4\xe6\x88\x90\xe5\x8a\x9f\", "
        "\"action\": \"delete\", \"threatType\": 4, \"md5\": \"0123456789abcdef0123456789abcdef\", \"crc32\": \"08FFD97D\"},\n"
        "    {\"path\": \"U:\\\\x\\u0009y.bin\", \"outcome\": \"\xe9\x87\x8d\xe5\x90\xaf\xe5\x88\xa0\xe9\x99\xa4\", "
        "\"action\": \"delete at restart\", \"threatType\": 1, \"md5\": null, \"crc32\": \"000000AB\"}\n  ],\n"
        "  \"changes\": [\n    {\"kind\": \"delete-file\", \"subject\": \"U:\\\\\xe5\x88\xa0.exe\"},\n"
        "    {\"kind\": \"registry-set\", \"subject\": \"HKCU\\\\Software\\\\X\\\\load\"}\n  ]\n}\n",
        json);
    const std::string empty = FormatJsonReport("b", 5, false, ScanStats(), {}, {});
    EXPECT_NE(std::string::npos, empty.find("\"findings\": [],\n  \"changes\": []\n}"));
    EXPECT_STREQ("repair", ActionOf(L"\u4fee\u590d\u6210\u529f"));
    EXPECT_STREQ("other", ActionOf(L"?"));
}

TEST(ScanReport, ABootkitFoundStandsBesideTheFindings) {
    ScanStats s;
    s.ThreatsFound = 1;
    const BootRecordFinding boot{L"\\\\.\\PhysicalDrive0", 1, true};
    const std::string json = FormatJsonReport("b", 0, false, s, {}, {{"write-sector", {L"\\\\.\\PhysicalDrive0", L"0:0"}}}, &boot);
    EXPECT_NE(std::string::npos,
              json.find("\"findings\": [],\n  \"bootRecord\": {\"device\": \"\\\\\\\\.\\\\PhysicalDrive0\", \"variant\": 1, "
                        "\"repaired\": true},\n  \"changes\": [\n    {\"kind\": \"write-sector\""))
        << json;
    EXPECT_EQ(std::string::npos, FormatJsonReport("b", 0, false, s, {}, {}).find("bootRecord"));
    EXPECT_EQ(L"  [\u5df2\u4fee\u590d] \\\\.\\PhysicalDrive0  \u9b3c\u5f71\u5f15\u5bfc\u533a\u75c5\u6bd2\uff08\u53d8\u79cd 1\uff09\n",
              FormatBootRecordLine(boot, false));
    EXPECT_NE(std::wstring::npos, FormatBootRecordLine(boot, true).find(L"[\u5c06\u4fee\u590d]"));
    EXPECT_NE(std::wstring::npos, FormatBootRecordLine(BootRecordFinding{L"d", 5, false}, false).find(L"[\u672a\u80fd\u4fee\u590d]"));
}

TEST(ScanReport, SummaryInWordsWithTimeDataAndFolders) {
    ScanStats s;
    s.FilesExamined = 12;
    s.RebootPending = 3;
    const std::wstring summary = FormatSummary(s, RunTotals{2.26, 3u << 20, 41});
    EXPECT_EQ(10, std::count(summary.begin(), summary.end(), L'\n'));
    for (const wchar_t* line : {L"  \u5df2\u68c0\u67e5\u6587\u4ef6            12\n",
                                L"  \u5f85\u91cd\u542f\u5220\u9664             3\n",
                                L"  \u7528\u65f6              2.3 \u79d2\n",
                                L"  \u8bfb\u53d6\u6570\u636e          3.0 MB\n",
                                L"  \u904d\u5386\u6587\u4ef6\u5939            41\n"})
        EXPECT_NE(std::wstring::npos, summary.find(line)) << ToUtf8(line) << "\n" << ToUtf8(summary);
    EXPECT_EQ(std::wstring::npos, summary.find(L"FilesExamined")) << "the JSON keeps the counter names, not the table";
}

TEST(ScanReport, FindingLinesNameKindAndActionInWords) {
    const struct {
        ReportFinding finding;
        bool reportOnly;
        const wchar_t* line;
    } cases[] = {
        {{L"u:\\setup.exe", L"\u5220\u9664\u6210\u529f", 4, L"", 0}, false,
         L"  [\u5220\u9664] U:\\setup.exe  \u81ea\u52a8\u8fd0\u884c\u75c5\u6bd2 (\u7c7b\u578b 4)\n"},
        {{L"U:\\a.exe", L"\u91cd\u542f\u5220\u9664", 1, L"", 0}, false,
         L"  [\u91cd\u542f\u540e\u5220\u9664] U:\\a.exe  CRC\u9ed1\u540d\u5355\u75c5\u6bd2 (\u7c7b\u578b 1)\n"},
        {{L"U:\\r.doc", L"\u4fee\u590d\u6210\u529f", 2, L"", 0}, true,
         L"  [\u5c06\u4fee\u590d] U:\\r.doc  \u4ece\u75c5\u6bd2\u4e2d\u6062\u590d\u7684\u6587\u6863 (\u7c7b\u578b 2)\n"},
        {{L"C:\\x.exe", L"?", 99, L"", 0}, false, L"  [\u5904\u7406] C:\\x.exe  \u5a01\u80c1 (\u7c7b\u578b 99)\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(std::wstring(c.line), FormatFindingLine(c.finding, c.reportOnly)) << ToUtf8(c.line);
    // Every number the program writes has a name of its own.
    std::set<std::wstring> names;
    for (std::uint32_t type : {1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 9u, 10u, 11u, 12u, 13u, 22u})
        names.insert(ThreatKindName(type, L"\u5220\u9664\u6210\u529f"));
    EXPECT_EQ(14u, names.size());
}

}  // namespace

namespace {
// U+20000 in UTF-16, written as code units: the program's text is UTF-16 whatever wchar_t is here.
const std::wstring kIdeographPair{wchar_t(0xD840), wchar_t(0xDC00)};

unsigned LineCells(const std::wstring& line) {
    unsigned n = 0;
    for (wchar_t c : line) n += CellWidth(c);
    return n;
}
}  // namespace

TEST(ProgressLine, CellWidths) {
    EXPECT_EQ(1u, CellWidth(L'a'));
    EXPECT_EQ(1u, CellWidth(L'\\'));
    EXPECT_EQ(2u, CellWidth(L'检'));
    EXPECT_EQ(2u, CellWidth(L'，'));  // full-width comma
    EXPECT_EQ(2u, CellWidth(L'가'));
    const std::wstring pair = kIdeographPair;  // a supplementary ideograph as Windows holds it: two units, two cells
    EXPECT_EQ(2u, CellWidth(pair[0]) + CellWidth(pair[1]));
}

// Whatever the console's width and the folder, the line starts with a carriage return and fills exactly one
// cell less than the width, so it overwrites the last one and never wraps.
TEST(ProgressLine, FillsTheConsoleWithoutWrapping) {
    const std::wstring folders[] = {L"", L"U:\\a\\", L"U:\\作业\\论文\\第三章\\图片\\" + std::wstring(200, L'图') + L"\\",
                                    L"T:\\" + std::wstring(300, L'x') + L"\\end\\",
                                    L"U:\\" + std::wstring(40, L'z') + kIdeographPair + kIdeographPair + kIdeographPair + L"\\"};
    for (unsigned columns : {1u, 8u, 20u, 40u, 80u, 132u}) {
        for (const auto& folder : folders) {
            ProgressState state{123456, 7, 10, 40, folder};
            const std::wstring line = FormatProgressLine(state, columns);
            ASSERT_FALSE(line.empty());
            EXPECT_EQ(L'\r', line[0]);
            EXPECT_EQ(columns - 1, LineCells(line.substr(1))) << columns;
            for (std::size_t i = 1; i < line.size(); ++i) {
                const bool lead = line[i] >= 0xD800 && line[i] <= 0xDBFF;
                const bool trail = line[i] >= 0xDC00 && line[i] <= 0xDFFF;
                if (lead) {
                    EXPECT_TRUE(i + 1 < line.size() && line[i + 1] >= 0xDC00 && line[i + 1] <= 0xDFFF);
                }
                if (trail) {
                    EXPECT_TRUE(line[i - 1] >= 0xD800 && line[i - 1] <= 0xDBFF) << "half a pair";
                }
            }
        }
    }
}

TEST(ProgressLine, ShowsCountsShareAndTheFolderEnd) {
    struct Case {
        std::uint64_t done, total;
        const wchar_t* folder;
        const wchar_t* expected;  // found in the line
        const wchar_t* absent;    // not found in the line
    } cases[] = {
        {0, 0, L"U:\\docs\\", L"已检查 12 个文件，发现 3 个威胁  U:\\docs\\", L"%"},  // unknown share
        {50, 200, L"U:\\docs\\", L"，约 25%  U:\\docs\\", nullptr},
        {200, 200, L"U:\\docs\\", L"，约 99%", L"100%"},  // the end is not reached before the scan says so
        {900, 200, L"U:\\docs\\", L"，约 99%", L"100%"},  // files grew while the scan ran
        {50, 200, L"", L"已检查 12 个文件，发现 3 个威胁", L"%"},  // the final line
        {1, 2, L"U:\\很长的文件夹名称很长的文件夹名称很长的文件夹名称\\最后一层\\", L"...", nullptr},
        {1, 2, L"U:\\很长的文件夹名称很长的文件夹名称很长的文件夹名称\\最后一层\\", L"最后一层\\", nullptr},
    };
    for (const auto& c : cases) {
        const std::wstring line = FormatProgressLine(ProgressState{12, 3, c.done, c.total, c.folder}, 60);
        EXPECT_NE(std::wstring::npos, line.find(c.expected)) << c.done << "/" << c.total;
        if (c.absent) {
            EXPECT_EQ(std::wstring::npos, line.find(c.absent)) << c.done << "/" << c.total;
        }
    }
}
