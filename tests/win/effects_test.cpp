// The two bindings of the effects and the undo, on scratch folders, an image file and a scratch registry key.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include <shlwapi.h>

#include "TestSupport.h"
#include "engine/LiveEffects.h"
#include "engine/PlanEffects.h"
#include "engine/Undo.h"
#include "util/WinHandle.h"
#include "util/Wow64.h"

namespace {

std::vector<std::wstring> Names(const FolderListing& listing) {
    std::vector<std::wstring> names;
    for (const auto& e : listing.entries) names.push_back(e.name);
    std::sort(names.begin(), names.end());
    return names;
}

std::string ReadFileText(const std::wstring& path) { return ReadText(path); }

class Effects_ : public ::testing::Test {
protected:
    void SetUp() override { live.BeginSession(); }
    SessionInfo Session() {
        live.EndSession();
        const auto all = ListSessions(sessions.Path() + L"\\");
        EXPECT_EQ(1u, all.size());
        return all.empty() ? SessionInfo() : all[0];
    }
    ScratchDir sessions{L"T:"}, dir;
    LiveEffects live{sessions.Path() + L"\\"};
};

// A planned run sees the machine as its plan has left it, and changes nothing.
TEST_F(Effects_, ThePlanAnswersReadsAsAfterItsChanges) {
    ASSERT_TRUE(::CreateDirectoryW((dir / L"hidden").c_str(), nullptr));
    ASSERT_TRUE(::SetFileAttributesW((dir / L"hidden").c_str(), FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(WriteBytes(dir / L"hidden\\inside.txt", std::string("inside")));
    ASSERT_TRUE(WriteBytes(dir / L"worm.exe", std::string("worm")));
    PlanEffects plan;
    EXPECT_TRUE(plan.DeleteFile(dir / L"worm.exe"));
    EXPECT_TRUE(plan.SetAttributes(dir / L"hidden", FILE_ATTRIBUTE_NORMAL));
    EXPECT_TRUE(plan.Move(dir / L"hidden", dir / L"shown", false));
    EXPECT_TRUE(plan.WriteNewFile(dir / L"shown\\restored.doc", "d", 1));
    EXPECT_TRUE(plan.CreateFolder(dir / L"autorun.inf"));
    EXPECT_EQ((std::vector<std::wstring>{L"autorun.inf", L"shown"}), Names(plan.List(dir.Path(), L"*")));
    EXPECT_EQ((std::vector<std::wstring>{L"inside.txt", L"restored.doc"}), Names(plan.List(dir / L"shown", L"*")));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, plan.Attributes(dir / L"worm.exe"));
    EXPECT_EQ(0u, plan.Attributes(dir / L"shown") & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(dir / L"hidden\\inside.txt", plan.ReadablePath(dir / L"shown\\inside.txt")) << "read where it really is";
    EXPECT_TRUE(plan.ReadablePath(dir / L"shown\\restored.doc").empty()) << "a planned file has no bytes to read";
    EXPECT_FALSE(plan.RemoveFolder(dir / L"shown")) << "not empty in the plan either";
    EXPECT_TRUE(plan.DeleteFile(dir / L"shown\\inside.txt"));
    EXPECT_TRUE(plan.DeleteFile(dir / L"shown\\restored.doc"));
    EXPECT_TRUE(plan.RemoveFolder(dir / L"shown")) << "empty once the plan has taken everything out";
    // Nothing of it happened.
    EXPECT_TRUE(FileExists(dir / L"worm.exe"));
    EXPECT_NE(0u, ::GetFileAttributesW((dir / L"hidden").c_str()) & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_FALSE(FileExists(dir / L"shown"));
    EXPECT_FALSE(FileExists(dir / L"autorun.inf"));
    EXPECT_EQ(8u, plan.Entries().size()) << "what was refused is not planned";
}

// Each change is on the disk before the next is made; the undo reverses them, last first.
TEST_F(Effects_, JournalAsTheRunGoesAndAnUndoOfEveryKind) {
    ASSERT_TRUE(WriteBytes(dir / L"doc.txt", std::string("the user's text")));
    ASSERT_TRUE(::SetFileAttributesW((dir / L"doc.txt").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(::CreateDirectoryW((dir / L"folder").c_str(), nullptr));
    ASSERT_TRUE(live.SetAttributes(dir / L"folder", FILE_ATTRIBUTE_HIDDEN));
    const std::wstring journal = live.SessionFolder() + L"journal.txt";
    EXPECT_EQ(1u, DecodeJournal(ReadFileText(journal)).entries.size()) << "written at once";
    ASSERT_TRUE(live.DeleteFile(dir / L"doc.txt"));
    EXPECT_EQ(2u, DecodeJournal(ReadFileText(journal)).entries.size());
    ASSERT_TRUE(live.Move(dir / L"folder", dir / L"renamed", false));
    ASSERT_TRUE(live.WriteNewFile(dir / L"new.doc", "new", 3));
    ASSERT_TRUE(live.CreateFolder(dir / L"made"));
    const wchar_t key[] = L"Software\\VeludiskEffectsTest";
    ::SHDeleteKeyW(HKEY_CURRENT_USER, key);
    {
        RegKey k;
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CURRENT_USER, (std::wstring(key) + L"\\Sub").c_str(), 0, nullptr, 0,
                                                   KEY_ALL_ACCESS, nullptr, k.Put(), nullptr));
        const DWORD one = 1;
        ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExW(k.Get(), L"v", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4));
    }
    ASSERT_TRUE(live.SetRegistryValue(HKEY_CURRENT_USER, key, L"load", REG_SZ, L"", sizeof(wchar_t)));
    ASSERT_TRUE(live.DeleteRegistryKey(HKEY_CURRENT_USER, std::wstring(key) + L"\\Sub"));
    const SessionInfo session = Session();
    EXPECT_FALSE(session.journal.cutOff);
    EXPECT_EQ(7u, session.journal.entries.size());

    for (const UndoStep& step : UndoSession(session, false))
        EXPECT_EQ(UndoResult::Restored, step.result) << step.entry.kind << " " << std::string(step.detail.begin(), step.detail.end());
    EXPECT_EQ("the user's text", ReadText(dir / L"doc.txt"));
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY),
              ::GetFileAttributesW((dir / L"doc.txt").c_str()) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(FileExists(dir / L"folder"));
    EXPECT_FALSE(FileExists(dir / L"renamed"));
    EXPECT_EQ(0u, ::GetFileAttributesW((dir / L"folder").c_str()) & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_FALSE(FileExists(dir / L"new.doc"));
    EXPECT_FALSE(FileExists(dir / L"made"));
    RegKey k;
    ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_READ, k.Put()));
    EXPECT_NE(ERROR_SUCCESS, ::RegQueryValueExW(k.Get(), L"load", nullptr, nullptr, nullptr, nullptr)) << "there was none";
    RegKey sub;
    ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExW(HKEY_CURRENT_USER, (std::wstring(key) + L"\\Sub").c_str(), 0, KEY_READ, sub.Put()));
    DWORD value = 0, size = sizeof value;
    EXPECT_EQ(ERROR_SUCCESS, ::RegQueryValueExW(sub.Get(), L"v", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size));
    EXPECT_EQ(1u, value);
    ::SHDeleteKeyW(HKEY_CURRENT_USER, key);
}

// A sector goes back only when confirmed, and only when it still holds what the session wrote; the kept copy
// holds the sectors around it too, and only the written bytes go back.
TEST_F(Effects_, ASectorIsWrittenBackOnlyWhenConfirmedAndUnchanged) {
    std::vector<unsigned char> disk = PatternBytes(12288, 9);
    const std::wstring image = dir / L"disk.img";
    ASSERT_TRUE(WriteBytes(image, disk));
    const std::vector<unsigned char> repaired(512, 0x33);
    SectorWrite w;
    w.device = image;
    w.offset = 4096;
    w.data = repaired.data();
    w.size = DWORD(repaired.size());
    w.keepSize = 4096;
    w.keptName = L"boot-record-disk.img-20261211-101500.bin";
    ASSERT_TRUE(live.WriteSector(w));
    auto written = disk;
    std::copy(repaired.begin(), repaired.end(), written.begin() + 4096);
    EXPECT_EQ(written, ReadBytes(image));
    const SessionInfo session = Session();
    ASSERT_EQ(1u, session.journal.entries.size());
    EXPECT_EQ("write-sector", session.journal.entries[0].kind);
    const std::wstring kept = session.journal.entries[0].fields[2];
    EXPECT_NE(std::wstring::npos, kept.find(L"boot-record-disk.img-20261211-101500.bin")) << kept;
    EXPECT_EQ(std::vector<unsigned char>(disk.begin() + 4096, disk.begin() + 8192), ReadBytes(kept))
        << "the 4096 bytes from the offset, as they were before";
    written[6000] ^= 0x5A;  // a later change outside the written sector stays through the undo
    ASSERT_TRUE(WriteBytes(image, written));
    disk[6000] ^= 0x5A;

    EXPECT_EQ(UndoResult::Failed, UndoSession(session, false, false)[0].result) << "not without a yes";
    EXPECT_EQ(written, ReadBytes(image));
    auto rewritten = written;
    rewritten[4100] ^= 1;
    ASSERT_TRUE(WriteBytes(image, rewritten));
    EXPECT_EQ(UndoResult::Failed, UndoSession(session, false, true)[0].result) << "written again since";
    EXPECT_EQ(rewritten, ReadBytes(image));
    ASSERT_TRUE(WriteBytes(image, written));
    EXPECT_EQ(UndoResult::Restored, UndoSession(session, false, true)[0].result);
    EXPECT_EQ(disk, ReadBytes(image));
}

// A value deleted comes back unless one was written there since; in a WoW64 prefix the 64-bit view is its own.
TEST_F(Effects_, ADeletedValueComesBackInItsOwnView) {
    const wchar_t key[] = L"Software\\VeludiskEffectsViews";
    std::vector<REGSAM> views{0};
    if (RunningUnderWow64()) views.push_back(kRegistry64);
    for (REGSAM view : views) {
        RegKey k;
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr,
                                                   k.Put(), nullptr));
        ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExW(k.Get(), L"worm", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"w.exe"), 12));
        ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExW(k.Get(), L"again", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"a"), 4));
        if (view) {
            DWORD type = 0;
            std::vector<std::uint8_t> data;
            EXPECT_EQ(ERROR_FILE_NOT_FOUND, ReadRegistryValue(HKEY_LOCAL_MACHINE, key, L"worm", type, data))
                << "not in the program's own view";
        }
        ScratchDir viewSessions{L"T:"};
        LiveEffects fx{viewSessions.Path() + L"\\"};
        fx.BeginSession();
        ASSERT_TRUE(fx.DeleteRegistryValue(HKEY_LOCAL_MACHINE, key, L"worm", view));
        ASSERT_TRUE(fx.DeleteRegistryValue(HKEY_LOCAL_MACHINE, key, L"again", view));
        EXPECT_TRUE(fx.DeleteRegistryValue(HKEY_LOCAL_MACHINE, key, L"none", view)) << "nothing there is done";
        const std::vector<JournalEntry> entries = fx.Entries();
        fx.EndSession();
        ASSERT_EQ(2u, entries.size());
        EXPECT_EQ("registry-delete-value", entries[0].kind);
        EXPECT_EQ(view ? L"HKLM64" : L"HKLM", entries[0].fields[0]);
        EXPECT_NE(ERROR_SUCCESS, ::RegQueryValueExW(k.Get(), L"worm", nullptr, nullptr, nullptr, nullptr));
        ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExW(k.Get(), L"again", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"b"), 4));
        const auto all = ListSessions(viewSessions.Path() + L"\\");
        ASSERT_EQ(1u, all.size());
        const std::vector<UndoStep> steps = UndoSession(all[0], false, false);
        ASSERT_EQ(2u, steps.size());
        for (const UndoStep& step : steps) {
            ASSERT_LE(3u, step.entry.fields.size());
            if (step.entry.fields[2] == L"worm")
                EXPECT_EQ(UndoResult::Restored, step.result);
            else
                EXPECT_EQ(UndoResult::Failed, step.result) << "written again since: kept";
        }
        DWORD type = 0;
        std::vector<std::uint8_t> data;
        ASSERT_EQ(ERROR_SUCCESS, ReadRegistryValue(HKEY_LOCAL_MACHINE, key, L"worm", type, data, view));
        EXPECT_EQ(REG_SZ, type);
        EXPECT_EQ(0, std::memcmp(data.data(), L"w.exe", 12));
        ASSERT_EQ(ERROR_SUCCESS, ReadRegistryValue(HKEY_LOCAL_MACHINE, key, L"again", type, data, view));
        EXPECT_EQ(0, std::memcmp(data.data(), L"b", 4));
        k.Reset();
        LiveEffects cleanup{viewSessions.Path() + L"\\"};
        cleanup.BeginSession();
        EXPECT_TRUE(cleanup.DeleteRegistryKey(HKEY_LOCAL_MACHINE, key, view));
        cleanup.EndSession();
        RegKey gone;
        EXPECT_EQ(ERROR_FILE_NOT_FOUND, ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ | view, gone.Put()));
    }
}

// Nothing is deleted whose bytes could not be kept, and a file that is back at its place is not overwritten.
TEST_F(Effects_, KeptBytesComeFirstAndComeBackBeside) {
    ASSERT_TRUE(WriteBytes(dir / L"locked.exe", std::string("worm")));
    {
        FileHandle exclusive(::CreateFileW((dir / L"locked.exe").c_str(), GENERIC_READ, FILE_SHARE_DELETE, nullptr,
                                           OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(exclusive.Valid());
        EXPECT_FALSE(live.DeleteFile(dir / L"locked.exe")) << "its bytes could not be copied";
    }
    EXPECT_TRUE(FileExists(dir / L"locked.exe"));
    ASSERT_TRUE(live.DeleteFile(dir / L"locked.exe"));
    ASSERT_TRUE(WriteBytes(dir / L"locked.exe", std::string("a new file of that name")));
    const SessionInfo session = Session();
    const auto steps = UndoSession(session, false);
    ASSERT_EQ(1u, steps.size());
    EXPECT_EQ(UndoResult::RestoredBeside, steps[0].result);
    EXPECT_EQ("a new file of that name", ReadText(dir / L"locked.exe"));
    EXPECT_EQ("worm", ReadText(steps[0].detail));
}

// A worm that writes itself back is deleted again, and its second copy's bytes are kept too.
TEST_F(Effects_, AFileDeletedAgainKeepsItsNewBytes) {
    ASSERT_TRUE(WriteBytes(dir / L"again.exe", std::string("first")));
    ASSERT_TRUE(live.DeleteFile(dir / L"again.exe"));
    ASSERT_TRUE(WriteBytes(dir / L"again.exe", std::string("second")));
    ASSERT_TRUE(live.DeleteFile(dir / L"again.exe"));
    const SessionInfo session = Session();
    ASSERT_EQ(2u, session.journal.entries.size());
    EXPECT_EQ("first", ReadText(session.journal.entries[0].fields[1]));
    EXPECT_EQ("second", ReadText(session.journal.entries[1].fields[1]));
}

// An undo that could not put everything back leaves the session open: the next undo takes only what is left.
TEST_F(Effects_, AnUndoThatLeftSomethingCanBeRunAgain) {
    ASSERT_TRUE(WriteBytes(dir / L"one.exe", std::string("one")));
    ASSERT_TRUE(WriteBytes(dir / L"two.exe", std::string("two")));
    ASSERT_TRUE(live.DeleteFile(dir / L"one.exe"));
    ASSERT_TRUE(live.DeleteFile(dir / L"two.exe"));
    const SessionInfo session = Session();
    const std::wstring keptTwo = session.journal.entries[1].fields[1], aside = keptTwo + L".aside";
    ASSERT_TRUE(::MoveFileW(keptTwo.c_str(), aside.c_str()));  // its copy is missing for now
    auto steps = UndoSession(session, false);
    ASSERT_EQ(2u, steps.size());
    EXPECT_EQ(UndoResult::Failed, steps[0].result);
    EXPECT_EQ(UndoResult::Restored, steps[1].result);
    EXPECT_EQ("one", ReadText(dir / L"one.exe"));
    ASSERT_TRUE(::MoveFileW(aside.c_str(), keptTwo.c_str()));
    const auto again = ListSessions(sessions.Path() + L"\\");
    ASSERT_EQ(1u, again.size());
    EXPECT_FALSE(again[0].undone);
    steps = UndoSession(again[0], false);
    ASSERT_EQ(1u, steps.size()) << "what came back the first time is not put back twice";
    EXPECT_EQ(UndoResult::Restored, steps[0].result);
    EXPECT_EQ("two", ReadText(dir / L"two.exe"));
    EXPECT_FALSE(FileExists(dir / L"one\uff08\u6062\u590d\uff09.exe"));
    EXPECT_TRUE(ListSessions(sessions.Path() + L"\\")[0].undone);
}

// A program run from a folder it cannot write to still keeps what it deletes: in the fallback folder.
TEST(LiveEffects, SessionsGoToTheFallbackWhenTheirFolderCannotBeWritten) {
    ScratchDir dir, fallback(L"T:");
    LiveEffects live(L"Q:\\not-a-drive\\BackFiles\\", fallback.Path() + L"\\");
    live.BeginSession();
    ASSERT_TRUE(WriteBytes(dir / L"worm.exe", std::string("worm")));
    EXPECT_TRUE(live.DeleteFile(dir / L"worm.exe"));
    live.EndSession();
    EXPECT_EQ(0u, live.SessionFolder().find(fallback.Path())) << std::string(live.SessionFolder().begin(), live.SessionFolder().end());
    const auto sessions = ListSessions(fallback.Path() + L"\\");
    ASSERT_EQ(1u, sessions.size());
    EXPECT_EQ(UndoResult::Restored, UndoSession(sessions[0], false)[0].result);
    EXPECT_EQ("worm", ReadText(dir / L"worm.exe"));
}

}  // namespace
