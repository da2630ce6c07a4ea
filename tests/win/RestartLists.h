#pragma once
// The two restart lists as the tests read them back: the pending renames and the boot-time deletion list.
#include <windows.h>

#include <cwchar>
#include <string>
#include <vector>

#include "engine/BootCleanDriver.h"
#include "engine/BootDeleteList.h"
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

// Takes the boot-clean service out of the test prefix: stopped when running (a prefix that restarts loads a
// boot-start driver, as Windows does at boot), then deleted, so that every test installs it afresh.
inline void RemoveBootCleanService() {
    ServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    ServiceHandle service(::OpenServiceW(manager.Get(), L"BC", SERVICE_ALL_ACCESS));
    if (!service) return;
    SERVICE_STATUS status = {};
    if (::QueryServiceStatus(service.Get(), &status) && status.dwCurrentState != SERVICE_STOPPED) {
        ::ControlService(service.Get(), SERVICE_CONTROL_STOP, &status);
        for (int i = 0; i < 100 && ::QueryServiceStatus(service.Get(), &status) && status.dwCurrentState != SERVICE_STOPPED; ++i)
            ::Sleep(50);
    }
    ::DeleteService(service.Get());
    service.Reset();
    for (int i = 0; i < 100 && ServiceHandle(::OpenServiceW(manager.Get(), L"BC", SERVICE_QUERY_STATUS)).Valid(); ++i)
        ::Sleep(50);
}
