#include <gtest/gtest.h>

#include "log/LogFormat.h"

namespace {

TEST(LogFormat, DateStampPadsMonthAndDay) {
    EXPECT_EQ(L"20260105", FormatDateStamp(2026, 1, 5));
    EXPECT_EQ(L"20261231", FormatDateStamp(2026, 12, 31));
    EXPECT_EQ(L"19990910", FormatDateStamp(1999, 9, 10));
}

TEST(LogFormat, FindingBodyFieldsInOrder) {
    EXPECT_EQ(L",,U:\\a.exe,,删除成功,,4,,0123456789abcdef0123456789abcdef,,150984061",
              FormatFindingBody(L"U:\\a.exe", L"删除成功", 4, L"0123456789abcdef0123456789abcdef", 150984061u));
    EXPECT_EQ(L",,C:\\x,,重启删除,,4294967295,,000000000000000000,,4294967295",
              FormatFindingBody(L"C:\\x", L"重启删除", 0xFFFFFFFFu, nullptr, 0xFFFFFFFFu));
}

TEST(LogFormat, TextModeLineEnds) {
    std::string out;
    const char in[] = "a\nb\r\n";
    AppendTextMode(out, in, sizeof in - 1);
    EXPECT_EQ("a\r\nb\r\r\n", out);  // a text-mode stream translates every "\n"
}

}  // namespace
