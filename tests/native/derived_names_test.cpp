#include <gtest/gtest.h>

#include <cstdint>

#include "cleaners/system/DerivedNames.h"

namespace {

TEST(DriveIdString, SumsTheNamedWordsOnly) {
    std::uint16_t w[256];
    for (auto& x : w) x = 0xFFFF;  // words outside the sums must not count
    w[1] = 1, w[3] = 2, w[6] = 3, w[21] = 4;
    for (int k = 10; k <= 19; ++k) w[k] = 1;
    for (int k = 23; k <= 26; ++k) w[k] = 2;
    for (int k = 27; k <= 46; ++k) w[k] = 1;
    EXPECT_EQ("655398", DriveIdStringOf(w));  // (10 << 16) + 10 + 8 + 20
}

TEST(DriveIdString, WrapsIn32BitsAndPrintsSigned) {
    std::uint16_t w[256] = {};
    w[1] = 0x8000;
    EXPECT_EQ("-2147483648", DriveIdStringOf(w));
    std::uint16_t zero[256] = {};
    EXPECT_EQ("0", DriveIdStringOf(zero));
}

TEST(DerivedNames, ChainedDigestsOfTheIdText) {
    // Expected values from an independent MD5 (Python's hashlib).
    const struct {
        const char* id;
        const char *a, *b, *d, *e, *f, *g, *i;
    } cases[] = {
        {"", "1d8cd9", "204e98", "0998ec", "d41d8cd9", "74be16", "acf7ef", "5a8dcc"},  // no identify data
        {"655398", "2535e6", "442e35", "7c3932", "d82535e6", "e10d28", "17d624", "1c0b97"},
        {"-2147483648", "4ff594", "089278", "ea60c4", "034ff594", "7045df", "e2365d", "2d7d08"},
    };
    for (const auto& c : cases) {
        const DerivedNames n = DeriveNames(c.id);
        EXPECT_EQ(c.a, n.a) << c.id;
        EXPECT_EQ(c.b, n.b) << c.id;
        EXPECT_EQ(c.d, n.d) << c.id;
        EXPECT_EQ(c.e, n.e) << c.id;
        EXPECT_EQ(c.f, n.f) << c.id;
        EXPECT_EQ(c.g, n.g) << c.id;
        EXPECT_EQ(c.i, n.i) << c.id;
    }
}

}  // namespace
