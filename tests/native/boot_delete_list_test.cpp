#include <gtest/gtest.h>

#include <cstring>

#include "engine/BootDeleteList.h"

namespace {

std::u16string U(const char* s) { return std::u16string(s, s + std::strlen(s)); }

BootDeleteList ListOf(int n) {
    BootDeleteList list;
    for (int i = 0; i < n; ++i) EXPECT_EQ(BootListAdd::Added, AddBootDelete(list, U("C:\\f") + std::u16string(1, char16_t(u'0' + i % 10)) + U(std::to_string(i).c_str())));
    return list;
}

TEST(BootDeleteList, EntryLayout) {
    BootDeleteList list;
    ASSERT_EQ(BootListAdd::Added, AddBootDelete(list, U("U:\\worm.exe")));
    const auto bytes = EncodeBootList(list);
    ASSERT_EQ(44u + 1244u, bytes.size());
    EXPECT_EQ(1u, bytes[32]);  // count
    // A new list has scramble byte 0: the entry is XORed with the constant alone.
    std::vector<std::uint8_t> e(bytes.begin() + 44, bytes.end());
    for (auto& b : e) b ^= BOOT_LIST_SCRAMBLE_CONSTANT;
    EXPECT_EQ(0x01, e[0]);
    EXPECT_EQ(0xC0, e[3]);
    EXPECT_EQ(12u, e[20]);  // 11 characters and the NUL
    EXPECT_EQ('U', e[24]);
    EXPECT_EQ(0, e[25]);
    EXPECT_EQ('e', e[24 + 2 * 10]);
    EXPECT_EQ(0, e[24 + 2 * 11]);
    EXPECT_EQ(0, e[1048]);
    for (int i = 0; i < 32; ++i) EXPECT_EQ('0', e[1176 + 2 * i]) << i;
    EXPECT_EQ(0, e[1176 + 64]);
    EXPECT_EQ(0, e[1242]);
    EXPECT_EQ(0, e[1243]);
}

TEST(BootDeleteList, RoundTripKeepsHeaderBytesAndScramble) {
    std::vector<std::uint8_t> stored(44, 0);
    for (int i = 0; i < 32; ++i) stored[i] = std::uint8_t(0x10 + i);  // reserved bytes as another writer left them
    stored[36] = 0x77;
    stored[40] = 0x3C;  // scramble byte
    stored[43] = 0x99;
    BootDeleteList list;
    ASSERT_EQ(BootListRead::Ok, DecodeBootList(stored.data(), stored.size(), list));
    ASSERT_EQ(BootListAdd::Added, AddBootDelete(list, U("C:\\a.exe")));
    ASSERT_EQ(BootListAdd::Added, AddBootDelete(list, U("D:\\b.dll")));
    const auto bytes = EncodeBootList(list);
    for (int i : {0, 31, 36, 40, 43}) EXPECT_EQ(stored[i], bytes[i]) << "header byte " << i;
    EXPECT_EQ(2u, bytes[32]);
    EXPECT_EQ(std::uint8_t('C' ^ 0x3C ^ BOOT_LIST_SCRAMBLE_CONSTANT), bytes[44 + 24]);
    BootDeleteList again;
    ASSERT_EQ(BootListRead::Ok, DecodeBootList(bytes.data(), bytes.size(), again));
    ASSERT_EQ(2u, again.entries.size());
    EXPECT_EQ(U("C:\\a.exe"), BootEntryPath(again.entries[0]));
    EXPECT_EQ(U("D:\\b.dll"), BootEntryPath(again.entries[1]));
    EXPECT_EQ(bytes, EncodeBootList(again));
}

TEST(BootDeleteList, DuplicateInAnotherCaseIsAlreadyListed) {
    BootDeleteList list;
    ASSERT_EQ(BootListAdd::Added, AddBootDelete(list, U("C:\\Windows\\Worm.EXE")));
    EXPECT_EQ(BootListAdd::AlreadyListed, AddBootDelete(list, U("c:\\windows\\worm.exe")));
    EXPECT_EQ(1u, list.entries.size());
}

TEST(BootDeleteList, TwoHundredFiftySixAtMost) {
    BootDeleteList list = ListOf(255);
    EXPECT_EQ(BootListAdd::Added, AddBootDelete(list, U("C:\\last.exe")));
    EXPECT_EQ(256u, list.entries.size());
    EXPECT_EQ(BootListAdd::Full, AddBootDelete(list, U("C:\\one-more.exe")));
    EXPECT_EQ(256u, list.entries.size());
}

TEST(BootDeleteList, PathLimits) {
    BootDeleteList list;
    EXPECT_EQ(BootListAdd::Added, AddBootDelete(list, U("C:\\") + std::u16string(508, u'a')));  // 511 characters
    EXPECT_EQ(BootListAdd::PathTooLong, AddBootDelete(list, U("C:\\") + std::u16string(509, u'a')));
    EXPECT_EQ(BootListAdd::EmptyPath, AddBootDelete(list, u""));
    EXPECT_EQ(1u, list.entries.size());
}

TEST(BootDeleteList, DamagedValuesAreRecognised) {
    BootDeleteList list = ListOf(2);
    auto bytes = EncodeBootList(list);
    BootDeleteList read;
    struct Case {
        const char* what;
        std::vector<std::uint8_t> value;
        BootListRead expected;
    } cases[] = {
        {"intact", bytes, BootListRead::Ok},
        {"empty value", {}, BootListRead::Ok},
        {"shorter than a header", std::vector<std::uint8_t>(10, 0), BootListRead::Damaged},
        {"count beyond the data", [&] { auto b = bytes; b[32] = 3; return b; }(), BootListRead::Damaged},
        {"huge count", [&] { auto b = bytes; b[35] = 0xFF; return b; }(), BootListRead::Damaged},
        {"trailing bytes", [&] { auto b = bytes; b.push_back(0); return b; }(), BootListRead::Damaged},
        {"one entry short", std::vector<std::uint8_t>(bytes.begin(), bytes.end() - 1), BootListRead::Damaged},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, DecodeBootList(c.value.data(), c.value.size(), read)) << c.what;
}

TEST(RootedKeyPath, RootsAndSubkeys) {
    struct Case {
        const wchar_t* path;
        bool ok;
        RegistryRoot root;
        const wchar_t* subkey;
    } cases[] = {
        {L"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Velmora\\KelvarnBox", true,
         RegistryRoot::LocalMachine, L"SYSTEM\\CurrentControlSet\\Control\\Velmora\\KelvarnBox"},
        {L"hkey_current_user\\Software", true, RegistryRoot::CurrentUser, L"Software"},
        {L"HKEY_CLASSES_ROOT\\.exe", true, RegistryRoot::ClassesRoot, L".exe"},
        {L"HKEY_USERS\\.DEFAULT", true, RegistryRoot::Users, L".DEFAULT"},
        {L"HKEY_CURRENT_CONFIG\\System", true, RegistryRoot::CurrentConfig, L"System"},
        {L"HKEY_USERS", true, RegistryRoot::Users, L""},
        {L"HKLM\\SYSTEM", false, RegistryRoot::LocalMachine, L""},
        {L"HKEY_LOCAL", false, RegistryRoot::LocalMachine, L""},
        {L"", false, RegistryRoot::LocalMachine, L""},
    };
    for (const auto& c : cases) {
        RegistryRoot root = RegistryRoot::LocalMachine;
        std::wstring subkey;
        ASSERT_EQ(c.ok, ParseRootedKeyPath(c.path, root, subkey)) << c.path;
        if (!c.ok) continue;
        EXPECT_EQ(c.root, root) << c.path;
        EXPECT_EQ(c.subkey, subkey) << c.path;
    }
}

}  // namespace

#include "disposal/ImagePath.h"

namespace {

TEST(ImagePath, Normalisation) {
    const std::wstring win = L"C:\\WINDOWS";
    EXPECT_EQ(L"C:\\WINDOWS\\system32\\drivers\\x.sys", NormalizeImagePath(L"\\SystemRoot\\system32\\drivers\\x.sys", win));
    EXPECT_EQ(L"C:\\WINDOWS\\a.exe", NormalizeImagePath(L"\\systemroot\\a.exe", win));
    EXPECT_EQ(L"C:\\a.exe", NormalizeImagePath(L"\\??\\C:\\a.exe", win));
    EXPECT_EQ(L"C:\\a.exe", NormalizeImagePath(L"\\\\?\\C:\\a.exe", win));
    EXPECT_EQ(L"C:\\a.exe", NormalizeImagePath(L"C:\\a.exe", win));
}

TEST(ImagePath, FileNameOf) {
    bool found = false;
    EXPECT_EQ(L"b.exe", FileNameOf(L"C:\\a\\b.exe", &found));
    EXPECT_TRUE(found);
    EXPECT_EQ(L"b.exe", FileNameOf(L"C:/a/b.exe", &found));
    EXPECT_EQ(L"b.exe", FileNameOf(L"b.exe", &found));
    EXPECT_FALSE(found);
    EXPECT_EQ(L"", FileNameOf(L"C:\\a\\", &found));
}

TEST(ImagePath, ProtectedProcesses) {
    EXPECT_EQ(L"C:\\WINDOWS\\system32\\csrss.exe", ProtectedProcessPath(L"C:\\WINDOWS", 0));
    EXPECT_EQ(L"C:\\WINDOWS\\explorer.exe", ProtectedProcessPath(L"C:\\WINDOWS", kProtectedProcessCount - 1));
    EXPECT_EQ(L"", ProtectedProcessPath(L"C:\\WINDOWS", kProtectedProcessCount));
}

TEST(BootDeleteList, RemoveTakesEveryEntryOfThePathInAnyCase) {
    BootDeleteList list;
    ASSERT_EQ(BootListAdd::Added, AddBootDelete(list, U("C:\\a.exe")));
    ASSERT_EQ(BootListAdd::Added, AddBootDelete(list, U("C:\\Lib\\SysConst.dcu")));
    ASSERT_EQ(BootListAdd::Added, AddBootDelete(list, U("C:\\b.exe")));
    EXPECT_EQ(1u, RemoveBootDelete(list, U("c:\\lib\\sysconst.DCU")));
    ASSERT_EQ(2u, list.entries.size());
    EXPECT_EQ(U("C:\\a.exe"), BootEntryPath(list.entries[0]));
    EXPECT_EQ(U("C:\\b.exe"), BootEntryPath(list.entries[1]));
    EXPECT_EQ(0u, RemoveBootDelete(list, U("C:\\missing.exe")));
}

TEST(PendingRenames, OnlyTheDeletionsOfThePathAreTakenOff) {
    const std::u16string nul(1, u'\0');
    const std::u16string unit = U("\\??\\C:\\Lib\\SysConst.dcu");
    const struct {
        std::u16string text, expected;
    } cases[] = {
        // a deletion of the unit between two others; the value's closing NUL
        {U("\\??\\C:\\a") + nul + nul + unit + nul + nul + U("\\??\\C:\\b") + nul + nul + nul,
         U("\\??\\C:\\a") + nul + nul + U("\\??\\C:\\b") + nul + nul + nul},
        // a rename of the unit stays: only deletions (empty targets) are taken off; case does not matter
        {U("\\??\\c:\\lib\\sysconst.dcu") + nul + U("!\\??\\C:\\x") + nul + unit + nul + nul + nul,
         U("\\??\\c:\\lib\\sysconst.dcu") + nul + U("!\\??\\C:\\x") + nul + nul},
        // the only entry: nothing is left
        {unit + nul + nul + nul, U("")},
        // no closing NUL, and a damaged odd item at the end: the pairs that are whole are kept
        {U("\\??\\C:\\a") + nul + nul + U("\\??\\C:\\odd"), U("\\??\\C:\\a") + nul + nul + nul},
        {U(""), U("")},
    };
    for (const auto& c : cases) EXPECT_EQ(c.expected, WithoutPendingDeletion(c.text, unit));
}

TEST(ProtectedLocation, Substrings) {
    struct Case {
        const wchar_t* path;
        bool expected;
    } cases[] = {
        {L"c:\\windows\\system32\\a.exe", true},
        {L"c:\\program files\\common files\\x\\a.exe", true},
        {L"d:\\orvaguardsvc\\a.exe", true},
        {L"c:\\winnt\\system32\\a.dll", true},
        {L"c:\\program files\\microsoft office2007\\a.exe", true},
        {L"c:\\program files\\microsoft office\\a.exe", true},
        {L"e:\\office2000\\system\\a.exe", true},
        {L"c:\\program files\\microsoft web designer tools\\a.exe", true},
        {L"u:\\photos\\photos.exe", false},
        {L"C:\\Windows\\System32\\cmd.exe", true},  // paths arrive in their own case (shortcut targets)
        {L"c:\\WINDOWS\\a.exe", true},
        {L"c:\\program files\\other\\a.exe", false},
    };
    for (const auto& c : cases) EXPECT_EQ(c.expected, IsProtectedLocation(c.path)) << c.path;
}

}  // namespace
