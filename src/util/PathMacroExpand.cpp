#include "util/PathMacroExpand.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <atomic>

#include "util/PathMacro.h"
#include "util/ProgramPath.h"
#include "util/WinHandle.h"

namespace {

constexpr int kNoPlaceholder = -1;
constexpr int kProgramFilesFailed = -2;
constexpr int kProfileFailed = -5;
constexpr int kSysTmpFailed = -22;
constexpr int kSysTempFailed = -23;
// Nested expansions of the system temporary folder; never lowered, so a list cannot recurse through it.
constexpr int kMaxNestedExpansions = 2;
std::atomic<int> g_nestedExpansions{0};

constexpr DWORD kRegistryBufferBytes = 1024;
constexpr DWORD kRegistryMaxBytes = 512;

// A lookup that fails with no error code leaves an empty folder and the expansion goes on.
struct Lookup {
    int error = 0;
    std::wstring folder;
};

Lookup Fail(int code) {
    Lookup r;
    r.error = code;
    return r;
}

Lookup FromBuffer(const wchar_t* text) {
    Lookup r;
    r.folder = text;
    return r;
}

Lookup SpecialFolder(int csidl, int errorCode = 0) {
    wchar_t path[MAX_PATH] = {};
    if (!::SHGetSpecialFolderPathW(nullptr, path, csidl, FALSE)) return Fail(errorCode ? errorCode : int(::GetLastError()));
    return FromBuffer(path);
}

Lookup WindowsFolder() {
    wchar_t path[MAX_PATH] = {};
    const UINT n = ::GetWindowsDirectoryW(path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return Fail(n ? ERROR_INSUFFICIENT_BUFFER : int(::GetLastError()));
    return FromBuffer(path);
}

Lookup SystemFolder() {
    wchar_t path[MAX_PATH] = {};
    const UINT n = ::GetSystemDirectoryW(path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return Fail(n ? ERROR_INSUFFICIENT_BUFFER : int(::GetLastError()));
    return FromBuffer(path);
}

Lookup UserName() {
    wchar_t name[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    if (!::GetUserNameW(name, &size)) return Fail(int(::GetLastError()));
    return FromBuffer(name);
}

Lookup CutLastComponent(Lookup r) {
    if (r.error) return r;
    const std::size_t slash = r.folder.rfind(L'\\');
    if (slash != std::wstring::npos) r.folder.erase(slash);
    return r;
}

Lookup InternetCacheTemp() {
    Lookup r = SpecialFolder(CSIDL_INTERNET_CACHE);
    if (r.error || r.folder.empty()) return r;
    wchar_t path[MAX_PATH] = {};
    lstrcpynW(path, r.folder.c_str(), MAX_PATH);
    ::PathRemoveFileSpecW(path);
    if (!::PathAppendW(path, L"Temp")) return Fail(ERROR_FILENAME_EXCED_RANGE);
    return FromBuffer(path);
}

Lookup FirstRemovableDrive() {
    for (wchar_t letter = L'C'; letter <= L'Y'; ++letter) {
        const wchar_t root[] = {letter, L':', L'\\', 0};
        if (::GetDriveTypeW(root) == DRIVE_REMOVABLE) return FromBuffer(std::wstring{letter, L':'}.c_str());
    }
    return Lookup();
}

Lookup QqInstallFolder(const wchar_t* subKey) {
    RegKey key;
    LONG status = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, subKey, 0, KEY_QUERY_VALUE, key.Put());
    if (status != ERROR_SUCCESS) return Fail(int(status));
    wchar_t value[kRegistryBufferBytes / sizeof(wchar_t) + 1] = {};  // one spare for a missing terminator
    DWORD size = kRegistryBufferBytes;
    status = ::RegQueryValueExW(key.Get(), L"Install", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
    if (status != ERROR_SUCCESS) return Fail(int(status));
    if (size > kRegistryMaxBytes) return Fail(ERROR_MORE_DATA);
    value[MAX_PATH] = 0;  // at most 260 characters are taken
    return FromBuffer(value);
}

Lookup SystemTemp(int failCode) {
    if (++g_nestedExpansions > kMaxNestedExpansions) return Fail(kSysTmpFailed);
    std::wstring expanded;
    if (ExpandPathMacros(L"%windir%\\Temp", expanded) != 0) return Fail(failCode);
    return FromBuffer(expanded.c_str());
}

Lookup FolderFor(int index) {
    switch (index) {
        case kMacroWindir:
        case kMacroSystemRoot: return WindowsFolder();
        case kMacroSys32dir: return SystemFolder();
        case kMacroProgramFiles: return SpecialFolder(CSIDL_PROGRAM_FILES, kProgramFilesFailed);
        case kMacroCommonFiles: return SpecialFolder(CSIDL_PROGRAM_FILES_COMMON);
        case kMacroCurrentUser: return UserName();
        case kMacroProfile: return SpecialFolder(CSIDL_PROFILE, kProfileFailed);
        case kMacroCommonPrograms: return SpecialFolder(CSIDL_COMMON_PROGRAMS);
        case kMacroCommonStartup: return SpecialFolder(CSIDL_COMMON_STARTUP);
        case kMacroCommonDesktop: return SpecialFolder(CSIDL_COMMON_DESKTOPDIRECTORY);
        case kMacroCommonStartMenu: return SpecialFolder(CSIDL_COMMON_STARTMENU);
        case kMacroRootDriver: {
            Lookup r = WindowsFolder();
            if (!r.error) r.folder = r.folder.substr(0, 2);
            return r;
        }
        case kMacroStartup: return SpecialFolder(CSIDL_STARTUP);
        case kMacroStartMenu: return SpecialFolder(CSIDL_STARTMENU);
        case kMacroPrograms: return SpecialFolder(CSIDL_PROGRAMS);
        case kMacroDesktop: return SpecialFolder(CSIDL_DESKTOP);
        case kMacroAppData: return SpecialFolder(CSIDL_APPDATA);
        case kMacroCommonAppData: return SpecialFolder(CSIDL_COMMON_APPDATA);
        case kMacroCommonProfiles: return CutLastComponent(SpecialFolder(CSIDL_COMMON_APPDATA));
        case kMacroUserProfile: return SpecialFolder(CSIDL_PROFILE);
        case kMacroTmp:
        case kMacroTemp: return InternetCacheTemp();
        case kMacroSysTmp: return SystemTemp(kSysTmpFailed);
        case kMacroSysTemp: return SystemTemp(kSysTempFailed);
        case kMacroIECache: return SpecialFolder(CSIDL_INTERNET_CACHE);
        case kMacroProgramFolder: return FromBuffer(ProgramFolder().c_str());
        case kMacroDisk: return FirstRemovableDrive();
        case kMacroQq08: return QqInstallFolder(L"SOFTWARE\\TENCENT\\QQ");
        case kMacroQq09: return QqInstallFolder(L"SOFTWARE\\TENCENT\\QQ2009");
        default: return Lookup();  // a name not in the table stands for an empty folder
    }
}

}  // namespace

int ExpandPathMacros(const wchar_t* text, std::wstring& out) {
    PathMacroParts parts;
    if (!text || SplitPathMacro(text, parts) != MacroSplit::Ok) {
        out.clear();
        return kNoPlaceholder;
    }
    Lookup folder = FolderFor(FindMacroName(parts.name));
    if (folder.error) return folder.error;
    if (folder.folder.size() > kMacroFolderMax) return kNoPlaceholder;
    out = JoinMacroExpansion(parts.prefix, folder.folder, parts.rest);
    return 0;
}

int ExpandPathMacrosTo(const wchar_t* text, wchar_t* buffer, std::size_t bufferChars) {
    std::wstring expanded;
    const int result = ExpandPathMacros(text, expanded);
    if (result != 0) return result;
    if (!buffer || expanded.size() + 1 > bufferChars) return kNoPlaceholder;
    expanded.copy(buffer, expanded.size());
    buffer[expanded.size()] = 0;
    return result;
}
