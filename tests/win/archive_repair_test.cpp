// Variant 2 of the document repair, with the archive library the program carries, on RAR archives made by
// fixtures/archives/make-archives.sh.
#include <gtest/gtest.h>

#include <algorithm>

#include "CleanerHarness.h"
#include "app/Globals.h"
#include "cleaners/drive/ArchiveSupport.h"
#include "cleaners/drive/DocumentRestore.h"
#include "util/ProgramPath.h"

namespace {

std::wstring Fixture(const wchar_t* name) { return ProgramFolder() + L"\\fixtures\\archives\\" + name; }

std::vector<std::wstring> Listing(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    FindHandle find(::FindFirstFileW((folder + L"\\*").c_str(), &data));
    if (find) do {
            const std::wstring name = data.cFileName;
            if (name != L"." && name != L"..") names.push_back(name);
        } while (::FindNextFileW(find.Get(), &data));
    std::sort(names.begin(), names.end());
    return names;
}

TEST(ArchiveSupport, LoadsTheCarriedLibraryFromTempReplacingAnOldFile) {
    const std::wstring path = ArchiveLibraryPath();
    ASSERT_NE(std::wstring::npos, path.find(L"\\KillSola.dll"));
    ASSERT_TRUE(WriteBytes(path, std::string("left over from an older run")));
    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
    ASSERT_TRUE(LoadArchiveSupport());
    EXPECT_TRUE(SharedArchiveSupport().Ready());
    const auto bytes = ReadBytes(path);
    ASSERT_GT(bytes.size(), 2u);
    EXPECT_EQ('M', bytes[0]);
    EXPECT_EQ('Z', bytes[1]);
    EXPECT_TRUE(LoadArchiveSupport()) << "once per run, the same answer";
}

TEST(ArchiveSupport, ALibraryWithoutTheFunctionsIsRefused) {
    ArchiveSupport support;
    EXPECT_FALSE(support.Load(ProgramFolder() + L"\\version_stub_1_0_0_1.img"));
    EXPECT_FALSE(support.Ready());
    EXPECT_FALSE(support.Load(L"T:\\no such library.dll"));
}

class ArchiveRepairTest : public ::testing::Test, protected CleanerHarness {
protected:
    void SetUp() override {
        ASSERT_TRUE(LoadArchiveSupport());
        controller.ArchiveInfectorRepairReported = 0;
        ::CreateDirectoryW(folder.c_str(), nullptr);
    }
    std::wstring Carrier(const wchar_t* fixture) {
        const std::wstring path = folder + L"\\照片.exe";
        EXPECT_TRUE(::CopyFileW(Fixture(fixture).c_str(), path.c_str(), FALSE));
        return path;
    }
    std::wstring folder = dir / L"stick";
    DocumentRestore restore{controller, *log};
};

TEST_F(ArchiveRepairTest, FirstDocumentIsRestoredBesideTheCarrierUnderItsBareName) {
    const std::wstring carrier = Carrier(L"document.rar");
    ASSERT_TRUE(restore.Repair(carrier.c_str(), 2));
    EXPECT_EQ("Quarterly report\r\n", ReadText(folder + L"\\report.doc"));
    EXPECT_EQ((std::vector<std::wstring>{L"report.doc", L"照片.exe"}), Listing(folder))
        << "no sub-folder from the entry's path, and the program entry before it is skipped";
    EXPECT_EQ(0u, ::GetFileAttributesW((folder + L"\\report.doc").c_str()) &
                      (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(1u, Stats().Repaired);
    EXPECT_EQ(1, controller.ArchiveInfectorRepairReported.load());
    EXPECT_NE(std::string::npos, LogText().find("\\report.doc,,\xd0\xde\xb8\xb4\xb3\xc9\xb9\xa6,,1,,")) << "修复成功, type 1";
}

TEST_F(ArchiveRepairTest, AnExistingFileIsNeverOverwritten) {
    const std::wstring carrier = Carrier(L"document.rar");
    ASSERT_TRUE(WriteBytes(folder + L"\\report.doc", std::string("the user's own")));
    ASSERT_TRUE(restore.Repair(carrier.c_str(), 2));
    EXPECT_EQ("the user's own", ReadText(folder + L"\\report.doc"));
    const auto names = Listing(folder);
    ASSERT_EQ(3u, names.size());
    const std::wstring other = names[0] == L"report.doc" ? names[1] : names[0];
    EXPECT_EQ(0u, other.find(L"report"));
    EXPECT_EQ("Quarterly report\r\n", ReadText(folder + L"\\" + other));
}

TEST_F(ArchiveRepairTest, EntriesThatEscapeTheFolderOrNameADeviceAreRefused) {
    const std::wstring carrier = Carrier(L"hostile.rar");
    ASSERT_TRUE(restore.Repair(carrier.c_str(), 2));
    EXPECT_EQ((std::vector<std::wstring>{L"safe.txt", L"照片.exe"}), Listing(folder))
        << "only the safe document beside the carrier";
    EXPECT_EQ("safe text\r\n", ReadText(folder + L"\\safe.txt"));
    EXPECT_FALSE(FileExists(dir / L"evil.doc"));
    EXPECT_FALSE(FileExists(folder + L"\\evil.doc"));
    EXPECT_FALSE(FileExists(L"U:\\evil.doc"));
    EXPECT_EQ(1u, Stats().Repaired);
}

TEST_F(ArchiveRepairTest, NestedArchivesAreUnwrappedTwoLevelsAndTheirCopiesDeleted) {
    const std::wstring three = Carrier(L"nested3.rar");
    ASSERT_TRUE(restore.Repair(three.c_str(), 2));
    EXPECT_EQ((std::vector<std::wstring>{L"deep.txt", L"照片.exe"}), Listing(folder));
    EXPECT_EQ("deep text\r\n", ReadText(folder + L"\\deep.txt"));
    ::DeleteFileW((folder + L"\\deep.txt").c_str());

    const std::wstring four = Carrier(L"nested4.rar");
    EXPECT_FALSE(restore.Repair(four.c_str(), 2));
    EXPECT_EQ((std::vector<std::wstring>{L"照片.exe"}), Listing(folder)) << "the third .com is not opened";
    EXPECT_EQ(1u, Stats().Repaired);
}

// An entry that fails to extract (its data damaged, or more than the program writes) leaves nothing behind and
// the next document is tried.
TEST_F(ArchiveRepairTest, AFailedEntryGoesOnToTheNext) {
    const struct {
        const wchar_t* fixture;
        const wchar_t* failed;
        const wchar_t* restored;
        const char* text;
    } cases[] = {
        {L"damaged-first.rar", L"first.doc", L"second.txt", "second document\r\n"},
        {L"oversized.rar", L"huge.doc", L"small.txt", "small text\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.fixture, c.fixture + std::wcslen(c.fixture)));
        const std::wstring carrier = Carrier(c.fixture);
        const ScanStats before = Stats();
        ASSERT_TRUE(restore.Repair(carrier.c_str(), 2));
        EXPECT_EQ(c.text, ReadText(folder + L"\\" + c.restored));
        EXPECT_FALSE(FileExists(folder + L"\\" + c.failed)) << "no partly written file";
        EXPECT_EQ((std::vector<std::wstring>{c.restored, L"照片.exe"}), Listing(folder));
        EXPECT_EQ(1u, Stats().Repaired - before.Repaired);
        ::DeleteFileW((folder + L"\\" + c.restored).c_str());
    }
}

// The library is loaded only from a file that holds exactly the carried image, and one that someone holds
// open for writing is not loaded at all.
TEST(ArchiveSupport, OnlyTheCarriedImageIsLoaded) {
    ScratchDir dir;
    const std::wstring path = dir / L"KillSola.dll";
    const auto image = ReadBytes(ProgramFolder() + L"\\..\\..\\unrar\\unrar.dll");
    ASSERT_GT(image.size(), 1024u);
    ASSERT_TRUE(WriteBytes(path, image));
    {
        ArchiveSupport support;
        EXPECT_TRUE(LoadVerifiedLibrary(support, path, image.data(), DWORD(image.size())));
        EXPECT_TRUE(support.Ready());
    }
    auto swapped = image;
    swapped[swapped.size() / 2] ^= 0xFF;
    ASSERT_TRUE(WriteBytes(path, swapped));
    ArchiveSupport support;
    EXPECT_FALSE(LoadVerifiedLibrary(support, path, image.data(), DWORD(image.size()))) << "changed bytes";
    ASSERT_TRUE(WriteBytes(path, std::vector<unsigned char>(image.begin(), image.end() - 1)));
    EXPECT_FALSE(LoadVerifiedLibrary(support, path, image.data(), DWORD(image.size()))) << "cut short";
    ASSERT_TRUE(WriteBytes(path, image));
    {
        FileHandle writer(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(writer.Valid());
        EXPECT_FALSE(LoadVerifiedLibrary(support, path, image.data(), DWORD(image.size()))) << "held for writing";
    }
    EXPECT_FALSE(support.Ready());
}

TEST_F(ArchiveRepairTest, WhatIsNotAnArchiveIsLeftAlone) {
    const std::wstring path = folder + L"\\plain.exe";
    ASSERT_TRUE(::CopyFileW((ProgramFolder() + L"\\startup_probe.exe").c_str(), path.c_str(), FALSE));
    EXPECT_FALSE(restore.Repair(path.c_str(), 2));
    EXPECT_FALSE(restore.Repair(path.c_str(), 3));
    EXPECT_EQ((std::vector<std::wstring>{L"plain.exe"}), Listing(folder));
    EXPECT_EQ(0u, Stats().Repaired);
}

TEST_F(ArchiveRepairTest, WithoutArchiveSupportNothingIsExtracted) {
    ArchiveSupport none;
    DocumentRestore without{controller, *log, none};
    const std::wstring carrier = Carrier(L"document.rar");
    EXPECT_FALSE(without.Repair(carrier.c_str(), 2));
    EXPECT_FALSE(FileExists(folder + L"\\report.doc"));
}

}  // namespace
