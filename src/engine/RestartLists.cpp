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
}  // namespace

bool PendingDeletionListed(const std::wstring& path) {
    RegKey session;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0, KEY_QUERY_VALUE,
                        session.Put()) != ERROR_SUCCESS)
        return false;
    DWORD type = 0, size = 0;
    const LONG r = ::RegQueryValueExW(session.Get(), kPendingRenames, nullptr, &type, nullptr, &size);
    if (r == ERROR_FILE_NOT_FOUND || size == 0) return false;
    if (r != ERROR_SUCCESS || type != REG_MULTI_SZ) return true;  // unreadable: it may be there
    std::vector<wchar_t> data(size / sizeof(wchar_t) + 1, L'\0');
    if (::RegQueryValueExW(session.Get(), kPendingRenames, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) !=
        ERROR_SUCCESS)
        return true;
    const std::u16string text(reinterpret_cast<const char16_t*>(data.data()), size / sizeof(wchar_t));
    const std::wstring nt = L"\\??\\" + NativeSystemPath(path.c_str());
    return WithoutPendingDeletion(text, std::u16string(reinterpret_cast<const char16_t*>(nt.data()), nt.size())) != text;
}

bool TakeOffPendingRenames(const std::wstring& path) {
    if (path.empty()) return false;
    RegKey session;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0,
                        KEY_QUERY_VALUE | KEY_SET_VALUE, session.Put()) != ERROR_SUCCESS)
        return false;
    DWORD type = 0, size = 0;
    if (::RegQueryValueExW(session.Get(), kPendingRenames, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        type != REG_MULTI_SZ || size == 0 || size > kPendingRenamesMaxBytes)
        return false;
    std::vector<wchar_t> data(size / sizeof(wchar_t) + 1, L'\0');
    if (::RegQueryValueExW(session.Get(), kPendingRenames, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) !=
        ERROR_SUCCESS)
        return false;
    const std::u16string text(reinterpret_cast<const char16_t*>(data.data()), size / sizeof(wchar_t));
    const std::wstring nt = L"\\??\\" + NativeSystemPath(path.c_str());
    const std::u16string kept =
        WithoutPendingDeletion(text, std::u16string(reinterpret_cast<const char16_t*>(nt.data()), nt.size()));
    if (kept == text) return false;
    if (kept.empty()) return ::RegDeleteValueW(session.Get(), kPendingRenames) == ERROR_SUCCESS;
    return ::RegSetValueExW(session.Get(), kPendingRenames, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(kept.data()),
                            DWORD(kept.size() * sizeof(char16_t))) == ERROR_SUCCESS;
}
