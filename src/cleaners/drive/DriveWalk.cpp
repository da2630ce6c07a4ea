#include "cleaners/drive/DriveWalk.h"

#include "engine/Effects.h"
#include "cleaners/drive/DisguisedCleaner.h"
#include "cleaners/drive/FileCheckRules.h"
#include "cleaners/drive/FileChecker.h"
#include "disposal/FileDisposal.h"
#include "disposal/FindingRecord.h"
#include "engine/ScanContext.h"
#include "util/AsciiCase.h"
#include "util/ModuleResource.h"
#include "util/PathMacroExpand.h"
#include "util/ProgramPath.h"
#include "util/WinHandle.h"
#include "util/Wow64.h"

namespace {
constexpr std::size_t kWalkPathMax = 260;
constexpr WORD kFixedPathResourceId = 216;

std::wstring FromSystemCodePage(const std::string& text) {
    const int n = ::MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring wide(n > 0 ? std::size_t(n) : 0, L'\0');
    if (n > 0) ::MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), &wide[0], n);
    return wide;
}
}  // namespace

DriveWalker::DriveWalker(ScanContext& scan, FileChecker& checker, DisguisedCleaner& disguised)
    : m_scan(scan), m_checker(checker), m_disguised(disguised), m_backupFolder(ProgramFolder() + L"\\BackFiles") {
    ::CharLowerBuffW(&m_backupFolder[0], DWORD(m_backupFolder.size()));
}

HRESULT DriveWalker::FullWalk(const std::vector<DriveEntry>& drives) {
    if (drives.empty()) return E_FAIL;
    for (const auto& drive : drives) {
        m_depth = 0;
        const HRESULT result = WalkDirectory(drive.root, UINT(drive.driveClass));
        if (FAILED(result) && m_scan.IsStopRequested()) return result;
    }
    return S_OK;
}

HRESULT DriveWalker::WalkDirectory(const std::wstring& dir, UINT driveType) {
    return WalkListed(dir, driveType, m_scan.Changes().List(dir, L"*.*"));
}

bool DriveWalker::Holds(const FolderListing& listing, const wchar_t* name) {
    // A search for a plain name matches a long name or an 8.3 alias, in any case.
    const std::wstring wanted = name;
    for (const auto& e : listing.entries)
        if (AsciiEqualsNoCase(e.name, wanted) || AsciiEqualsNoCase(e.shortName, wanted)) return true;
    return false;
}

HRESULT DriveWalker::WalkListed(const std::wstring& dir, UINT driveType, const FolderListing& listing) {
    struct Level {
        int& depth;
        explicit Level(int& d) : depth(d) { ++depth; }
        ~Level() { --depth; }
    } level(m_depth);
    m_scan.SetScanFolder(dir);
    if (!listing.started) return E_FAIL;
    for (const auto& entry : listing.entries)
        if (m_scan.IsStopRequested() || !VisitEntry(dir, entry, driveType)) return E_FAIL;
    return listing.complete ? S_OK : E_FAIL;
}

bool DriveWalker::VisitEntry(const std::wstring& dir, const FolderEntry& found, UINT driveType) {
    // A junction or symbolic link may lead off the drive: left alone, not even shown again.
    if (found.IsFolderLink()) return true;
    std::wstring full = dir + found.name;
    if (full.size() > kWalkPathMax) return true;
    ::CharLowerBuffW(&full[0], DWORD(full.size()));
    const bool folder = (found.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const bool hidden = (found.attributes & FILE_ATTRIBUTE_HIDDEN) != 0;
    if (driveType == DRIVE_REMOVABLE && hidden && (folder || WalkUnhidesFile(full))) {
        m_scan.Changes().SetAttributes(full, FILE_ATTRIBUTE_NORMAL);
        m_scan.AddRepaired();
    }
    if (!folder) {
        if (m_depth > 1) m_checker.CheckFile(full);  // a root's files are the root pass's
        return true;
    }
    // The backup folder is ours: its copies of removed threats are not walked again.
    if (full == m_backupFolder || m_depth >= kMaxFolderDepth) return true;
    if (hidden) m_disguised.CheckHiddenFolder(full, driveType);
    // The companions live inside the folder, which is listed next anyway: only names the listing holds are
    // looked up (a look-up of a missing name costs about as much as the listing). Their check may remove
    // files, so a folder that held one is listed again after it. A folder that cannot be listed has its
    // companions looked up all the same.
    const std::wstring inside = full.back() == L'\\' ? full : full + L'\\';
    FolderListing listing = m_scan.Changes().List(inside, L"*.*");
    if (!listing.started) {
        m_disguised.CheckFolderCompanions(full);
    } else if (Holds(listing, L"usp10.dll") || Holds(listing, L"ws2help.dll") || Holds(listing, L"desktop.ini")) {
        m_disguised.CheckFolderCompanions(full);
        listing = m_scan.Changes().List(inside, L"*.*");
    }
    return !(FAILED(WalkListed(inside, driveType, listing)) && m_scan.IsStopRequested());
}

HRESULT FixedPathSweeper::LoadFixedPaths() {
    const void* text = nullptr;
    DWORD size = 0;
    if (!FindProgramResource(kFixedPathResourceId, L"TEXTTYPE", text, size)) return E_FAIL;
    return LoadFixedPathsFrom(static_cast<const char*>(text), size);
}

HRESULT FixedPathSweeper::LoadFixedPathsFrom(const char* hexText, std::size_t length) {
    m_fixedPaths.clear();
    for (const std::string& entry : DecodeFixedPathList(hexText, length)) {
        std::wstring path = FromSystemCodePage(entry);
        if (!path.empty() && path[0] == L'%') {
            std::wstring expanded;
            if (ExpandPathMacros(path.c_str(), expanded) != 0 || expanded.size() > kWalkPathMax) continue;
            path = expanded;
        }
        if (path.find(L":\\") != std::wstring::npos) m_fixedPaths.push_back(path);
    }
    return m_fixedPaths.empty() ? E_FAIL : S_OK;
}

void FixedPathSweeper::SweepEntry(const std::wstring& entry) {
    m_scan.AddFilesExamined();
    Effects& fx = m_scan.Changes();
    if (entry.find(L'*') != std::wstring::npos) {
        // The first match, as the run finds the folder now.
        const std::size_t slash = entry.find_last_of(L'\\');
        if (slash == std::wstring::npos) return;
        const FolderListing listing = fx.List(entry.substr(0, slash), entry.c_str() + slash + 1);
        if (listing.entries.empty()) return;
        const bool folder = listing.entries.front().IsFolder();
        const std::wstring full = entry.substr(0, slash) + L"\\" + listing.entries.front().name;
        if (!folder) {
            m_disposer.DisposeFile(full.c_str(), kThreatFixedPath);
        } else if (full.find(L'.') == std::wstring::npos) {
            m_disposer.DisposeTree(full.c_str(), kThreatFixedPath);
        }
        return;
    }
    const DWORD attributes = fx.Attributes(entry);
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        m_disposer.DisposeTree(entry.c_str(), kThreatFixedPath);
    } else {
        m_disposer.DisposeFile(entry.c_str(), kThreatFixedPath);
    }
}

HRESULT FixedPathSweeper::FixedPathSweep() {
    // On 64-bit Windows an entry in the system folder is looked for in both: in "SysWOW64" by that name (a
    // 32-bit worm's copy), and in the real system folder with redirection off (a 64-bit worm's).
    for (const std::wstring& entry : m_fixedPaths) {
        if (m_scan.IsStopRequested()) return E_FAIL;
        const std::wstring wow64 = InWow64SystemFolder(entry);
        SweepEntry(wow64.empty() ? entry : wow64);
    }
    // Disposal loads no library, so it may run with redirection off.
    if (RunningUnderWow64()) {
        Wow64RedirectionOff off;
        if (!off.Active()) return S_OK;
        for (const std::wstring& entry : m_fixedPaths) {
            if (m_scan.IsStopRequested()) return E_FAIL;
            if (InRedirectedSystemFolder(entry)) SweepEntry(entry);
        }
    }
    return S_OK;
}
