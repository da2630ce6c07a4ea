#pragma once
// The walk over every drive of a scan that feeds the per-file check, and the sweep over the built-in list of
// known malware paths.
#include <windows.h>

#include <string>
#include <vector>

#include "scan/DriveList.h"
#include "util/FolderListing.h"

class DisguisedCleaner;
class FileChecker;
class FileDisposer;
class ScanContext;

class DriveWalker {
public:
    DriveWalker(ScanContext& scan, FileChecker& checker, DisguisedCleaner& disguised);
    // Each drive in order; E_FAIL for an empty list, or the negative result of a walk that a stop ended.
    HRESULT FullWalk(const std::vector<DriveEntry>& drives);
    // `dir` ends in "\". S_OK when every entry was taken, E_FAIL when stopped or the search failed.
    HRESULT WalkDirectory(const std::wstring& dir, UINT driveType);

private:
    static bool Holds(const FolderListing& listing, const wchar_t* name);
    HRESULT WalkListed(const std::wstring& dir, UINT driveType, const FolderListing& listing);
    // False when a stop ended the walk of a sub-folder.
    bool VisitEntry(const std::wstring& dir, const FolderEntry& found, UINT driveType);

    ScanContext& m_scan;
    FileChecker& m_checker;
    DisguisedCleaner& m_disguised;
    std::wstring m_backupFolder;  // lower-case, as the walk compares its paths
    int m_depth = 0;
};

class FixedPathSweeper {
public:
    FixedPathSweeper(ScanContext& scan, FileDisposer& disposer) : m_scan(scan), m_disposer(disposer) {}
    // Resource "TEXTTYPE" 216 decoded, macros expanded, absolute paths kept. S_OK when any entry was kept.
    HRESULT LoadFixedPaths();
    // The same from hexadecimal text, for other sources of the list.
    HRESULT LoadFixedPathsFrom(const char* hexText, std::size_t length);
    // Disposes of every entry that exists; E_FAIL when a stop ended it early.
    HRESULT FixedPathSweep();
    const std::vector<std::wstring>& FixedPaths() const { return m_fixedPaths; }

private:
    void SweepEntry(const std::wstring& entry);

    ScanContext& m_scan;
    FileDisposer& m_disposer;
    std::vector<std::wstring> m_fixedPaths;
};
