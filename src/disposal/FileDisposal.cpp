#include "disposal/FileDisposal.h"

#include <algorithm>

#include "engine/LiveEffects.h"
#include "disposal/CrcBlacklist.h"
#include "disposal/DigestFile.h"
#include "disposal/FindingRecord.h"
#include "disposal/ImagePath.h"
#include "disposal/ProcessTermination.h"
#include "engine/ScanContext.h"
#include "util/FolderListing.h"
#include "util/ProgramPath.h"
#include "util/WinHandle.h"
#include "util/Wow64.h"

namespace {

constexpr std::size_t kPathMax = MAX_PATH - 1;

std::wstring Lowered(std::wstring s) {
    if (!s.empty()) ::CharLowerBuffW(&s[0], DWORD(s.size()));
    return s;
}

bool RemoveTreeContents(Effects& fx, const std::wstring& longFolder, int depth = 0) {
    if (depth >= kMaxFolderDepth) return false;
    const FolderListing listing = fx.List(longFolder, L"*");
    if (!listing.started) return false;
    for (const FolderEntry& entry : listing.entries) {
        // A junction or symbolic link is left as it is: neither it nor what it points to is ours to remove.
        if (entry.IsFolderLink()) continue;
        const std::wstring child = longFolder + L"\\" + entry.name;
        if (entry.IsFolder()) {
            fx.SetAttributes(child, FILE_ATTRIBUTE_NORMAL);
            RemoveTreeContents(fx, child, depth + 1);
            fx.RemoveFolder(child);
        } else {
            fx.DeleteFile(child);
        }
    }
    return true;
}

bool OnRemovableDrive(const wchar_t* path) {
    if (!path[0] || path[1] != L':') return false;
    const wchar_t root[] = {path[0], L':', L'\\', 0};
    return ::GetDriveTypeW(root) == DRIVE_REMOVABLE;
}

}  // namespace

bool DeleteWithFallback(Effects& fx, const wchar_t* path, int backup) {
    if (!path) return true;
    const DWORD attributes = fx.Attributes(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return true;
    if (backup == 1) fx.BackUpFile(path);
    // A file on a removable drive that goes at once is put on no list: at the next boot the stick is gone or
    // another one has its letter, and the entry would strike whatever then has that path.
    if (OnRemovableDrive(path) && fx.DeleteFile(path)) return true;
    fx.DeleteAtBoot(path);
    fx.DeleteAtRestart(path);
    return fx.DeleteFile(path);
}

std::wstring BackupFolder() { return SessionsFolder(); }

bool CollectEntries(Effects& fx, std::wstring folder, std::vector<std::wstring>& files,
                    std::vector<std::wstring>& folders, const wchar_t* pattern, int depth) {
    if (depth >= kMaxFolderDepth) return false;
    if (folder.empty() || folder.back() != L'\\') folder += L'\\';
    const std::wstring base = folder;
    const FolderListing listing = fx.List(base, pattern);
    if (!listing.started) return false;
    for (const FolderEntry& entry : listing.entries) {
        // A junction or symbolic link may point off the drive: not collected, so neither it nor its target is
        // removed.
        if (entry.IsFolderLink()) continue;
        const std::wstring full = Lowered(base + entry.name);
        if (full.size() > kPathMax) continue;
        // Device-like names ("con", "con.exe") are left to the folder removal rather than opened.
        if (full.find(L"con") != std::wstring::npos) {
            folders.push_back(full);
        } else if (entry.IsFolder()) {
            folders.push_back(full);
            CollectEntries(fx, full, files, folders, pattern, depth + 1);
        } else {
            files.push_back(full);
        }
    }
    return listing.complete;
}

HRESULT CollectTree(Effects& fx, const std::wstring& path, std::vector<std::wstring>& files,
                    std::vector<std::wstring>& folders) {
    const DWORD attributes = fx.Attributes(path);
    const bool directory = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    if (!directory && path.find(L"..") == std::wstring::npos) return E_FAIL;
    folders.push_back(path);
    CollectEntries(fx, path, files, folders, L"*.*", 0);
    return S_OK;
}

bool RemoveTreeLongPath(Effects& fx, const std::wstring& folder) {
    std::wstring path = folder;
    while (path.size() > 3 && path.back() == L'\\') path.pop_back();
    const bool drivePath = path.size() > 3 && path[1] == L':' && path[2] == L'\\' &&
                           ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'));
    if (!drivePath || path.find(L"\\..") != std::wstring::npos) return false;
    const std::wstring longPath = L"\\\\?\\" + path;
    const DWORD attributes = fx.Attributes(longPath);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
    fx.SetAttributes(longPath, FILE_ATTRIBUTE_NORMAL);
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) RemoveTreeContents(fx, longPath);
    return fx.RemoveFolder(longPath);
}

bool RemoveFoundFile(ScanContext& scan, VLogger& log, const std::wstring& path, const std::wstring& md5,
                     DWORD crc, DWORD threatType, bool record) {
    const bool deleted = DeleteWithFallback(scan.Changes(), path.c_str(), 1);
    if (record)
        RecordFinding(log, md5.empty() ? nullptr : md5.c_str(), crc, path.c_str(),
                      deleted ? kOutcomeDeleted : kOutcomeRebootDelete, threatType);
    deleted ? scan.AddDeleted() : scan.AddRebootPending();
    return deleted;
}

HRESULT FileDisposer::DisposeFile(const wchar_t* path, DWORD threatType) {
    if (!path) return E_FAIL;
    Effects& fx = m_scan.Changes();
    const DWORD attributes = fx.Attributes(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return E_FAIL;
    const std::wstring readable = fx.ReadablePath(path);
    if (threatType != kThreatNoTermination && threatType != kThreatSilent && IsPeFile(readable.c_str())) {
        std::wstring copy(path);
        if (copy.size() > kPathMax) copy.resize(kPathMax);
        TerminateByPath(fx, copy.c_str());
    }
    const FileDigests digests = DigestsOfFile(readable.c_str());
    const std::uint32_t crc = digests.crc;
    const std::wstring& md5Text = digests.md5;
    // A CRC that could not be taken (0) is nothing to learn.
    if ((threatType == kThreatAutorun || threatType == kThreatScript) && crc != 0) m_crcs.LearnCrc(crc);
    if (threatType == kThreatSilent) {
        DeleteWithFallback(fx, path, 0);
        return E_FAIL;
    }
    const bool deleted = DeleteWithFallback(fx, path, int(threatType));
    m_scan.AddFilesExamined();
    m_scan.AddThreatsFound();
    const wchar_t* digest = md5Text.empty() ? nullptr : md5Text.c_str();
    if (deleted) {
        m_scan.AddDeleted();
        RecordFinding(m_log, digest, crc, path, kOutcomeDeleted, threatType);
        return S_OK;
    }
    m_scan.AddRebootPending();
    RecordFinding(m_log, digest, crc, path, kOutcomeRebootDelete, threatType);
    return E_FAIL;
}

HRESULT FileDisposer::DisposeTree(const wchar_t* path, DWORD threatType) {
    if (!path) return E_FAIL;
    Effects& fx = m_scan.Changes();
    std::vector<std::wstring> files, folders;
    CollectTree(fx, path, files, folders);
    HRESULT result = E_FAIL;
    if (!files.empty()) {
        result = S_OK;
        for (const auto& f : files) DisposeFile(f.c_str(), threatType);
    }
    if (!folders.empty()) {
        result = S_OK;
        // Longest first: every folder goes before its parent.
        std::stable_sort(folders.begin(), folders.end(),
                         [](const std::wstring& a, const std::wstring& b) { return a.size() > b.size(); });
        for (const auto& folder : folders) {
            const std::wstring withSlash = folder + L"\\";
            if (fx.RemoveFolder(withSlash)) continue;
            const DWORD error = ::GetLastError();
            if (error == ERROR_ACCESS_DENIED || error == ERROR_FILE_NOT_FOUND) RemoveTreeLongPath(fx, folder);
        }
    }
    return result;
}
