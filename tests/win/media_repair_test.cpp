// The media cleaner with a stand-in for the Windows Media Format editor (Wine does not implement it).
#include <gtest/gtest.h>

#include <cwchar>
#include <map>

#include "CleanerHarness.h"
#include "engine/LiveEffects.h"
#include "cleaners/drive/MediaFiles.h"
#include "cleaners/drive/MediaRepair.h"
#include "log/VLogger.h"
#include "scan/ScanController.h"
#include "support/FakeDrives.h"

namespace {

// Files as the editor would see them: a list of script commands and an optional licence address.
class FakeMediaEditor final : public MediaEditor {
public:
    struct File {
        std::vector<std::pair<std::wstring, std::wstring>> scripts;  // type, command
        std::wstring licence;
        bool asf = true;
    };
    std::map<std::wstring, File> files;
    std::vector<std::wstring> opened;
    bool available = true;

    bool Available() override { return available; }
    bool ReadFirstScript(const wchar_t* path, std::wstring& type, std::wstring& command) override {
        opened.push_back(path);
        File* f = Find(path);
        if (!f || f->scripts.empty()) return false;
        type = f->scripts[0].first;
        command = f->scripts[0].second;
        return true;
    }
    bool RemoveFirstScript(const wchar_t* path) override {
        File* f = Find(path);
        if (!f || f->scripts.empty()) return false;
        f->scripts.erase(f->scripts.begin());
        return true;
    }
    bool ReadLicenceInfo(const wchar_t* path, std::wstring& value) override {
        File* f = Find(path);
        if (!f || f->licence.empty()) return false;
        value = f->licence;
        return true;
    }

private:
    File* Find(const wchar_t* path) {
        auto it = files.find(path);
        return it == files.end() || !it->second.asf ? nullptr : &it->second;
    }
};

DWORD Preference(HKEY root) {
    RegKey key;
    DWORD value = 0xFFFF, size = sizeof value;
    if (::RegOpenKeyExW(root, L"Software\\Microsoft\\MediaPlayer\\Preferences", 0, KEY_READ, key.Put()) != ERROR_SUCCESS)
        return 0xDEAD;
    ::RegQueryValueExW(key.Get(), L"URLAndExitCommandsEnabled", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
    return value;
}

class MediaRepairTest : public ::testing::Test, protected CleanerHarness {
protected:
    void SetUp() override {
        repair = std::make_unique<MediaRepair>(editor, controller, *log);
        for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
            RegKey key;
            ::RegCreateKeyExW(root, L"Software\\Microsoft\\MediaPlayer\\Preferences", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, key.Put(), nullptr);
            const DWORD on = 1;
            ::RegSetValueExW(key.Get(), L"URLAndExitCommandsEnabled", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&on), sizeof on);
        }
    }
    unsigned Repaired() { return Stats().Repaired; }

    FakeMediaEditor editor;
    std::unique_ptr<MediaRepair> repair;
};

TEST_F(MediaRepairTest, FirstCommandGoesWhateverItsType) {
    // The bytes before the edit are kept for the undo: the file is there to be copied.
    ASSERT_TRUE(WriteBytes(L"U:\\clip.wmv", std::string("asf header")));
    struct Remove {
        ~Remove() { ::DeleteFileW(L"U:\\clip.wmv"); }
    } remove;
    auto& f = editor.files[L"U:\\clip.wmv"];
    f.scripts = {{L"TEXT", L"hello"}, {L"URLANDEXIT", L"http://x"}, {L"URL", L"http://y"}};
    EXPECT_FALSE(repair->RepairMediaFile(L"U:\\clip.wmv"));
    ASSERT_EQ(2u, f.scripts.size()) << "one command per scan";
    EXPECT_EQ(L"URLANDEXIT", f.scripts[0].first);
    EXPECT_EQ(1u, Repaired());
    const std::string text = ReadText(logPath);
    EXPECT_NE(std::string::npos, text.find(",,U:\\clip.wmv,,\xd0\xde\xb8\xb4\xb3\xc9\xb9\xa6,,3,,000000000000000000,,0\r\n"))
        << "修复成功, type 3";
    EXPECT_EQ(0u, Preference(HKEY_LOCAL_MACHINE));
    EXPECT_EQ(0u, Preference(HKEY_CURRENT_USER));
}

TEST_F(MediaRepairTest, BothChecksFoundCountOneRepair) {
    auto& f = editor.files[L"U:\\movie.asf"];
    f.scripts = {{L"urlandexit", L"http://x"}};
    f.licence = std::wstring(kKnownLicenceAddress) + L"get?id=1";
    EXPECT_FALSE(repair->RepairMediaFile(L"U:\\movie.asf"));
    EXPECT_EQ(1u, Repaired());
    EXPECT_EQ(f.licence, std::wstring(kKnownLicenceAddress) + L"get?id=1") << "the licence value is not changed";
}

TEST_F(MediaRepairTest, KnownLicenceAloneIsARepairOtherAddressesAreNot) {
    editor.files[L"U:\\a.wma"].licence = std::wstring(kKnownLicenceAddress) + L"x";
    editor.files[L"U:\\b.wma"].licence = L"http://licence.example.com/";
    EXPECT_FALSE(repair->RepairMediaFile(L"U:\\a.wma"));
    EXPECT_TRUE(repair->RepairMediaFile(L"U:\\b.wma"));
    EXPECT_EQ(1u, Repaired());
}

TEST_F(MediaRepairTest, NonAsfMp3IsNothingButThePreferenceIsWritten) {
    editor.files[L"U:\\song.mp3"].asf = false;
    EXPECT_TRUE(repair->RepairMediaFile(L"U:\\song.mp3"));
    EXPECT_EQ(0u, Repaired());
    EXPECT_EQ("", ReadText(logPath));
    EXPECT_EQ(0u, Preference(HKEY_LOCAL_MACHINE));
    EXPECT_EQ(0u, Preference(HKEY_CURRENT_USER));
}

TEST_F(MediaRepairTest, OnlyMediaExtensionsAreExamined) {
    editor.files[L"U:\\CLIP.WMV"].scripts = {{L"URLANDEXIT", L"x"}};
    editor.files[L"U:\\clip.wmv.txt"].scripts = {{L"URLANDEXIT", L"x"}};
    EXPECT_FALSE(repair->RepairMediaFile(L"U:\\CLIP.WMV"));
    EXPECT_TRUE(repair->RepairMediaFile(L"U:\\clip.wmv.txt")) << "not a media file: nothing to report";
    EXPECT_EQ(std::vector<std::wstring>{L"U:\\CLIP.WMV"}, editor.opened);
}

TEST_F(MediaRepairTest, WithoutTheMediaRuntimeNothingIsExamined) {
    editor.available = false;
    editor.files[L"U:\\clip.wmv"].scripts = {{L"URLANDEXIT", L"x"}};
    EXPECT_TRUE(repair->RepairMediaFile(L"U:\\clip.wmv"));
    EXPECT_TRUE(editor.opened.empty());
    EXPECT_EQ(1u, Preference(HKEY_CURRENT_USER)) << "untouched";
}

TEST(MediaPreference, WritesBothKeysOrStopsWithoutTheMachineKey) {
    LiveEffects fx;
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        RegKey key;
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(root, L"Software\\Microsoft\\MediaPlayer\\Preferences", 0, nullptr, 0,
                                                   KEY_ALL_ACCESS, nullptr, key.Put(), nullptr));
    }
    EXPECT_EQ(1, DisableUrlAndExitCommands(fx, false));
    EXPECT_EQ(1u, Preference(HKEY_LOCAL_MACHINE));
    EXPECT_EQ(1u, Preference(HKEY_CURRENT_USER));
    EXPECT_EQ(1, DisableUrlAndExitCommands(fx, true));
    EXPECT_EQ(0u, Preference(HKEY_LOCAL_MACHINE));
    EXPECT_EQ(0u, Preference(HKEY_CURRENT_USER));
    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\MediaPlayer\\Preferences");
    EXPECT_EQ(0, DisableUrlAndExitCommands(fx, false));
    EXPECT_EQ(0u, Preference(HKEY_CURRENT_USER)) << "stops before the user's key";
}

TEST(MediaRuntime, RealEditorFindsNothingInAFileThatIsNotAsf) {
    // The runtime is bound at run time; Wine's is partial. A file it cannot read is simply nothing to repair.
    ScratchDir dir;
    const std::wstring path = dir / L"not-asf.wmv";
    ASSERT_TRUE(WriteBytes(path, std::string(4096, 'x')));
    std::wstring type, command, licence;
    EXPECT_FALSE(WindowsMediaEditor().ReadFirstScript(path.c_str(), type, command));
    EXPECT_FALSE(WindowsMediaEditor().ReadLicenceInfo(path.c_str(), licence));
    EXPECT_EQ(std::string(4096, 'x'), ReadText(path)) << "the file is not changed";
}

}  // namespace
