#pragma once
// Drive roots before the deep walk: the program an "autorun.inf" starts and the file itself, "Recycled.exe",
// every other root file and folder, and immunization of removable drives with an "autorun.inf" folder that
// no worm can replace.
#include <windows.h>

#include <string>
#include <vector>

#include "disposal/Safeguards.h"
#include "scan/DriveList.h"

class Effects;
class DisguisedCleaner;
class FileChecker;
class FileDisposer;
class ScanContext;
class TrustVerifier;
class VLogger;


// Cuts a path after every "\" (each part keeps it); the text after the last "\" is the last part. True when
// there is such a last part.
bool SplitPath(const std::wstring& path, std::vector<std::wstring>& parts);
// Creates the chain of folders of `path`; mode 1 also the "con" and "此资料夹为免疫资料夹" folders inside it.
// False when a folder is already at `path` (mode 1: or when "con" could not be made).
bool CreateFolderPath(Effects& fx, const std::wstring& path, int mode);
// The first non-empty of "Open", "ShellExecute", "shell\open\command", "shell\explore\command" is what
// CleanAutorunInf uses; this reads one of them from `infPath` (a full path, so no Windows-folder lookup).
bool ReadAutorunValue(const wchar_t* section, const wchar_t* key, const std::wstring& infPath, std::wstring& value);

class AutorunCleaner {
public:
    AutorunCleaner(ScanContext& scan, VLogger& log, FileDisposer& disposer, FileChecker& checker,
                   DisguisedCleaner& disguised, TrustVerifier& trust, SystemFileGuard& guard)
        : m_scan(scan), m_log(log), m_disposer(disposer), m_checker(checker), m_disguised(disguised),
          m_trust(trust), m_guard(guard) {}

    HRESULT DriveRootPass(const std::vector<DriveEntry>& drives);
    // The program the file names (never a protected system file or a trusted signed one: anyone can write
    // an "autorun.inf"), then the file itself, both as threat type 4.
    void CleanAutorunInf(const std::wstring& infPath);
    // The immunization folders at `path`, made system and hidden, counted once. E_FAIL when not made.
    HRESULT ImmunizePath(const std::wstring& path);

private:
    void HandleRecycled(const std::wstring& path);

    ScanContext& m_scan;
    VLogger& m_log;
    FileDisposer& m_disposer;
    FileChecker& m_checker;
    DisguisedCleaner& m_disguised;
    TrustVerifier& m_trust;
    SystemFileGuard& m_guard;
};
