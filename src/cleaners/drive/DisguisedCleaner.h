#pragma once
// Executables that pose as the user's folders and documents beside the folders a worm hid, the worm files it
// leaves in every folder, and giving the hidden folders back.
#include <windows.h>

#include <string>

#include "util/Result.h"

struct FileDigests;
class ReadFileContent;
class ScanContext;
class SystemFileGuard;
class TrustVerifier;
class VLogger;
class VolumeLayoutSource;

// What a companion check found.
constexpr HRESULT kCompanionDisposed = S_OK;
constexpr HRESULT kNothingToDo = kResultNothingToDo;

// Folder and companion paths are built in buffers of this many characters; a longer one is not looked for.
constexpr std::size_t kCompanionPathChars = 512;

class DisguisedCleaner {
public:
    DisguisedCleaner(ScanContext& scan, VLogger& log, TrustVerifier& trust, SystemFileGuard& guard,
                     VolumeLayoutSource& volumes);

    // The worm files inside any folder: "usp10.dll", "ws2help.dll" and a "Desktop.ini" aimed at
    // "recycle.exe". The result of the last check.
    HRESULT CheckFolderCompanions(const std::wstring& folder);
    // Companions named after a hidden folder; the folder is made visible when one was disposed of, and always
    // on a removable drive. `folder` may be renamed back from the padded worm name.
    HRESULT CheckHiddenFolder(std::wstring& folder, UINT driveType);
    // 0 when a companion was disposed of, 3 when there is nothing to do, E_FAIL when the file is trusted and
    // kept. A "?" in `path` matches one character; `path` becomes the first match.
    HRESULT CheckCompanionExe(std::wstring& path);
    // 0 when the shortcut exists: it is disposed of, and so is the program it starts when that lies on the
    // shortcut's drive and passes the safeguards of a file a drive names (MayDisposeNamedFile).
    HRESULT CheckShortcutCompanion(const std::wstring& lnkPath);
    HRESULT CheckDesktopIni(const std::wstring& path);
    // Deletes (with backup) and records a file found by name, unless its MD5 is protected or nothing is
    // there. True when the file was handed to deletion.
    bool DisposeDisguised(const std::wstring& path, DWORD threatType);
    // The same with the file's digests already taken.
    bool DisposeDisguised(const std::wstring& path, DWORD threatType, const FileDigests& digests);
    // E_FAIL after making a hidden folder visible (one repair); 0 when it was not hidden.
    HRESULT RestoreFolder(const std::wstring& folder);
    // A folder the worm renamed to "<name>.exe" + 94 spaces + "AI_Boy..." gets "<name>" back, or
    // "<name>_<tick count>" when that is taken; `folder` follows the rename. 0 only for the plain name.
    HRESULT RestoreWormFolderName(std::wstring& folder);

    // The system copies and hooks of the worm whose file `target` a shortcut started. A copy under the
    // Windows folder is removed only when its MD5 is the worm's own (`wormMd5`) and the system neither
    // protects nor trusts it: a system program that merely shares the worm's name stays. E_FAIL when
    // `target` has no folder part.
    HRESULT CleanShortcutWormResidue(const std::wstring& target, const std::wstring& wormMd5);

private:
    ScanContext& m_scan;
    VLogger& m_log;
    TrustVerifier& m_trust;
    SystemFileGuard& m_guard;
    VolumeLayoutSource& m_volumes;
};
