#include "disposal/FileDisposal.h"

#include <algorithm>

#include "app/Globals.h"
#include "cleaners/system/BootCleanDriver.h"
#include "cleaners/system/BootDeleteList.h"
#include "disposal/CrcBlacklist.h"
#include "disposal/DigestFile.h"
#include "disposal/FindingRecord.h"
#include "disposal/ImagePath.h"
#include "disposal/ProcessTermination.h"
#include "scan/ScanController.h"
#include "util/FolderListing.h"
#include "util/ProgramPath.h"
#include "util/WinHandle.h"
#include "util/Wow64.h"

namespace {

constexpr std::size_t kPathMax = MAX_PATH - 1;
const wchar_t kPendingRenames[] = L"PendingFileRenameOperations";
// A larger list is not ours to rewrite.
constexpr DWORD kPendingRenamesMaxBytes = 1u << 20;
// Backups of one name within one tick: enough for every file a step can remove at once.
constexpr int kMaxBackupNumber = 1000;

bool IsDirectory(const std::wstring& path) {
    const DWORD a = ::GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring Lowered(std::wstring s) {
    if (!s.empty()) ::CharLowerBuffW(&s[0], DWORD(s.size()));
    return s;
}

bool RemoveTreeContents(const std::wstring& longFolder, int depth = 0) {
    if (depth >= kMaxFolderDepth) return false;
    const FolderListing listing = ListFolder(longFolder, L"*");
    if (!listing.started) return false;
    for (const FolderEntry& entry : listing.entries) {
        // A junction or symbolic link is left as it is: neither it nor what it points to is ours to remove.
        if (entry.IsFolderLink()) continue;
        const std::wstring child = longFolder + L"\\" + entry.name;
        ::SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (entry.IsFolder()) {
            RemoveTreeContents(child, depth + 1);
            ::RemoveDirectoryW(child.c_str());
        } else {
            ::DeleteFileW(child.c_str());
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

bool DeleteWithFallback(const wchar_t* path, int backup) {
    if (!path || !ChangesAllowed()) return true;
    ::SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL);
    const DWORD attributes = ::GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return true;
    if (backup == 1) BackupFile(path);
    // A file on a removable drive that goes at once is put on no list: at the next boot the stick is gone or
    // another one has its letter, and the entry would strike whatever then has that path.
    if (OnRemovableDrive(path) && ::DeleteFileW(path)) return true;
    {
        BootCleanRegistrar registrar;
        registrar.RegisterBootDelete(path);
    }
    // 64-bit Windows carries out the restart deletion without redirection: name the file it really is.
    ::MoveFileExW(NativeSystemPath(path).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    return ::DeleteFileW(path) != 0;
}

void ForgetRestartDeletion(const wchar_t* path) {
    if (!path || !*path || !ChangesAllowed()) return;
    BootCleanRegistrar().UnregisterBootDelete(path);
    RegKey session;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0,
                        KEY_QUERY_VALUE | KEY_SET_VALUE, session.Put()) != ERROR_SUCCESS)
        return;
    DWORD type = 0, size = 0;
    if (::RegQueryValueExW(session.Get(), kPendingRenames, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        type != REG_MULTI_SZ || size == 0 || size > kPendingRenamesMaxBytes)
        return;
    std::vector<wchar_t> data(size / sizeof(wchar_t) + 1, L'\0');
    if (::RegQueryValueExW(session.Get(), kPendingRenames, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) !=
        ERROR_SUCCESS)
        return;
    const std::u16string text(reinterpret_cast<const char16_t*>(data.data()), size / sizeof(wchar_t));
    const std::wstring nt = L"\\??\\" + NativeSystemPath(path);
    const std::u16string kept =
        WithoutPendingDeletion(text, std::u16string(reinterpret_cast<const char16_t*>(nt.data()), nt.size()));
    if (kept == text) return;
    if (kept.empty()) {
        ::RegDeleteValueW(session.Get(), kPendingRenames);
    } else {
        ::RegSetValueExW(session.Get(), kPendingRenames, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(kept.data()),
                         DWORD(kept.size() * sizeof(char16_t)));
    }
}

std::wstring BackupFolder() { return ProgramFolder() + L"\\BackFiles\\"; }

bool BackupFile(const wchar_t* path) {
    if (!path || !ChangesAllowed()) return true;
    const std::wstring folder = BackupFolder();
    ::CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring name = FileNameOf(path) + L"_" + std::to_wstring(static_cast<int>(::GetTickCount()));
    // Two files of one name removed within a tick would share a backup name: the later one takes a number
    // rather than overwrite the earlier backup.
    std::wstring target = folder + name;
    for (int n = 2; !::CopyFileW(path, target.c_str(), TRUE) && ::GetLastError() == ERROR_FILE_EXISTS &&
                    n <= kMaxBackupNumber;
         ++n)
        target = folder + name + L"_" + std::to_wstring(n);
    return true;
}

bool CollectEntries(std::wstring folder, std::vector<std::wstring>& files, std::vector<std::wstring>& folders,
                    const wchar_t* pattern, int depth) {
    if (depth >= kMaxFolderDepth) return false;
    if (folder.empty() || folder.back() != L'\\') folder += L'\\';
    const std::wstring base = folder;
    const FolderListing listing = ListFolder(base, pattern);
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
            CollectEntries(full, files, folders, pattern, depth + 1);
        } else {
            files.push_back(full);
        }
    }
    return listing.complete;
}

HRESULT CollectTree(const std::wstring& path, std::vector<std::wstring>& files, std::vector<std::wstring>& folders) {
    if (!IsDirectory(path) && path.find(L"..") == std::wstring::npos) return E_FAIL;
    folders.push_back(path);
    CollectEntries(path, files, folders, L"*.*", 0);
    return S_OK;
}

bool RemoveTreeLongPath(const std::wstring& folder) {
    if (!ChangesAllowed()) return false;
    std::wstring path = folder;
    while (path.size() > 3 && path.back() == L'\\') path.pop_back();
    const bool drivePath = path.size() > 3 && path[1] == L':' && path[2] == L'\\' &&
                           ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'));
    if (!drivePath || path.find(L"\\..") != std::wstring::npos) return false;
    const std::wstring longPath = L"\\\\?\\" + path;
    const DWORD attributes = ::GetFileAttributesW(longPath.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
    ::SetFileAttributesW(longPath.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) RemoveTreeContents(longPath);
    return ::RemoveDirectoryW(longPath.c_str()) != 0;
}

bool RemoveFoundFile(ScanController& scan, VLogger& log, const std::wstring& path, const std::wstring& md5,
                     DWORD crc, DWORD threatType, bool record) {
    const bool deleted = DeleteWithFallback(path.c_str(), 1);
    if (record)
        RecordFinding(log, md5.empty() ? nullptr : md5.c_str(), crc, path.c_str(),
                      deleted ? kOutcomeDeleted : kOutcomeRebootDelete, threatType);
    deleted ? scan.AddDeleted() : scan.AddRebootPending();
    return deleted;
}

HRESULT FileDisposer::DisposeFile(const wchar_t* path, DWORD threatType) {
    if (!path) return E_FAIL;
    const DWORD attributes = ::GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return E_FAIL;
    if (threatType != kThreatNoTermination && threatType != kThreatSilent && IsPeFile(path)) {
        std::wstring copy(path);
        if (copy.size() > kPathMax) copy.resize(kPathMax);
        TerminateByPath(copy.c_str());
    }
    const FileDigests digests = DigestsOfFile(path);
    const std::uint32_t crc = digests.crc;
    const std::wstring& md5Text = digests.md5;
    // A CRC that could not be taken (0) is nothing to learn.
    if ((threatType == kThreatAutorun || threatType == kThreatScript) && crc != 0) m_crcs.LearnCrc(crc);
    if (threatType == kThreatSilent) {
        DeleteWithFallback(path, 0);
        return E_FAIL;
    }
    const bool deleted = DeleteWithFallback(path, int(threatType));
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
    std::vector<std::wstring> files, folders;
    CollectTree(path, files, folders);
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
            if (!ChangesAllowed()) break;
            const std::wstring withSlash = folder + L"\\";
            if (::RemoveDirectoryW(withSlash.c_str())) continue;
            const DWORD error = ::GetLastError();
            if (error == ERROR_ACCESS_DENIED || error == ERROR_FILE_NOT_FOUND) RemoveTreeLongPath(folder);
        }
    }
    return result;
}
