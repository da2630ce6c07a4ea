#include <gtest/gtest.h>

#include "util/TickExtend.h"

namespace {

TEST(ExtendTickCount, CountsWrapsAndToleratesStaleReadings) {
    std::uint64_t t = ExtendTickCount(0, 0xFFFFFF00u);
    EXPECT_EQ(0xFFFFFF00ull, t);
    t = ExtendTickCount(t, 0x00000100u);  // the 32-bit counter wrapped
    EXPECT_EQ(0x100000100ull, t);
    EXPECT_EQ(0x0FFFFFFF0ull, ExtendTickCount(t, 0xFFFFFFF0u));  // a reading from just before the wrap
    t = ExtendTickCount(t, 0x80000000u);
    EXPECT_EQ(0x180000000ull, t);
    t = ExtendTickCount(t, 0xF0000000u);
    EXPECT_EQ(0x1F0000000ull, t);
    t = ExtendTickCount(t, 0x00000005u);
    EXPECT_EQ(0x200000005ull, t);
}

}  // namespace
