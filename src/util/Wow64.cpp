#include "util/Wow64.h"

#include <windows.h>

#include <string>

#include "util/ProgramPath.h"

namespace {

// Reached through GetProcAddress: IsWow64Process is missing before XP SP2, the redirection pair before
// XP x64 / Server 2003 SP1.
typedef BOOL(WINAPI* IsWow64ProcessFn)(HANDLE, PBOOL);
typedef BOOL(WINAPI* DisableRedirectionFn)(PVOID*);
typedef BOOL(WINAPI* RevertRedirectionFn)(PVOID);
typedef UINT(WINAPI* SystemWow64DirectoryFn)(LPWSTR, UINT);
typedef BOOL(WINAPI* QueryImageNameFn)(HANDLE, DWORD, LPWSTR, PDWORD);

FARPROC Kernel32(const char* name) {
    HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    return kernel ? ::GetProcAddress(kernel, name) : nullptr;
}

// Whether this thread has redirection off (Wow64RedirectionOff), so "system32" means the real system folder.
thread_local bool t_redirectionOff = false;

bool StartsWithFolder(const std::wstring& path, const std::wstring& folder) {
    return !folder.empty() && path.size() > folder.size() + 1 && path[folder.size()] == L'\\' &&
           ::CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, path.c_str(), int(folder.size()), folder.c_str(),
                            int(folder.size())) == CSTR_EQUAL;
}

// Whether `process` runs under WoW64, in `wow64`; false when that cannot be told.
bool TellWow64(HANDLE process, bool& wow64) {
    static const auto isWow64 = reinterpret_cast<IsWow64ProcessFn>(reinterpret_cast<void*>(Kernel32("IsWow64Process")));
    BOOL result = FALSE;
    if (!isWow64 || !isWow64(process, &result)) return false;
    wow64 = result != FALSE;
    return true;
}

std::wstring SysnativeFolder() {
    const std::wstring windows = WindowsFolder();
    return windows.empty() ? std::wstring() : windows + L"\\Sysnative";
}

}  // namespace

bool RunningUnderWow64() {
#if defined(_WIN64)
    return false;
#else
    static const bool wow64 = [] {
        bool result = false;
        return TellWow64(::GetCurrentProcess(), result) && result;
    }();
    return wow64;
#endif
}

bool IsNative64BitProcess(void* process) {
    // On a system with WoW64 a process that is not under it is a 64-bit one; one that cannot be told is not.
    bool wow64 = true;
    return RunningUnderWow64() && TellWow64(process, wow64) && !wow64;
}

std::wstring ImageOf64BitProcess(void* process, std::wstring image) {
    if (image.empty()) {
        static const auto query =
            reinterpret_cast<QueryImageNameFn>(reinterpret_cast<void*>(Kernel32("QueryFullProcessImageNameW")));
        wchar_t path[MAX_PATH] = {};
        DWORD size = MAX_PATH;
        if (!query || !query(process, 0, path, &size) || size == 0 || size >= MAX_PATH) return std::wstring();
        image.assign(path, size);
    }
    return Wow64AliasOfNative(image);
}

Wow64RedirectionOff::Wow64RedirectionOff() {
    if (!RunningUnderWow64()) return;
    auto disable = reinterpret_cast<DisableRedirectionFn>(
        reinterpret_cast<void*>(Kernel32("Wow64DisableWow64FsRedirection")));
    m_active = disable && disable(&m_previous);
    if (m_active) t_redirectionOff = true;
}

Wow64RedirectionOff::~Wow64RedirectionOff() {
    if (!m_active) return;
    auto revert = reinterpret_cast<RevertRedirectionFn>(
        reinterpret_cast<void*>(Kernel32("Wow64RevertWow64FsRedirection")));
    if (revert) revert(m_previous);
    t_redirectionOff = false;
}

bool InRedirectedSystemFolder(const std::wstring& given) {
    const std::wstring path = given.compare(0, 4, L"\\\\?\\") == 0 ? given.substr(4) : given;
    return StartsWithFolder(path, SystemFolder());
}

std::wstring InWow64SystemFolder(const std::wstring& path) {
    if (!RunningUnderWow64() || !StartsWithFolder(path, SystemFolder())) return std::wstring();
    auto folderOf = reinterpret_cast<SystemWow64DirectoryFn>(
        reinterpret_cast<void*>(Kernel32("GetSystemWow64DirectoryW")));
    wchar_t folder[MAX_PATH] = {};
    const UINT n = folderOf ? folderOf(folder, MAX_PATH) : 0;
    if (n == 0 || n >= MAX_PATH) return std::wstring();
    std::wstring wow(folder, n);
    if (wow.size() > 3 && wow.back() == L'\\') wow.pop_back();
    const std::wstring moved = wow + path.substr(SystemFolder().size());
    return moved.size() < MAX_PATH ? moved : std::wstring();
}

static std::wstring NativeSystemPathOf(const std::wstring& path) {
    const std::wstring sysnative = SysnativeFolder();
    if (StartsWithFolder(path, sysnative)) {
        const std::wstring native = SystemFolder() + path.substr(sysnative.size());
        return native.size() < MAX_PATH ? native : path;
    }
    if (!t_redirectionOff) {
        const std::wstring wow = InWow64SystemFolder(path);
        if (!wow.empty()) return wow;
    }
    return path;
}

std::wstring NativeSystemPath(const std::wstring& given) {
    if (!RunningUnderWow64()) return given;
    // A literal path ("\\?\C:\...", which reaches reserved names) is redirected as the plain one.
    const bool literal = given.compare(0, 4, L"\\\\?\\") == 0;
    const std::wstring path = literal ? given.substr(4) : given;
    const std::wstring named = NativeSystemPathOf(path);
    if (!literal) return named;
    return named != path ? L"\\\\?\\" + named : given;
}


std::wstring Wow64AliasOfNative(const std::wstring& nativePath) {
    if (!RunningUnderWow64() || !StartsWithFolder(nativePath, SystemFolder())) return nativePath;
    const std::wstring alias = SysnativeFolder() + nativePath.substr(SystemFolder().size());
    return alias.size() < MAX_PATH ? alias : nativePath;
}
