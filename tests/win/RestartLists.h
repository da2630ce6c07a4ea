#pragma once
// The two restart lists as the tests read them back: the pending renames and the boot-time deletion list.
#include <windows.h>

#include <cwchar>
#include <string>
#include <vector>

#include "cleaners/system/BootCleanDriver.h"
#include "cleaners/system/BootDeleteList.h"
#include "util/WinHandle.h"

inline std::vector<std::wstring> PendingRenames() {
    RegKey key;
    std::vector<std::wstring> out;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0, KEY_READ,
                        key.Put()) != ERROR_SUCCESS)
        return out;
    std::vector<wchar_t> data(65536);
    DWORD size = DWORD(data.size() * sizeof(wchar_t)), type = 0;
    if (::RegQueryValueExW(key.Get(), L"PendingFileRenameOperations", nullptr, &type,
                           reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS)
        return out;
    // Pairs of source and target; a deletion has an empty target.
    const wchar_t* end = data.data() + size / sizeof(wchar_t);
    for (const wchar_t* p = data.data(); p < end; p += std::wcslen(p) + 1)
        if (*p) out.emplace_back(p);
    return out;
}

inline bool Contains(const std::vector<std::wstring>& list, const std::wstring& item) {
    for (const auto& s : list)
        if (lstrcmpiW(s.c_str(), item.c_str()) == 0) return true;
    return false;
}

inline std::vector<std::wstring> BootListed() {
    RegKey key;
    std::vector<BYTE> data(BOOT_LIST_BUFFER_SIZE);
    DWORD size = DWORD(data.size());
    if (FAILED(OpenRootedKey(kBootListRootedKey, KEY_READ, key)) ||
        ::RegQueryValueExW(key.Get(), kBootListValue, nullptr, nullptr, data.data(), &size) != ERROR_SUCCESS)
        return {};
    BootDeleteList list;
    DecodeBootList(data.data(), size, list);
    std::vector<std::wstring> out;
    for (const auto& e : list.entries) {
        const auto p = BootEntryPath(e);
        out.emplace_back(p.begin(), p.end());
    }
    return out;
}
