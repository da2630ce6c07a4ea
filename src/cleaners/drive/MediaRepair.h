#pragma once
// Windows Media files whose header carries script commands (a "URLANDEXIT" command opens a web page while
// the file plays) or a licence-acquisition address of a known site.
#include <windows.h>

#include <string>

class Effects;
class ScanContext;
class VLogger;

// The Windows Media Format editor, behind a seam: Wine does not implement it, and a Windows without the
// media runtime must still start, so the real one is bound at run time from "WMVCore.DLL".
class MediaEditor {
public:
    virtual ~MediaEditor() = default;
    virtual bool Available() = 0;
    // Script command 0 of the file's header; false when the file cannot be opened or has none.
    virtual bool ReadFirstScript(const wchar_t* path, std::wstring& type, std::wstring& command) = 0;
    // Removes script command 0 and rewrites the header.
    virtual bool RemoveFirstScript(const wchar_t* path) = 0;
    // The DRM property "DRMHeader.LAINFO"; false when there is none.
    virtual bool ReadLicenceInfo(const wchar_t* path, std::wstring& value) = 0;
};
MediaEditor& WindowsMediaEditor();

class MediaRepair {
public:
    MediaRepair(MediaEditor& editor, ScanContext& scan, VLogger& log) : m_editor(editor), m_scan(scan), m_log(log) {}
    // True when nothing was repaired (files without a media extension included, so that only a real repair
    // raises the media notice); false when the file was repaired.
    bool RepairMediaFile(const wchar_t* path);

private:
    MediaEditor& m_editor;
    ScanContext& m_scan;
    VLogger& m_log;
};

// Switches the player's URL-and-exit commands off (flag set: 0) or on, under HKEY_LOCAL_MACHINE and then
// HKEY_CURRENT_USER. 1 when the HKEY_CURRENT_USER value was written.
int DisableUrlAndExitCommands(Effects& fx, bool flag);
