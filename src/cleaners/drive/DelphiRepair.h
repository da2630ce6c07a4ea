#pragma once
// Installed Delphi environments whose run-time unit SysConst was infected: the unit is restored from its
// backup or rebuilt from its source.
#include <windows.h>

#include <string>

#include "util/Seams.h"

class Effects;
class FileDisposer;
class ScanContext;

class DelphiRepair {
public:
    DelphiRepair(FileDisposer& disposer, ScanContext& scan, Prompter& prompter, ProgramLauncher& launcher)
        : m_disposer(disposer), m_scan(scan), m_prompter(prompter), m_launcher(launcher) {}

    // Delphi 4.0 to 7.0 in order; the scan's DelphiInfectorState takes the result of the last installation examined.
    void CheckDelphiInstallations();
    // 1 the unit is clean, 2 it was repaired, 0 it is infected and could not be repaired now.
    int RepairDelphiLibrary(std::wstring root);

private:
    void Warn(const wchar_t* text);
    bool ReplaceUnit(const std::wstring& unit, const std::wstring& with);

    FileDisposer& m_disposer;
    ScanContext& m_scan;
    Prompter& m_prompter;
    ProgramLauncher& m_launcher;
};

// The file exists, is longer than 3000 bytes and its content passes the Delphi infector test.
bool IsInfectedDelphiFile(Effects& fx, const std::wstring& path);
