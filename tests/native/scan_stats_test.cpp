#include <gtest/gtest.h>

#include "scan/ScanStats.h"

namespace {

TEST(ScanStats, InfoAndResultTexts) {
    ScanStats s;
    s.FilesExamined = 120;
    s.ThreatsFound = 5;
    s.Disguised = 2;
    s.Deleted = 4;
    s.Repaired = 3;
    s.Immunized = 7;
    EXPECT_EQ(L"120|5|4|3", FormatScanInfo(s));
    EXPECT_EQ(L"120|3|2|4|3|7", FormatScanResult(s, false));
    EXPECT_EQ(L"120|4|2|4|3|7", FormatScanResult(s, true));  // a bootkit counts one more threat
    EXPECT_EQ(6u, ThreatsIncludingBootkit(s, true));
}

TEST(ScanStats, NothingFoundAndBootkitOnly) {
    ScanStats s;
    EXPECT_EQ(L"0|0|0|0|0|0", FormatScanResult(s, false));
    EXPECT_EQ(L"0|1|0|0|0|0", FormatScanResult(s, true));
    EXPECT_EQ(9u * 4, sizeof(ScanStats)) << "nine counter slots";
}

}  // namespace
