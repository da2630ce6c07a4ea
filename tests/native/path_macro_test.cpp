#include <gtest/gtest.h>

#include "util/PathMacro.h"

namespace {

TEST(PathMacroSplit, FindsTheLastPlaceholder) {
    struct Case {
        const wchar_t* text;
        const wchar_t* prefix;
        const wchar_t* name;
        const wchar_t* rest;
    } cases[] = {
        {L"%windir%\\system32", L"", L"windir", L"\\system32"},
        {L"%WINDIR%", L"", L"WINDIR", L""},
        {L"x%y%z%appdata%w", L"x%y%z", L"appdata", L"w"},
        {L"%%a%", L"%", L"a", L""},           // "%%" has no name between
        {L"%a%%", L"", L"a", L"%"},
        {L"%.%\\Cleaner.log", L"", L".", L"\\Cleaner.log"},
        {L"ab%c%d%", L"ab%c", L"d", L""},
        {L"%a%b%", L"%a", L"b", L""},
        {L"%%%", L"", L"%", L""},  // a name may itself be "%"
    };
    for (const auto& c : cases) {
        PathMacroParts parts;
        ASSERT_EQ(MacroSplit::Ok, SplitPathMacro(c.text, parts)) << c.text;
        EXPECT_EQ(c.prefix, parts.prefix) << c.text;
        EXPECT_EQ(c.name, parts.name) << c.text;
        EXPECT_EQ(c.rest, parts.rest) << c.text;
    }
}

TEST(PathMacroSplit, NoPlaceholder) {
    for (const wchar_t* text : {L"", L"C:\\x", L"%", L"%%", L"a%b", L"a%%"}) {
        PathMacroParts parts;
        EXPECT_EQ(MacroSplit::NoPlaceholder, SplitPathMacro(text, parts)) << text;
    }
}

TEST(PathMacroSplit, OverlongPartsAreRefusedNotCut) {
    PathMacroParts parts;
    EXPECT_EQ(MacroSplit::Ok, SplitPathMacro(L"1234567%a%", parts));
    EXPECT_EQ(MacroSplit::TooLong, SplitPathMacro(L"12345678%a%", parts));
    EXPECT_EQ(MacroSplit::Ok, SplitPathMacro(L"%" + std::wstring(63, L'n') + L"%", parts));
    EXPECT_EQ(MacroSplit::TooLong, SplitPathMacro(L"%" + std::wstring(64, L'n') + L"%", parts));
    EXPECT_EQ(MacroSplit::Ok, SplitPathMacro(L"%a%" + std::wstring(259, L'r'), parts));
    EXPECT_EQ(MacroSplit::TooLong, SplitPathMacro(L"%a%" + std::wstring(260, L'r'), parts));
}

TEST(PathMacroNames, TableOrderAndCase) {
    EXPECT_EQ(kMacroNameCount, 29);
    EXPECT_EQ(kMacroWindir, FindMacroName(L"WinDir"));
    EXPECT_EQ(kMacroIECache, FindMacroName(L"iecache"));
    EXPECT_EQ(kMacroProgramFolder, FindMacroName(L"."));
    EXPECT_EQ(kMacroQq09, FindMacroName(L"QQ09"));
    EXPECT_EQ(kMacroSysTemp, FindMacroName(L"systemp"));
    EXPECT_EQ(-1, FindMacroName(L"foo"));
    EXPECT_EQ(-1, FindMacroName(L"windi"));
    EXPECT_EQ(-1, FindMacroName(L"windirx"));
}

TEST(PathMacroJoin, ExactlyOneBackslash) {
    EXPECT_EQ(L"C:\\windows\\", JoinMacroExpansion(L"", L"C:\\windows", L""));
    EXPECT_EQ(L"C:\\x", JoinMacroExpansion(L"", L"C:", L"x"));
    EXPECT_EQ(L"C:\\x", JoinMacroExpansion(L"", L"C:", L"\\x"));
    EXPECT_EQ(L"C:\\x", JoinMacroExpansion(L"", L"C:\\", L"\\x"));
    EXPECT_EQ(L"C:\\x", JoinMacroExpansion(L"", L"C:\\", L"x"));
    EXPECT_EQ(L"\\x", JoinMacroExpansion(L"", L"", L"x"));    // unknown name: empty folder
    EXPECT_EQ(L"\\x", JoinMacroExpansion(L"", L"", L"\\x"));
    EXPECT_EQ(L"p\\x", JoinMacroExpansion(L"p", L"", L"x"));
}

}  // namespace
