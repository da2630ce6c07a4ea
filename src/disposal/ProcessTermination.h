#pragma once
// Ending the processes that run a threat's file, so that the file can be deleted.
#include <windows.h>

#include <map>
#include <set>
#include <string>
#include <vector>

class Effects;

// The first module of a process: the file it was started from; empty when it cannot be had.
std::wstring FirstModulePath(DWORD pid);

DWORD FindProcessByName(const wchar_t* exeName);
DWORD FindProcessByPath(const wchar_t* fullPath);
// A full path ends every process whose first module is exactly that file, tearing down one that refuses; a
// bare name ends the first process of that name. True when a process was found.
bool TerminateByPath(Effects& fx, const wchar_t* pathOrName);
HRESULT TerminateByPattern(Effects& fx, const wchar_t* format, const wchar_t* arg);

// The image paths of the running processes, refreshed at most once a second, with system processes that
// are never ended.
class ProcessTable {
public:
    ProcessTable();
    void Refresh();
    void RefreshIfStale();
    HRESULT TerminateImage(Effects& fx, const wchar_t* path);
    const std::map<std::wstring, std::vector<DWORD>>& Images() const { return m_byImage; }
    DWORD LastRefresh() const { return m_lastRefresh; }

private:
    std::wstring m_windowsDir;
    std::set<std::wstring> m_protectedPaths;
    std::map<std::wstring, std::vector<DWORD>> m_byImage;
    DWORD m_lastRefresh = 0;
};
