// The blacklist as the program ships it: from its own resource, answering for files on disk.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "disposal/CrcBlacklist.h"
#include "disposal/Digest.h"
#include "disposal/DigestFile.h"
#include "support/CrcForge.h"

namespace {

TEST(CrcBlacklistResource, LoadsTheShippedValues) {
    CrcBlacklist list;
    ASSERT_EQ(kResultOk, list.LoadCrcList());
    const std::vector<std::uint32_t> expected = {0x04660ce9u, 0x08ffd97du, 0x1f466060u,
                                                 0x338c8e67u, 0x38e11172u, 0x868e5da1u};
    EXPECT_EQ(expected, list.Values());
    EXPECT_TRUE(list.ContainsCrc(0x08FFD97Du));
    EXPECT_TRUE(list.ContainsCrc(0x868E5DA1u));
    EXPECT_FALSE(list.ContainsCrc(0x12345678u));
}

TEST(CrcBlacklistResource, AFileForgedToAListedCrcIsFound) {
    ScratchDir dir;
    CrcBlacklist list;
    ASSERT_EQ(kResultOk, list.LoadCrcList());
    auto bytes = PatternBytes(3000, 11);
    const auto suffix = ForgeCrc32Suffix(Crc32(0, bytes.data(), bytes.size()), 0x08FFD97Du);
    bytes.insert(bytes.end(), suffix.begin(), suffix.end());
    const std::wstring path = dir / L"worm.exe";
    ASSERT_TRUE(WriteBytes(path, bytes));
    std::uint32_t crc = 0;
    ASSERT_EQ(S_OK, Crc32OfFile(path.c_str(), &crc));
    EXPECT_EQ(0x08FFD97Du, crc);
    EXPECT_TRUE(list.ContainsCrc(crc));
}

TEST(CrcBlacklistResource, LearnedValuesAreFoundAtOnceAndKeptSorted) {
    CrcBlacklist list;
    ASSERT_EQ(kResultOk, list.LoadCrcList());
    const std::size_t before = list.Values().size();
    list.LearnCrc(0x08FFD97Du);
    EXPECT_EQ(before, list.Values().size());
    list.LearnCrc(0x7FFFFFFFu);
    list.LearnCrc(0xF0000000u);
    EXPECT_TRUE(list.ContainsCrc(0x7FFFFFFFu));
    EXPECT_TRUE(list.ContainsCrc(0xF0000000u));
    EXPECT_TRUE(std::is_sorted(list.Values().begin(), list.Values().end()));
    EXPECT_EQ(before + 2, list.Values().size());
}

}  // namespace
