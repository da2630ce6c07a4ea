#pragma once
// Two machine-wide settings against drives that carry worms: removable drives made read-only through the
// storage policies of Windows, and the safe-open installation (a copy of the program under Program Files and
// shortcuts that scan every removable drive before opening it). Every change goes through the effects, so it
// is journaled, planned by a report-only run and undone by --undo.
#include <windows.h>

#include <string>

#include "util/Seams.h"

class Effects;
class FileDisposer;
class ScanContext;

// The removable drives' write protection: "WriteProtect" of the storage policies, and on Windows Vista also
// "Deny_Write" of the removable-storage policy. A key that is not there reads as "not protected" and is made
// (with its values 0) only when a value is set: looking changes nothing.
class WriteProtectSettings {
public:
    WriteProtectSettings(Effects& fx, int windowsVersionClass) : m_fx(fx), m_class(windowsVersionClass) {}

    HRESULT QueryStorage(DWORD& on);
    // "Deny_Write", and when that is not 1 the storage value into the same flag; the result is Deny_Write's.
    HRESULT QueryPolicy(DWORD& on);
    HRESULT SetStorage(DWORD on);
    // "Deny_Write", then the storage value whatever came of it; the result is Deny_Write's.
    HRESULT SetPolicy(DWORD on);

    // The reading and the switch this Windows uses: both values on Vista, the storage value elsewhere.
    bool IsProtected();
    HRESULT Switch(DWORD on);

private:
    HRESULT WriteValue(const wchar_t* key, const wchar_t* name, DWORD value, const wchar_t* const* newKeyValues);

    Effects& m_fx;
    int m_class;
};

// The product key "SOFTWARE\Velmora\veludisk": "Type" (1 while safe-open is installed), "OldPath" (where the
// program was started from when it was installed), "HtmlType".
class ProductSettings {
public:
    explicit ProductSettings(Effects& fx) : m_fx(fx) {}
    HRESULT ReadType(DWORD& type);
    // E_FAIL when unreadable, longer than 259 characters, or of 2 characters or fewer.
    HRESULT ReadOldPath(std::wstring& path);
    // "Type" first; "OldPath" only for a path with ":\" (or an empty one), else E_FAIL with "Type" written.
    HRESULT WriteTypeAndPath(DWORD type, const std::wstring& path);
    HRESULT ReadHtmlType(DWORD& value);
    HRESULT WriteHtmlType(DWORD value);

private:
    HRESULT WriteDword(const wchar_t* name, DWORD value);
    Effects& m_fx;
};

// Where safe-open puts things, and the program it copies.
struct SafeOpenPlaces {
    std::wstring programFiles;    // the Program Files folder, without a trailing backslash
    std::wstring commonPrograms;  // the all-users Start menu's "Programs"
    std::wstring commonDesktop;
    std::wstring programFile;     // the running program's full path
};
SafeOpenPlaces RealSafeOpenPlaces();

class DriveProtection {
public:
    DriveProtection(ScanContext& scan, FileDisposer& disposer, Prompter& prompter, const SafeOpenPlaces& places,
                    int windowsVersionClass)
        : m_scan(scan), m_disposer(disposer), m_prompter(prompter), m_places(places), m_class(windowsVersionClass) {}

    // The page's commands, with their questions and messages (`owner`: the main window). 1 on, 0 off; any
    // other value does nothing.
    void SetUsbWriteProtection(int on, HWND owner);
    void SetSafeOpen(int on, HWND owner);
    // The installation itself; both return 0.
    int CreateSafeOpen();
    int RemoveSafeOpen();

    std::wstring ProgramCopyFolder() const { return m_places.programFiles + L"\\Velmora\\VelUdisk"; }
    std::wstring StartMenuFolder() const;
    std::wstring DesktopShortcut() const;

private:
    int Tell(HWND owner, const wchar_t* caption, const wchar_t* text, UINT style);

    ScanContext& m_scan;
    FileDisposer& m_disposer;
    Prompter& m_prompter;
    SafeOpenPlaces m_places;
    int m_class;
};

// A shortcut at `link` that starts `target` with `arguments`, over an existing one (its read-only bit cleared,
// its other settings kept). S_OK, or the failure.
HRESULT CreateShortcutFile(Effects& fx, const std::wstring& link, const std::wstring& target, const std::wstring& arguments);
