#include "util/PathMacro.h"

#include "util/AsciiCase.h"

const wchar_t* const kPathMacroNames[kMacroNameCount] = {
    L"windir", L"sys32dir", L"programfiles", L"commonfiles", L"currentuser", L"profile", L"commonprograms",
    L"commonstartup", L"commondesktop", L"commonstartmenu", L"rootdriver", L"startup", L"startmenu",
    L"programs", L"desktop", L"appdata", L"commonappdata", L"commonprofiles", L"userprofile", L"systemroot",
    L"tmp", L"temp", L"systmp", L"systemp", L"IECache", L".", L"disk", L"qq08", L"qq09",
};

MacroSplit SplitPathMacro(const std::wstring& text, PathMacroParts& parts) {
    // The opening "%" is the last one that still has a closing "%" at least two characters on.
    std::size_t open = std::wstring::npos, close = std::wstring::npos;
    std::size_t lastPct = text.rfind(L'%');
    if (lastPct == std::wstring::npos) return MacroSplit::NoPlaceholder;
    for (std::size_t i = lastPct; i-- > 0;) {
        if (text[i] != L'%' || lastPct < i + 2) continue;
        open = i;
        close = text.find(L'%', i + 2);
        break;
    }
    if (open == std::wstring::npos) return MacroSplit::NoPlaceholder;
    const std::size_t nameLen = close - open - 1, restLen = text.size() - close - 1;
    if (open > kMacroPrefixMax || nameLen > kMacroNameMax || restLen > kMacroRestMax) return MacroSplit::TooLong;
    parts.prefix = text.substr(0, open);
    parts.name = text.substr(open + 1, nameLen);
    parts.rest = text.substr(close + 1);
    return MacroSplit::Ok;
}

int FindMacroName(const std::wstring& name) {
    for (int i = 0; i < kMacroNameCount; ++i)
        if (AsciiEqualsNoCase(name, std::wstring(kPathMacroNames[i]))) return i;
    return -1;
}

std::wstring JoinMacroExpansion(const std::wstring& prefix, const std::wstring& folder, const std::wstring& rest) {
    std::wstring out = prefix + folder;
    const bool folderSlash = !folder.empty() && folder.back() == L'\\';
    const bool restSlash = !rest.empty() && rest.front() == L'\\';
    if (!folderSlash && !restSlash)
        out += L'\\';
    else if (folderSlash && restSlash)
        out.pop_back();
    return out + rest;
}
