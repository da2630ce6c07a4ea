#include "disposal/ProcessTermination.h"

#include <tlhelp32.h>

#include <cstdio>

#include "engine/Effects.h"
#include "disposal/ImagePath.h"
#include "util/Privilege.h"
#include "util/ProgramPath.h"
#include "util/WinHandle.h"

std::wstring FirstModulePath(DWORD pid) {
    FileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid));
    if (!snapshot) return std::wstring();
    MODULEENTRY32W module = {};
    module.dwSize = sizeof module;
    return ::Module32FirstW(snapshot.Get(), &module) ? module.szExePath : std::wstring();
}

namespace {

constexpr DWORD kStaleAfterMs = 1000;

template <typename Visit>
void ForEachProcess(Visit visit) {
    FileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL ok = ::Process32FirstW(snapshot.Get(), &entry); ok; ok = ::Process32NextW(snapshot.Get(), &entry))
        if (visit(entry)) return;
}

}  // namespace

DWORD FindProcessByName(const wchar_t* exeName) {
    DWORD found = 0;
    if (!exeName) return 0;
    ForEachProcess([&](const PROCESSENTRY32W& e) {
        if (lstrcmpiW(e.szExeFile, exeName) != 0) return false;
        found = e.th32ProcessID;
        return true;
    });
    return found;
}

DWORD FindProcessByPath(const wchar_t* fullPath) {
    if (!fullPath) return 0;
    bool hasFolder = false;
    const std::wstring name = FileNameOf(fullPath, &hasFolder);
    if (!hasFolder) return 0;
    DWORD found = 0;
    ForEachProcess([&](const PROCESSENTRY32W& e) {
        // Snapshots report a name that may carry a folder of its own; compare file names.
        if (lstrcmpiW(FileNameOf(e.szExeFile).c_str(), name.c_str()) != 0) return false;
        const std::wstring image = FirstModulePath(e.th32ProcessID);
        if (image.size() > 2 && lstrcmpiW(image.c_str(), fullPath) == 0) {
            found = e.th32ProcessID;
            return true;
        }
        return false;
    });
    return found;
}

bool TerminateByPath(Effects& fx, const wchar_t* pathOrName) {
    if (!pathOrName) return false;
    const bool fullPath = std::wstring(pathOrName).find(L":\\") != std::wstring::npos;
    const DWORD pid = fullPath ? FindProcessByPath(pathOrName) : FindProcessByName(pathOrName);
    if (!pid) return false;
    // The privilege opens processes of other users and services: it must be held before the open.
    EnablePrivilege(L"SeDebugPrivilege");
    {
        KernelHandle process(::OpenProcess(PROCESS_ALL_ACCESS, FALSE, pid));
        if (process) fx.EndProcess(process.Get(), pid, pathOrName);
    }
    // A copy started again meanwhile is ended too.
    if (!fullPath) return true;
    if (const DWORD still = FindProcessByPath(pathOrName)) {
        KernelHandle process(::OpenProcess(PROCESS_ALL_ACCESS, FALSE, still));
        if (process) fx.EndProcess(process.Get(), still, pathOrName);
    }
    return true;
}

HRESULT TerminateByPattern(Effects& fx, const wchar_t* format, const wchar_t* arg) {
    if (!format) return E_FAIL;
    wchar_t path[MAX_PATH] = {};
    if (std::swprintf(path, MAX_PATH, format, arg) < 0) return E_FAIL;
    return TerminateByPath(fx, path) ? S_OK : E_FAIL;
}

ProcessTable::ProcessTable() {
    m_windowsDir = WindowsFolder();
    for (std::size_t i = 0; i < kProtectedProcessCount; ++i) m_protectedPaths.insert(ProtectedProcessPath(m_windowsDir, i));
}

void ProcessTable::Refresh() {
    m_byImage.clear();
    ForEachProcess([&](const PROCESSENTRY32W& e) {
        std::wstring image = FirstModulePath(e.th32ProcessID);
        if (image.empty()) return false;
        image = NormalizeImagePath(image, m_windowsDir);
        if (image.find(L'~') != std::wstring::npos) {
            wchar_t longPath[MAX_PATH] = {};
            const DWORD n = ::GetLongPathNameW(image.c_str(), longPath, MAX_PATH);
            if (n && n < MAX_PATH) image = longPath;
        }
        m_byImage[image].push_back(e.th32ProcessID);
        return false;
    });
}

void ProcessTable::RefreshIfStale() {
    const DWORD now = ::GetTickCount();
    if (m_lastRefresh == 0 || now - m_lastRefresh > kStaleAfterMs) {
        Refresh();
        m_lastRefresh = now ? now : 1;
    }
}

HRESULT ProcessTable::TerminateImage(Effects& fx, const wchar_t* path) {
    if (!path) return E_FAIL;
    RefreshIfStale();
    if (m_protectedPaths.count(path)) return S_FALSE;
    auto it = m_byImage.find(path);
    if (it == m_byImage.end()) return S_OK;
    for (DWORD pid : it->second) {
        KernelHandle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
        if (process) fx.EndProcess(process.Get(), pid, path);
    }
    return S_OK;
}
