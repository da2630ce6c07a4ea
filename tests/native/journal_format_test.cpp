// The session journal's text: what is written is read back the same, and a journal cut off or damaged by a
// crash is read up to its last whole line.
#include <gtest/gtest.h>

#include "engine/JournalFormat.h"

namespace {

std::string Journal(const std::vector<JournalEntry>& entries) {
    std::string text = std::string(kJournalHeader) + "\n";
    for (const auto& e : entries) text += EncodeJournalLine(e);
    return text;
}

const std::vector<JournalEntry> kEntries = {
    {"delete-file", {L"U:\\\u4f5c\u4e1a\\photos.exe", L"C:\\v\\BackFiles\\s\\files\\1-photos.exe", L"27"}},
    {"move", {L"U:\\100% real\tname\r\nx", L"U:\\plain"}},
    {"registry-set", {L"HKCU", L"Software\\X", L"", L"-", L"", L"1", L"00ff"}},
    {"create-folder", {}},
};

TEST(JournalFormat, WhatIsWrittenIsReadBack) {
    const JournalText read = DecodeJournal(Journal(kEntries));
    EXPECT_TRUE(read.headerOk);
    EXPECT_FALSE(read.cutOff);
    EXPECT_EQ(kEntries, read.entries);
}

TEST(JournalFormat, LinesArePlainTextAPersonCanRead) {
    const std::string line = EncodeJournalLine(kEntries[1]);
    EXPECT_EQ(0u, line.find("move\tU:\\100%25 real%09name%0D%0Ax\tU:\\plain\t#")) << line;
    EXPECT_EQ('\n', line.back());
    EXPECT_EQ(std::string::npos, line.substr(0, line.size() - 1).find('\n'));
    EXPECT_NE(std::string::npos, EncodeJournalLine(kEntries[0]).find("U:\\\xe4\xbd\x9c\xe4\xb8\x9a\\photos.exe"))
        << "UTF-8, backslashes as they are";
}

TEST(JournalFormat, ACutOffOrDamagedLineEndsTheReadingThere) {
    const std::string whole = Journal(kEntries);
    const std::size_t thirdLine = whole.find('\n', whole.find('\n', whole.find('\n') + 1) + 1) + 1;
    for (std::size_t cut = thirdLine; cut < whole.size(); cut += 3) {
        const JournalText read = DecodeJournal(whole.substr(0, cut));
        const std::size_t complete = std::count(whole.begin(), whole.begin() + cut, '\n') - 1;
        EXPECT_EQ(std::vector<JournalEntry>(kEntries.begin(), kEntries.begin() + complete), read.entries) << cut;
        EXPECT_EQ(whole[cut - 1] != '\n', read.cutOff) << cut;
    }
    std::string damaged = whole;
    damaged[thirdLine + 5] ^= 0x20;  // a byte of the third line changed
    const JournalText read = DecodeJournal(damaged);
    EXPECT_EQ(2u, read.entries.size());
    EXPECT_TRUE(read.cutOff);
}

TEST(JournalFormat, OtherFilesAreNotJournals) {
    for (const std::string text : {std::string(), std::string("veludisk journal 2\n"), std::string("hello\nworld\n"),
                                   std::string(kJournalHeader)})
        EXPECT_TRUE(DecodeJournal(text).entries.empty());
    EXPECT_FALSE(DecodeJournal("veludisk journal 2\n").headerOk);
    EXPECT_TRUE(DecodeJournal(std::string(kJournalHeader) + "\r\n").headerOk) << "a line end changed by an editor";
}

TEST(JournalFormat, NumbersAndBytes) {
    std::uint32_t v = 0;
    EXPECT_EQ(L"0", HexField(0));
    EXPECT_EQ(L"80000027", HexField(0x80000027u));
    EXPECT_TRUE(ParseHexField(L"80000027", v));
    EXPECT_EQ(0x80000027u, v);
    for (const wchar_t* bad : {L"", L"123456789", L"12g", L"-1"}) EXPECT_FALSE(ParseHexField(bad, v)) << bad;
    std::vector<std::uint8_t> bytes;
    EXPECT_TRUE(ParseBytesField(BytesField({0, 0x7f, 0xff}), bytes));
    EXPECT_EQ((std::vector<std::uint8_t>{0, 0x7f, 0xff}), bytes);
    EXPECT_TRUE(ParseBytesField(L"", bytes));
    EXPECT_TRUE(bytes.empty());
    for (const wchar_t* bad : {L"0", L"zz", L"0g"}) EXPECT_FALSE(ParseBytesField(bad, bytes)) << bad;
}

TEST(JournalFormat, Utf8BothWays) {
    const std::wstring text = L"a\u5220\u00e9";
    EXPECT_EQ(text, FromUtf8(ToUtf8(text)));
    EXPECT_EQ(L"\ufffd", FromUtf8("\xff"));
    EXPECT_EQ(L"\ufffd\ufffdA", FromUtf8("\xe5\x88" "A")) << "a sequence cut short: each byte replaced";
    EXPECT_EQ(L"\ufffd\ufffd", FromUtf8("\xc0\xaf")) << "an overlong form";
}

}  // namespace
