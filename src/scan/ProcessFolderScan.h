#pragma once
// The running programs of a system scan: each process's program file, and the files of every distinct folder
// a process was started from, down to one level of sub-folders.
#include <windows.h>

#include <string>
#include <vector>

class FileChecker;
class ScanContext;

// The program files of the running processes, in process-list order: those that open with all access and
// whose first module exists. Tests stand in for it: a real pass walks the folders of every running program.
class RunningPrograms {
public:
    virtual ~RunningPrograms() = default;
    // False when there is no process list.
    virtual bool List(std::vector<std::wstring>& images) = 0;
};
RunningPrograms& RealRunningPrograms();

class ProcessFolderScan {
public:
    ProcessFolderScan(ScanContext& scan, FileChecker& checker, RunningPrograms& programs)
        : m_scan(scan), m_checker(checker), m_programs(programs) {}
    // 0 when every process was gone through; E_FAIL when there is no process list or a stop ended the pass.
    HRESULT ScanRunningProcesses();
    // The files of `folder` and of its direct sub-folders (the backup folder left out). `folder` gets a
    // trailing "\".
    HRESULT ScanProgramFolder(std::wstring& folder);
    // The files of `folder` only.
    HRESULT ScanFolderFiles(std::wstring folder);
    const std::vector<std::wstring>& VisitedFolders() const { return m_visited; }

private:
    ScanContext& m_scan;
    FileChecker& m_checker;
    RunningPrograms& m_programs;
    std::vector<std::wstring> m_visited;
};
