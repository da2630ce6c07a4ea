#include <gtest/gtest.h>

#include <vector>

#include "disposal/PeImage.h"

namespace {

std::vector<std::uint8_t> MakePe(std::size_t length, std::uint32_t lfanew, bool dll = false) {
    std::vector<std::uint8_t> b(length, 0);
    if (length >= 2) b[0] = 'M', b[1] = 'Z';
    if (length >= 64)
        for (int i = 0; i < 4; ++i) b[60 + i] = std::uint8_t(lfanew >> (8 * i));
    if (lfanew + 4 <= length) b[lfanew] = 'P', b[lfanew + 1] = 'E';
    if (dll && lfanew + 24 <= length) b[lfanew + 23] = 0x20;  // characteristics high byte: 0x2000
    return b;
}

TEST(IsPeImage, Boundaries) {
    struct Case {
        const char* what;
        std::size_t length;
        std::uint32_t lfanew;
        bool expected;
    } cases[] = {
        {"99 bytes is too short", 99, 64, false},
        {"100 bytes is enough", 100, 64, true},
        {"e_lfanew 0", 200, 0, false},
        {"e_lfanew at the length", 200, 200, false},
        {"signature in the last four bytes", 200, 196, true},
        {"signature would run past the end", 200, 197, false},
        {"e_lfanew in the last byte", 200, 199, false},
        {"e_lfanew with the top bit set", 200, 0x80000040u, false},
    };
    for (const auto& c : cases) {
        const auto b = MakePe(c.length, c.lfanew);
        EXPECT_EQ(c.expected, IsPeImage(b.data(), b.size())) << c.what;
    }
}

TEST(IsPeImage, RejectsWrongMagics) {
    auto b = MakePe(300, 128);
    EXPECT_TRUE(IsPeImage(b.data(), b.size()));
    b[0] = 'Z';
    EXPECT_FALSE(IsPeImage(b.data(), b.size()));
    b = MakePe(300, 128);
    b[130] = 1;  // "PE\1\0"
    EXPECT_FALSE(IsPeImage(b.data(), b.size()));
    EXPECT_FALSE(IsPeImage(nullptr, 300));
}

TEST(IsDllImage, NeedsCharacteristicAndRoom) {
    struct Case {
        const char* what;
        std::size_t length;
        std::uint32_t lfanew;
        bool dll;
        bool expected;
    } cases[] = {
        {"dll", 1024, 128, true, true},
        {"exe", 1024, 128, false, false},
        {"312 bytes is too short", 312, 60, true, false},
        {"313 bytes with headers inside", 313, 64, true, true},
        {"headers reach the end", 400, 152, true, false},
        {"headers end one byte early", 400, 151, true, true},
    };
    for (const auto& c : cases) {
        const auto b = MakePe(c.length, c.lfanew, c.dll);
        EXPECT_EQ(c.expected, IsDllImage(b.data(), b.size())) << c.what;
    }
}

}  // namespace
