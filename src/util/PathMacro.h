#pragma once
// Folder placeholders in machine-independent path lists: "%windir%\x", "%appdata%\y". The portable half:
// finding the placeholder, naming it, joining the expansion. Folder lookups live in the Windows half.
#include <cstddef>
#include <string>

constexpr std::size_t kMacroPrefixMax = 7;
constexpr std::size_t kMacroNameMax = 63;
constexpr std::size_t kMacroRestMax = 259;
constexpr std::size_t kMacroFolderMax = 259;

// Table order is part of the list format: indexes are stable.
enum PathMacroName {
    kMacroWindir, kMacroSys32dir, kMacroProgramFiles, kMacroCommonFiles, kMacroCurrentUser, kMacroProfile,
    kMacroCommonPrograms, kMacroCommonStartup, kMacroCommonDesktop, kMacroCommonStartMenu, kMacroRootDriver,
    kMacroStartup, kMacroStartMenu, kMacroPrograms, kMacroDesktop, kMacroAppData, kMacroCommonAppData,
    kMacroCommonProfiles, kMacroUserProfile, kMacroSystemRoot, kMacroTmp, kMacroTemp, kMacroSysTmp,
    kMacroSysTemp, kMacroIECache, kMacroProgramFolder, kMacroDisk, kMacroQq08, kMacroQq09,
    kMacroNameCount
};

extern const wchar_t* const kPathMacroNames[kMacroNameCount];

struct PathMacroParts {
    std::wstring prefix;  // text before the placeholder
    std::wstring name;    // between the two "%"
    std::wstring rest;    // text after it
};

enum class MacroSplit { Ok, NoPlaceholder, TooLong };

// Splits at the last placeholder "%name%" with a non-empty name (the rule of "{.*}%{.+?}%{.*}": the prefix is
// as long as possible, the name as short as possible). A part beyond its limit is refused, never cut.
MacroSplit SplitPathMacro(const std::wstring& text, PathMacroParts& parts);

// Index in the name table, compared without regard to ASCII case; -1 when the name is not there.
int FindMacroName(const std::wstring& name);

// prefix + folder + rest with exactly one backslash between folder and rest.
std::wstring JoinMacroExpansion(const std::wstring& prefix, const std::wstring& folder, const std::wstring& rest);
