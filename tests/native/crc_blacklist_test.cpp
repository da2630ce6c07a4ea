#include <gtest/gtest.h>

#include <cstring>

#include "disposal/CrcBlacklist.h"

namespace {

TEST(ParseCrcGroup, ReadsLikePercentX) {
    struct Case {
        const char* group;
        std::uint32_t expected;
    } cases[] = {
        {"08ffd97d", 0x08ffd97du}, {"868E5DA1", 0x868e5da1u}, {"9", 9u},          {"0x12abcd", 0x12abcdu},
        {"  1f4660", 0x1f4660u},   {"12zz3456", 0x12u},       {"zzzzzzzz", 0u},   {"-1", 0xffffffffu},
        {"+ff", 0xffu},            {"0x", 0u},                {"0xq", 0u},        {"", 0u},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, ParseCrcGroup(c.group, std::strlen(c.group))) << '"' << c.group << '"';
}

TEST(ParseCrcGroup, StopsAtTheGroupEnd) {
    const char text[] = "0000000a0000000b";
    EXPECT_EQ(0xau, ParseCrcGroup(text, 8));
    EXPECT_EQ(0xbu, ParseCrcGroup(text + 8, 8));
}

TEST(CrcBlacklist, LoadsGroupsSortedWithoutDuplicates) {
    CrcBlacklist list;
    const char text[] = "868e5da108ffd97d1f466060868e5da19";
    ASSERT_EQ(kResultOk, list.LoadFromText(text, std::strlen(text)));
    const std::vector<std::uint32_t> expected = {9u, 0x08ffd97du, 0x1f466060u, 0x868e5da1u};
    EXPECT_EQ(expected, list.Values());
    EXPECT_TRUE(list.ContainsCrc(0x08FFD97Du));
    EXPECT_TRUE(list.ContainsCrc(0x868e5da1u));  // above 2^31: compared unsigned
    EXPECT_FALSE(list.ContainsCrc(0x08FFD97Eu));
}

TEST(CrcBlacklist, ZeroValueFailsButKeepsWhatWasRead) {
    CrcBlacklist list;
    const char text[] = "0000000200000001zzzzzzzz00000003";
    EXPECT_EQ(kResultFail, list.LoadFromText(text, std::strlen(text)));
    EXPECT_EQ((std::vector<std::uint32_t>{1u, 2u}), list.Values());
    EXPECT_FALSE(list.ContainsCrc(3u));
}

TEST(CrcBlacklist, EmptyOrMissingTextFails) {
    CrcBlacklist list;
    EXPECT_EQ(kResultFail, list.LoadFromText(nullptr, 8));
    EXPECT_EQ(kResultFail, list.LoadFromText("", 0));
    EXPECT_FALSE(list.ContainsCrc(0));
}

TEST(CrcBlacklist, LearnKeepsTheListSortedAndUnique) {
    CrcBlacklist list;
    const char text[] = "000000100000003000000050";
    ASSERT_EQ(kResultOk, list.LoadFromText(text, std::strlen(text)));
    list.LearnCrc(0x40);
    list.LearnCrc(0x30);  // already there: nothing changes
    list.LearnCrc(0xFFFFFFFFu);
    list.LearnCrc(0x01);
    EXPECT_EQ((std::vector<std::uint32_t>{0x01, 0x10, 0x30, 0x40, 0x50, 0xFFFFFFFFu}), list.Values());
    EXPECT_TRUE(list.ContainsCrc(0x40));
    list.Release();
    EXPECT_TRUE(list.Values().empty());
    EXPECT_FALSE(list.ContainsCrc(0x40));
}

}  // namespace
