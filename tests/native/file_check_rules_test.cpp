// Name and digest rules of the per-file check, and the decoder of the known-malware path list.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "cleaners/drive/FileCheckRules.h"

namespace {

TEST(FileCheckRules, Md5Blacklist) {
    EXPECT_TRUE(IsBlacklistedMd5(L"01d8f359dcfdd8487ea4b53e6af32d8a"));
    EXPECT_TRUE(IsBlacklistedMd5(L"F4AE0213C084BC82B4C88E652C49B299")) << "without case";
    EXPECT_FALSE(IsBlacklistedMd5(L"f4ae0213c084bc82b4c88e652c49b29"));
    EXPECT_FALSE(IsBlacklistedMd5(L"d41d8cd98f00b204e9800998ecf8427e"));
    EXPECT_FALSE(IsBlacklistedMd5(nullptr));
}

TEST(FileCheckRules, NameTests) {
    struct Case {
        const wchar_t* path;
        bool own, exempt;
    } cases[] = {
        {L"c:\\program files\\velmora\\veludisk\\x.exe", true, false},
        {L"C:\\Program Files\\VELMORA\\x.exe", true, false},
        {L"c:\\velmora.exe", false, false},
        {L"u:\\zebra\\a.exe", true, false},
        {L"u:\\a\\mstsc.exe", false, true},
        {L"u:\\a\\MSTSC.EXE.bak", false, true},
        {L"u:\\nokia.ngr\\a.exe", false, true},
        {L"u:\\a\\lib.DLL", false, true},
        {L"u:\\a\\panel.cpl", false, true},
        {L"u:\\a\\x.ngr", false, true},
        {L"u:\\a.dll\\x.exe", false, false},
        {L".dll", false, false},
        {L"u:\\a\\x.dll.exe", false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.own, IsOwnProductPath(c.path)) << std::wstring(c.path).size();
        EXPECT_EQ(c.exempt, IsIconExempt(c.path)) << std::wstring(c.path).size();
    }
    EXPECT_TRUE(WalkUnhidesFile(L"u:\\a\\notes.txt"));
    EXPECT_TRUE(WalkUnhidesFile(L"u:\\photo.jpeg"));
    EXPECT_TRUE(WalkUnhidesFile(L"u:\\x.exe.lnk")) << "a substring of the whole path";
    EXPECT_FALSE(WalkUnhidesFile(L"u:\\a\\song.mp3"));
    EXPECT_FALSE(WalkUnhidesFile(L"u:\\a\\NOTES.TXT")) << "the walk hands over lower-case paths";
}

// The writer's side, as tools/pack_fixed_paths.py does it, for hand-made lists.
std::string Pack(const std::string& text, const char check1[5] = "VDFP", const char check2[5] = "VDFP") {
    std::string bytes;
    for (int i = 0; i < 16; ++i) bytes += char(i * 37 + 11);
    bytes += std::string(check1, 4) + std::string(check2, 4);
    for (std::size_t i = 0; i < text.size(); ++i) bytes += char(text[i] ^ bytes[i % 16] ^ kFixedPathScramble);
    static const char digits[] = "0123456789ABCDEF";
    std::string hex;
    for (unsigned char c : bytes) hex += digits[c >> 4], hex += digits[c & 15];
    return hex;
}

TEST(FixedPathList, DecodesEntriesBetweenEqualsAndCarriageReturn) {
    const std::string hex = Pack("=%windir%\\a.exe\r\n=ab\r\n=" + std::string(260, 'x') + "\r\n=" +
                                 std::string(259, 'y') + "\r\n=c:\\last.dll");
    const auto entries = DecodeFixedPathList(hex.data(), hex.size());
    ASSERT_EQ(3u, entries.size());
    EXPECT_EQ("%windir%\\a.exe", entries[0]);
    EXPECT_EQ(std::string(259, 'y'), entries[1]) << "2 and 260 bytes are skipped";
    EXPECT_EQ("c:\\last.dll", entries[2]);

    const std::string stopped = Pack(std::string("=c:\\one.exe\r\n\0=c:\\two.exe\r\n", 28));
    EXPECT_EQ(1u, DecodeFixedPathList(stopped.data(), stopped.size()).size()) << "the text ends at a zero byte";
}

TEST(FixedPathList, DamagedResourcesGiveNothing) {
    const std::string good = Pack("=c:\\one.exe\r\n");
    EXPECT_EQ(1u, DecodeFixedPathList(good.data(), good.size()).size());
    const std::string badCheck = Pack("=c:\\one.exe\r\n", "VDFP", "VDFQ");
    EXPECT_TRUE(DecodeFixedPathList(badCheck.data(), badCheck.size()).empty());
    std::string notHex = good;
    notHex[60] = 'g';
    EXPECT_TRUE(DecodeFixedPathList(notHex.data(), notHex.size()).empty());
    EXPECT_TRUE(DecodeFixedPathList(good.data(), 40).empty()) << "shorter than key and check";
    EXPECT_TRUE(DecodeFixedPathList(nullptr, 10).empty());
}

TEST(FixedPathList, ThePackerIsTheExactInverseOnTheShippedList) {
    std::ifstream packed(VELUDISK_PACKED_PATHS, std::ios::binary);
    std::stringstream hex;
    hex << packed.rdbuf();
    const std::string text = hex.str();
    const auto decoded = DecodeFixedPathList(text.data(), text.size());

    std::vector<std::string> expected;
    std::ifstream source(VELUDISK_PATHS_SOURCE);
    std::string line;
    while (std::getline(source, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::string entry = line.substr(line.find(']') + 1);
        entry.erase(0, entry.find_first_not_of(' '));
        expected.push_back(entry);
    }
    ASSERT_GE(expected.size(), 10u);
    EXPECT_EQ(expected, decoded);
}

}  // namespace
