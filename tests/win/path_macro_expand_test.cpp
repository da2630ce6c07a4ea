// Placeholders expand to the test prefix's real folders.
#include <gtest/gtest.h>

#include <shlobj.h>
#include <windows.h>

#include "util/PathMacroExpand.h"
#include "util/ProgramPath.h"
#include "util/WinHandle.h"

namespace {

std::wstring WindowsDir() {
    wchar_t p[MAX_PATH];
    ::GetWindowsDirectoryW(p, MAX_PATH);
    return p;
}

std::wstring SpecialDir(int csidl) {
    wchar_t p[MAX_PATH] = {};
    EXPECT_TRUE(::SHGetSpecialFolderPathW(nullptr, p, csidl, FALSE));
    return p;
}

std::wstring Expand(const wchar_t* text, int* result = nullptr) {
    std::wstring out = L"untouched";
    const int r = ExpandPathMacros(text, out);
    if (result) *result = r;
    EXPECT_EQ(0, r) << text;
    return out;
}

TEST(ExpandPathMacros, RealFolders) {
    wchar_t sys[MAX_PATH];
    ::GetSystemDirectoryW(sys, MAX_PATH);
    const std::wstring windir = WindowsDir();
    struct Case {
        const wchar_t* text;
        std::wstring expected;
    } cases[] = {
        {L"%windir%", windir + L"\\"},
        {L"%WINDIR%\\system32", windir + L"\\system32"},
        {L"%windir%\\system32", windir + L"\\system32"},
        {L"%SystemRoot%\\x", windir + L"\\x"},
        {L"%sys32dir%\\drivers", std::wstring(sys) + L"\\drivers"},
        {L"%rootdriver%x", windir.substr(0, 2) + L"\\x"},
        {L"%rootdriver%\\x", windir.substr(0, 2) + L"\\x"},
        {L"%appdata%", SpecialDir(CSIDL_APPDATA) + L"\\"},
        {L"%programfiles%\\a", SpecialDir(CSIDL_PROGRAM_FILES) + L"\\a"},
        {L"%commonstartup%\\a.lnk", SpecialDir(CSIDL_COMMON_STARTUP) + L"\\a.lnk"},
        {L"%IECache%", SpecialDir(CSIDL_INTERNET_CACHE) + L"\\"},
        {L"%.%\\Cleaner.log", ProgramFolder() + L"\\Cleaner.log"},
        {L"%disk%\\autorun.inf", L"U:\\autorun.inf"},  // U: is the prefix's only removable drive
        {L"%foo%\\x", L"\\x"},
        {L"x%y%z%appdata%w", L"x%y%z" + SpecialDir(CSIDL_APPDATA) + L"\\w"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.expected, Expand(c.text)) << c.text;
}

TEST(ExpandPathMacros, DerivedFolders) {
    std::wstring appdata = SpecialDir(CSIDL_COMMON_APPDATA);
    EXPECT_EQ(appdata.substr(0, appdata.rfind(L'\\')) + L"\\x", Expand(L"%commonprofiles%\\x"));
    std::wstring cache = SpecialDir(CSIDL_INTERNET_CACHE);
    const std::wstring temp = cache.substr(0, cache.rfind(L'\\')) + L"\\Temp";
    EXPECT_EQ(temp + L"\\a", Expand(L"%tmp%\\a"));
    EXPECT_EQ(temp + L"\\a", Expand(L"%TEMP%\\a"));
    wchar_t user[256];
    DWORD n = 256;
    ASSERT_TRUE(::GetUserNameW(user, &n));
    EXPECT_EQ(std::wstring(L"a\\") + user + L"\\b", Expand(L"a\\%currentuser%\\b"));
}

TEST(ExpandPathMacros, NoPlaceholderEmptiesTheOutput) {
    for (const wchar_t* text : {L"C:\\autorun.inf", L"%", L"%%", L""}) {
        std::wstring out = L"old";
        EXPECT_EQ(-1, ExpandPathMacros(text, out)) << text;
        EXPECT_EQ(L"", out);
    }
}

TEST(ExpandPathMacros, OverlongPartsAreRefused) {
    std::wstring out = L"old";
    EXPECT_EQ(-1, ExpandPathMacros(L"12345678%windir%", out));
    EXPECT_EQ(-1, ExpandPathMacros((L"%windir%\\" + std::wstring(259, L'a')).c_str(), out));
    EXPECT_EQ(0, ExpandPathMacros((L"%windir%" + std::wstring(259, L'a')).c_str(), out));
}

class QqInstall : public ::testing::Test {
protected:
    void TearDown() override { ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\TENCENT\\QQ"); }
};

TEST_F(QqInstall, ReadsTheInstallValueOrFailsWithTheRegistryError) {
    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\TENCENT\\QQ");
    std::wstring out = L"kept";
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, ExpandPathMacros(L"%qq08%\\Bin\\QQ.exe", out));
    EXPECT_EQ(L"kept", out) << "a failed lookup leaves the output alone";

    RegKey key;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\TENCENT\\QQ", 0, nullptr, 0,
                                               KEY_SET_VALUE, nullptr, key.Put(), nullptr));
    // Stored without its terminator: the reader must end the string itself.
    const wchar_t folder[] = L"D:\\Tencent\\QQ";
    ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExW(key.Get(), L"Install", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder),
                                              DWORD((sizeof folder) - sizeof(wchar_t))));
    EXPECT_EQ(L"D:\\Tencent\\QQ\\Bin\\QQ.exe", Expand(L"%qq08%\\Bin\\QQ.exe"));

    const std::wstring tooLong = L"D:\\" + std::wstring(300, L'q');
    ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExW(key.Get(), L"Install", 0, REG_SZ,
                                              reinterpret_cast<const BYTE*>(tooLong.c_str()),
                                              DWORD((tooLong.size() + 1) * sizeof(wchar_t))));
    out = L"kept";
    EXPECT_NE(0, ExpandPathMacros(L"%qq08%\\x", out));
    EXPECT_EQ(L"kept", out);
}

TEST(ExpandPathMacros, SystemTempNestingIsCountedForTheWholeProcess) {
    const std::wstring temp = WindowsDir() + L"\\Temp\\x";
    EXPECT_EQ(temp, Expand(L"%systmp%\\x"));
    EXPECT_EQ(temp, Expand(L"%systemp%\\x"));
    std::wstring out = L"kept";
    EXPECT_EQ(-22, ExpandPathMacros(L"%systmp%\\x", out));  // from the third use on
    EXPECT_EQ(-22, ExpandPathMacros(L"%systemp%\\x", out));
    EXPECT_EQ(L"kept", out);
}

TEST(ExpandPathMacrosTo, BufferMustHoldTheTerminator) {
    const std::wstring expected = WindowsDir() + L"\\ab";
    std::vector<wchar_t> buffer(expected.size() + 1, L'#');
    EXPECT_EQ(0, ExpandPathMacrosTo(L"%windir%\\ab", buffer.data(), buffer.size()));
    EXPECT_EQ(expected, std::wstring(buffer.data()));
    EXPECT_EQ(-1, ExpandPathMacrosTo(L"%windir%\\ab", buffer.data(), buffer.size() - 1));
    EXPECT_EQ(-1, ExpandPathMacrosTo(L"no placeholder", buffer.data(), buffer.size()));
}

}  // namespace
