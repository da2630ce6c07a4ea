// The boot-clean driver's handling of the stored list: which entries it may act on, and what it writes back.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/BootDeleteList.h"
#include "engine/BootListCore.h"

namespace {

std::u16string U(const char* s) { return std::u16string(s, s + std::strlen(s)); }

using Entry = std::array<std::uint8_t, BOOT_ENTRY_SIZE>;

Entry EntryFor(const std::u16string& path) {
    BootDeleteList list;
    // Written as the program writes it, then the path field overwritten so that any text can be tried.
    EXPECT_EQ(BootListAdd::Added, AddBootDelete(list, u"C:\\x"));
    Entry e = list.entries[0];
    std::memset(e.data() + BOOT_ENTRY_PATH_OFFSET, 0, BOOT_ENTRY_PATH_BYTES);
    for (std::size_t i = 0; i < path.size() && 2 * i + 1 < BOOT_ENTRY_PATH_BYTES; ++i) {
        e[BOOT_ENTRY_PATH_OFFSET + 2 * i] = std::uint8_t(path[i]);
        e[BOOT_ENTRY_PATH_OFFSET + 2 * i + 1] = std::uint8_t(path[i] >> 8);
    }
    return e;
}

// The driver's target of an entry, or "-" when it refuses the entry.
std::u16string TargetOf(const Entry& e) {
    BlChar nt[BOOT_NT_PATH_CHARS];
    BlU32 length = 0;
    if (!BlEntryTarget(e.data(), nt, &length)) return u"-";
    EXPECT_EQ(0, nt[length]);
    return std::u16string(nt, nt + length);
}

TEST(BootListCore, TargetsArePlainLocalPaths) {
    const struct {
        const char* path;
        const char* target;
    } cases[] = {
        {"C:\\worm.exe", "\\??\\C:\\worm.exe"},
        {"u:\\a folder\\file.name.exe", "\\??\\u:\\a folder\\file.name.exe"},
        {"\\\\?\\D:\\x\\y.dll", "\\??\\D:\\x\\y.dll"},
        {"C:\\Windows\\explorer.exe:worm.vbs:$DATA", "\\??\\C:\\Windows\\explorer.exe:worm.vbs:$DATA"},
        // Refused: not local, not absolute, not a plain name at every step.
        {"", "-"},
        {"C:", "-"},
        {"C:\\", "-"},
        {"C:worm.exe", "-"},
        {"\\\\server\\share\\worm.exe", "-"},
        {"\\\\?\\UNC\\server\\worm.exe", "-"},
        {"1:\\worm.exe", "-"},
        {"C:\\a\\..\\worm.exe", "-"},
        {"C:\\a\\.\\worm.exe", "-"},
        {"C:\\..", "-"},
        {"C:\\a\\\\worm.exe", "-"},
        {"C:\\a\\", "-"},
        {"C:\\worm.exe.", "-"},
        {"C:\\worm.exe ", "-"},
        {"C:\\folder.\\worm.exe", "-"},
        {"C:\\wor?.exe", "-"},
        {"C:\\*.exe", "-"},
        {"C:\\a<b", "-"},
        {"C:\\a/b", "-"},
        {"C:\\dir:stream\\worm.exe", "-"},
        {"C:\\:stream", "-"},
        {"C:\\a\x01.exe", "-"},
    };
    for (const auto& c : cases) EXPECT_EQ(U(c.target), TargetOf(EntryFor(U(c.path)))) << c.path;
}

TEST(BootListCore, RefusesOtherKindsAndUnterminatedPaths) {
    Entry e = EntryFor(u"C:\\worm.exe");
    e[BOOT_ENTRY_KIND_OFFSET] = 2;
    EXPECT_EQ(u"-", TargetOf(e));
    Entry full = EntryFor(u"C:\\" + std::u16string(BOOT_ENTRY_PATH_BYTES / 2, u'a'));
    EXPECT_EQ(u"-", TargetOf(full)) << "no NUL inside the field";
    EXPECT_EQ(u"-", TargetOf(EntryFor(u"C:\\" + std::u16string(509, u'a')))) << "longer than the program writes";
    EXPECT_NE(u"-", TargetOf(EntryFor(u"C:\\" + std::u16string(508, u'a'))));
}

TEST(BootListCore, SamePathIgnoresAsciiCaseOnly) {
    const Entry a = EntryFor(u"C:\\Windows\\Worm.exe");
    EXPECT_TRUE(BlEntriesSamePath(a.data(), EntryFor(u"c:\\WINDOWS\\worm.EXE").data()));
    EXPECT_FALSE(BlEntriesSamePath(a.data(), EntryFor(u"C:\\Windows\\Worm.exe2").data()));
    EXPECT_FALSE(BlEntriesSamePath(a.data(), EntryFor(u"C:\\Windows\\Wor").data()));
    EXPECT_FALSE(BlEntriesSamePath(EntryFor(u"C:\\\u00e9.exe").data(), EntryFor(u"C:\\\u00c9.exe").data()));
}

TEST(BootListCore, BootCountStopsAtTheLimit) {
    Entry e = EntryFor(u"C:\\a");
    EXPECT_EQ(0u, BlEntryBoots(e.data())) << "the program writes zero";
    BlEntryCountBoot(e.data());
    EXPECT_EQ(1u, BlEntryBoots(e.data()));
    BlEntrySetBoots(e.data(), 0xFFFFFFFFu);  // whatever a damaged list holds
    BlEntryCountBoot(e.data());
    EXPECT_EQ(0xFFFFFFFFu, BlEntryBoots(e.data())) << "never wraps back to a fresh entry";
}

class BootListMerge : public ::testing::Test {
protected:
    // What the driver took at boot: a, b, c, each with one more boot counted.
    void SetUp() override {
        for (const char* p : {"C:\\a.exe", "U:\\b.exe", "V:\\c.exe"}) ASSERT_EQ(BootListAdd::Added, AddBootDelete(stored, U(p)));
        stored.header[0] = 0x5A;  // header bytes another writer left
        stored.header[40] = 0x3C;  // scramble byte
        BlEntrySetBoots(stored.entries[2].data(), BOOT_ENTRY_MAX_BOOTS - 1);
        for (const auto& e : stored.entries) {
            BlItem item;
            std::memcpy(item.entry, e.data(), BOOT_ENTRY_SIZE);
            BlEntryCountBoot(item.entry);
            item.state = BL_WAITING;
            items.push_back(item);
        }
        items[0].state = BL_DONE;  // its drive was there
    }
    BootDeleteList Merge(const BootDeleteList& current, int final) {
        const auto bytes = EncodeBootList(current);
        std::vector<std::uint8_t> out(bytes.size());
        const BlU32 size = BlMergeList(bytes.data(), BlU32(bytes.size()), items.data(), BlU32(items.size()), final, out.data());
        EXPECT_NE(0u, size);
        BootDeleteList merged;
        EXPECT_EQ(BootListRead::Ok, DecodeBootList(out.data(), size, merged));
        EXPECT_EQ(0, std::memcmp(merged.header.data(), current.header.data(), BOOT_LIST_COUNT_OFFSET));
        EXPECT_EQ(current.header[40], merged.header[40]);
        return merged;
    }
    static std::vector<std::u16string> Paths(const BootDeleteList& list) {
        std::vector<std::u16string> out;
        for (const auto& e : list.entries) out.push_back(BootEntryPath(e));
        return out;
    }
    BootDeleteList stored;
    std::vector<BlItem> items;
};

TEST_F(BootListMerge, DoneGoesWaitingKeepsItsCount) {
    const BootDeleteList merged = Merge(stored, 0);
    EXPECT_EQ((std::vector<std::u16string>{u"U:\\b.exe", u"V:\\c.exe"}), Paths(merged));
    EXPECT_EQ(1u, BlEntryBoots(merged.entries[0].data()));
    EXPECT_EQ(BOOT_ENTRY_MAX_BOOTS, BlEntryBoots(merged.entries[1].data())) << "dropped only at the end of the wait";
}

TEST_F(BootListMerge, EndOfTheWaitDropsWhatWaitedTooLong) {
    EXPECT_EQ(std::vector<std::u16string>{u"U:\\b.exe"}, Paths(Merge(stored, 1)));
}

TEST_F(BootListMerge, WhatTheProgramWroteMeanwhileIsKept) {
    BootDeleteList now = stored;
    ASSERT_EQ(BootListAdd::Added, AddBootDelete(now, u"W:\\new.exe"));
    RemoveBootDelete(now, u"U:\\b.exe");  // the program took b off, say after a repair
    const BootDeleteList merged = Merge(now, 1);
    EXPECT_EQ(std::vector<std::u16string>{u"W:\\new.exe"}, Paths(merged));
    EXPECT_EQ(0u, BlEntryBoots(merged.entries[0].data()));
}

TEST_F(BootListMerge, AStoredListThatIsNotSoundIsLeftAlone) {
    auto bytes = EncodeBootList(stored);
    std::vector<std::uint8_t> out(bytes.size());
    for (BlU32 size : {BlU32(0), BlU32(43), BlU32(bytes.size() - 1)})
        EXPECT_EQ(0u, BlMergeList(bytes.data(), size, items.data(), BlU32(items.size()), 1, out.data())) << size;
    bytes[BOOT_LIST_COUNT_OFFSET] = 4;
    EXPECT_EQ(0u, BlMergeList(bytes.data(), BlU32(bytes.size()), items.data(), BlU32(items.size()), 1, out.data()));
}

}  // namespace
