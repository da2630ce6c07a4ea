#pragma once
// Removing threats: one file now or at the next restart (with an optional backup), the full treatment of a
// malicious file with its counters and finding line, and whole folder trees.
#include <windows.h>

#include <string>
#include <vector>

class ScanContext;
class CrcBlacklist;
class VLogger;

class Effects;

// Deletes a file now, else leaves it to the restart and the boot-clean driver (with the threat's backup first
// when `backup` is 1). True when the file is gone now, or the path is a folder or nothing.
bool DeleteWithFallback(Effects& fx, const wchar_t* path, int backup);
std::wstring BackupFolder();

HRESULT CollectTree(Effects& fx, const std::wstring& path, std::vector<std::wstring>& files,
                    std::vector<std::wstring>& folders);
// Every file and folder below `folder`, `depth` levels below where the collection started; junctions and
// symbolic links are left out and never entered.
bool CollectEntries(Effects& fx, std::wstring folder, std::vector<std::wstring>& files,
                    std::vector<std::wstring>& folders, const wchar_t* pattern, int depth = 0);

// Removes a folder tree that the ordinary removal refused, through "\\?\" paths (which also reach reserved
// names such as "con"), without following junctions out of it. Only drive paths ("X:\...") are taken.
bool RemoveTreeLongPath(Effects& fx, const std::wstring& folder);

// Deletes a file found as a threat (with a backup), writes its finding line unless `record` is false, and
// counts it as deleted or as waiting for the restart. True when it is gone now. An empty MD5 text is written
// as "no digest".
bool RemoveFoundFile(ScanContext& scan, VLogger& log, const std::wstring& path, const std::wstring& md5,
                     DWORD crc, DWORD threatType, bool record = true);

// The full treatment of threat files, reporting to a scan's counters, its CRC blacklist and a log.
class FileDisposer {
public:
    FileDisposer(ScanContext& scan, CrcBlacklist& crcs, VLogger& log) : m_scan(scan), m_crcs(crcs), m_log(log) {}
    HRESULT DisposeFile(const wchar_t* path, DWORD threatType);
    HRESULT DisposeTree(const wchar_t* path, DWORD threatType);

private:
    ScanContext& m_scan;
    CrcBlacklist& m_crcs;
    VLogger& m_log;
};
