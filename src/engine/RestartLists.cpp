#include "engine/RestartLists.h"

#include <windows.h>

#include <vector>

#include "engine/BootDeleteList.h"
#include "util/WinHandle.h"
#include "util/Wow64.h"

namespace {
const wchar_t kPendingRenames[] = L"PendingFileRenameOperations";
// A larger list is not ours to rewrite.
constexpr DWORD kPendingRenamesMaxBytes = 1u << 20;

// The list as UTF-16 units: ERROR_SUCCESS, ERROR_FILE_NOT_FOUND when there is none, another error when it
// cannot be read or is not a string list.
LONG ReadPendingRenames(HKEY session, std::u16string& text) {
    DWORD type = 0, size = 0;
    LONG r = ::RegQueryValueExW(session, kPendingRenames, nullptr, &type, nullptr, &size);
    if (r != ERROR_SUCCESS) return r;
    if (type != REG_MULTI_SZ) return ERROR_INVALID_DATA;
    std::vector<wchar_t> data(size / sizeof(wchar_t) + 1, L'\0');
    r = ::RegQueryValueExW(session, kPendingRenames, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
    if (r != ERROR_SUCCESS) return r;
    text.assign(reinterpret_cast<const char16_t*>(data.data()), size / sizeof(wchar_t));
    return ERROR_SUCCESS;
}

std::u16string NtDeletionPath(const std::wstring& path) {
    const std::wstring nt = L"\\??\\" + NativeSystemPath(path.c_str());
    return std::u16string(reinterpret_cast<const char16_t*>(nt.data()), nt.size());
}

}  // namespace

bool PendingDeletionListed(const std::wstring& path) {
    RegKey session;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0, KEY_QUERY_VALUE,
                        session.Put()) != ERROR_SUCCESS)
        return false;
    std::u16string text;
    const LONG r = ReadPendingRenames(session.Get(), text);
    if (r == ERROR_FILE_NOT_FOUND) return false;
    if (r != ERROR_SUCCESS) return true;  // unreadable: it may be there
    return WithoutPendingDeletion(text, NtDeletionPath(path)) != text;
}

bool TakeOffPendingRenames(const std::wstring& path) {
    if (path.empty()) return false;
    RegKey session;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0,
                        KEY_QUERY_VALUE | KEY_SET_VALUE, session.Put()) != ERROR_SUCCESS)
        return false;
    std::u16string text;
    if (ReadPendingRenames(session.Get(), text) != ERROR_SUCCESS || text.empty() ||
        text.size() * sizeof(char16_t) > kPendingRenamesMaxBytes)
        return false;
    const std::u16string kept = WithoutPendingDeletion(text, NtDeletionPath(path));
    if (kept == text) return false;
    if (kept.empty()) return ::RegDeleteValueW(session.Get(), kPendingRenames) == ERROR_SUCCESS;
    return ::RegSetValueExW(session.Get(), kPendingRenames, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(kept.data()),
                            DWORD(kept.size() * sizeof(char16_t))) == ERROR_SUCCESS;
}
