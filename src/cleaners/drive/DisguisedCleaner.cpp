#include "cleaners/drive/DisguisedCleaner.h"

#include <shlwapi.h>

#include <cstdio>
#include <vector>

#include "engine/Effects.h"
#include "cleaners/drive/ArchiveInfector.h"
#include "cleaners/drive/ContentDetectors.h"
#include "cleaners/drive/FileContent.h"
#include "disposal/Digest.h"
#include "disposal/DigestFile.h"
#include "disposal/FileDisposal.h"
#include "disposal/FindingRecord.h"
#include "disposal/ImagePath.h"
#include "disposal/ProcessTermination.h"
#include "disposal/Safeguards.h"
#include "engine/ScanContext.h"
#include "util/AsciiCase.h"
#include "util/ProgramPath.h"
#include "util/ShellLink.h"
#include "util/WinHandle.h"

namespace {
constexpr std::size_t kWormPadding = 94;
constexpr std::size_t kWormNameMax = 260;
constexpr DWORD kDesktopIniMin = 31;
constexpr DWORD kDesktopIniMax = 1023;

std::wstring WormMarker() { return L".exe" + std::wstring(kWormPadding, L' ') + L"AI_Boy"; }

// A companion name as its fixed-size buffer would hold it: a name too long for it is not looked for.
bool Compose(const std::wstring& text, std::wstring& out) {
    if (text.size() >= kCompanionPathChars) {
        out.clear();
        return false;
    }
    out = text;
    return true;
}

std::wstring FolderPartOf(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

}  // namespace

DisguisedCleaner::DisguisedCleaner(ScanContext& scan, VLogger& log, TrustVerifier& trust, SystemFileGuard& guard,
                                   VolumeLayoutSource& volumes)
    : m_scan(scan), m_log(log), m_trust(trust), m_guard(guard), m_volumes(volumes) {}

HRESULT DisguisedCleaner::CheckFolderCompanions(const std::wstring& folder) {
    std::wstring path;
    if (Compose(folder + L"\\usp10.dll", path)) CheckCompanionExe(path);
    if (Compose(folder + L"\\ws2help.dll", path)) CheckCompanionExe(path);
    if (!Compose(folder + L"\\Desktop.ini", path)) return kNothingToDo;
    return CheckDesktopIni(path);
}

HRESULT DisguisedCleaner::CheckHiddenFolder(std::wstring& folder, UINT driveType) {
    HRESULT result = kNothingToDo;
    if (folder.size() <= kCompanionPathChars) {
        RestoreWormFolderName(folder);
        std::wstring name;
        for (const wchar_t* suffix : {L".exe", L".scr"}) {
            if (!Compose(folder + suffix, name)) continue;
            result = CheckCompanionExe(name);
            if (result == kCompanionDisposed) RestoreFolder(folder);
        }
        if (Compose(folder + L".lnk", name)) {
            result = CheckShortcutCompanion(name);
            if (result == kCompanionDisposed) RestoreFolder(folder);
        }
        if (Compose(folder + std::wstring(kWormPadding, L' ') + L"AI_Boy.exe", name)) {
            result = CheckCompanionExe(name);
            if (result == kCompanionDisposed) RestoreFolder(folder);
        }
        if (Compose(folder + L"?.exe", name)) {
            result = CheckCompanionExe(name);
            if (result == kCompanionDisposed) RestoreFolder(folder);
        }
    }
    if (driveType == DRIVE_REMOVABLE) RestoreFolder(folder);
    return result;
}

HRESULT DisguisedCleaner::CheckCompanionExe(std::wstring& path) {
    if (path.empty() || IsProtectedLocation(path)) return kNothingToDo;
    Effects& fx = m_scan.Changes();
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    if (path.find(L'?') != std::wstring::npos) {
        // The first match of the pattern, as the run finds the folder now.
        const std::wstring folder = FolderPartOf(path);
        const FolderListing listing = fx.List(folder, path.c_str() + folder.size() + 1);
        if (listing.entries.empty()) return kNothingToDo;
        path = folder + L"\\" + listing.entries.front().name;
        attributes = listing.entries.front().attributes;
    } else {
        attributes = fx.Attributes(path);
    }
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return kNothingToDo;
    if (m_trust.Verify(fx.ReadablePath(path).c_str()) == 0) return E_FAIL;
    int expected = 0;
    m_scan.ThreatFollowUpState.compare_exchange_strong(expected, 1);
    DisposeDisguised(path, kThreatFolderCompanion);
    return kCompanionDisposed;
}

HRESULT DisguisedCleaner::CheckShortcutCompanion(const std::wstring& lnkPath) {
    Effects& fx = m_scan.Changes();
    if (fx.Attributes(lnkPath) == INVALID_FILE_ATTRIBUTES) return E_FAIL;
    std::wstring target, arguments;
    ReadShortcut(fx.ReadablePath(lnkPath), target, arguments);
    std::wstring shortcut = lnkPath;
    CheckCompanionExe(shortcut);
    const DWORD attributes = target.empty() ? INVALID_FILE_ATTRIBUTES : fx.Attributes(target);
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        // The commonest shortcut worm starts the system's own command interpreter with the worm as its
        // argument: only a target on the stick itself, that the system neither protects nor trusts, goes.
        if (MayDisposeNamedFile(target, lnkPath.substr(0, 2), m_guard, m_trust)) {
            const FileDigests worm = DigestsOfFile(fx.ReadablePath(target).c_str());
            if (DisposeDisguised(target, kThreatScript, worm)) CleanShortcutWormResidue(target, worm.md5);
        }
        m_scan.ScriptInfectorSeen = 1;
    }
    return kCompanionDisposed;
}

HRESULT DisguisedCleaner::CheckDesktopIni(const std::wstring& path) {
    Effects& fx = m_scan.Changes();
    if (fx.Attributes(path) == INVALID_FILE_ATTRIBUTES) return kNothingToDo;
    ReadFileContent reader(m_volumes);
    FileContentHandle content;
    if (reader.Open(fx.ReadablePath(path).c_str(), content) == ContentMode::NotReadable || content.size < kDesktopIniMin ||
        content.size > kDesktopIniMax)
        return E_FAIL;
    std::vector<std::uint8_t> bytes(content.size);
    if (!reader.Read(content, bytes.data())) return E_FAIL;
    content = FileContentHandle();  // closed before the file is deleted
    static const char kMarker[] = "iconfile=recycle.exe";
    if (FindBytesNoCase(bytes.data(), reinterpret_cast<const std::uint8_t*>(kMarker), sizeof kMarker - 1,
                        bytes.size()) == kNoMatch)
        return E_FAIL;
    const std::uint32_t crc = Crc32(0, bytes.data(), bytes.size());
    const wchar_t* md5 = nullptr;
    const bool haveMd5 = Md5OfBuffer(bytes.data(), bytes.size(), &md5, 0x500000, 0);
    const std::wstring md5Text = haveMd5 && md5 ? md5 : L"";
    m_scan.AddDisguised();
    m_scan.AddThreatsFound();
    RemoveFoundFile(m_scan, m_log, path, md5Text, crc, kThreatFolderCompanion);
    return S_OK;
}

bool DisguisedCleaner::DisposeDisguised(const std::wstring& path, DWORD threatType) {
    // Nothing there is nothing found: no count and no finding line.
    Effects& fx = m_scan.Changes();
    if (path.empty() || fx.Attributes(path) == INVALID_FILE_ATTRIBUTES) return false;
    return DisposeDisguised(path, threatType, DigestsOfFile(fx.ReadablePath(path).c_str()));
}

bool DisguisedCleaner::DisposeDisguised(const std::wstring& path, DWORD threatType, const FileDigests& digests) {
    if (path.empty()) return false;
    if (IsProtectedHash(digests.md5.empty() ? nullptr : digests.md5.c_str())) return false;
    m_scan.AddDisguised();
    m_scan.AddThreatsFound();
    RemoveFoundFile(m_scan, m_log, path, digests.md5, digests.crc, threatType);
    return true;
}

HRESULT DisguisedCleaner::RestoreFolder(const std::wstring& folder) {
    Effects& fx = m_scan.Changes();
    const DWORD attributes = fx.Attributes(folder);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_HIDDEN)) return S_OK;
    m_scan.AddRepaired();
    fx.SetAttributes(folder, FILE_ATTRIBUTE_NORMAL);
    return E_FAIL;
}

HRESULT DisguisedCleaner::RestoreWormFolderName(std::wstring& folder) {
    const std::size_t at = AsciiFindNoCase(folder, WormMarker());
    if (at == std::wstring::npos || at == 0 || at > kWormNameMax) return E_FAIL;
    Effects& fx = m_scan.Changes();
    const std::wstring plain = folder.substr(0, at);
    if (fx.Move(folder, plain)) {
        folder = plain;
        return S_OK;
    }
    wchar_t tick[16];
    std::swprintf(tick, 16, L"_%d", int(::GetTickCount()));
    const std::wstring numbered = plain + tick;
    // The folder follows its files: later steps make the renamed folder visible, not the one holding the name.
    if (fx.Move(folder, numbered)) folder = numbered;
    return E_FAIL;
}

HRESULT DisguisedCleaner::CleanShortcutWormResidue(const std::wstring& target, const std::wstring& wormMd5) {
    bool hasSeparator = false;
    const std::wstring name = FileNameOf(target, &hasSeparator);
    if (!hasSeparator || name.empty()) return E_FAIL;
    std::wstring fileSystem;
    const wchar_t root[] = {target[0], L':', L'\\', 0};
    const bool ntfs = m_volumes.FileSystemName(root, fileSystem) && VolumeFormatOf(fileSystem) == VolumeFormat::Ntfs;
    Effects& fx = m_scan.Changes();
    const std::wstring windows = WindowsFolder();
    if (!windows.empty()) {
        for (int attempt = 0; attempt < 2; ++attempt) TerminateByPath(fx, (windows + L"\\system\\svchost.exe").c_str());
        for (int attempt = 0; attempt < 2; ++attempt) TerminateByPath(fx, (windows + L"\\system32\\wscript.exe").c_str());
        if (ntfs) {
            DisposeDisguised(windows + L"\\explorer.exe:" + name + L":$DATA", kThreatScript);
            DisposeDisguised(windows + L"\\system32\\smss.exe:" + name + L":$DATA", kThreatScript);
        } else {
            for (const std::wstring& copy : {windows + L"\\system32\\" + name, windows + L"\\" + name}) {
                if (fx.Attributes(copy) == INVALID_FILE_ATTRIBUTES || wormMd5.empty()) continue;
                const FileDigests digests = DigestsOfFile(fx.ReadablePath(copy).c_str());
                if (digests.md5 != wormMd5) continue;  // not the worm: a file of that name
                if (m_guard.IsProtected(copy.c_str()) || m_trust.Verify(copy.c_str()) == 0) continue;
                DisposeDisguised(copy, kThreatScript, digests);
            }
        }
    }
    fx.SetRegistryValue(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows", L"load", REG_SZ,
                        L"", sizeof(wchar_t));
    fx.DeleteRegistryKey(HKEY_CLASSES_ROOT, L"CLSID\\{20D04FE0-3AEA-1069-A2D8-08002B30309D}\\shell\\open");
    fx.DeleteRegistryKey(HKEY_CLASSES_ROOT, L"CLSID\\{20D04FE0-3AEA-1069-A2D8-08002B30309D}\\shell\\explorer");
    return S_OK;
}
