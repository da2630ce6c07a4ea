#include "cleaners/drive/AutorunCleaner.h"

#include "engine/Effects.h"
#include "cleaners/drive/DisguisedCleaner.h"
#include "cleaners/drive/FileChecker.h"
#include "disposal/DigestFile.h"
#include "disposal/FileDisposal.h"
#include "disposal/FindingRecord.h"
#include "disposal/Safeguards.h"
#include "engine/ScanContext.h"
#include "util/AsciiCase.h"
#include "util/WinHandle.h"

namespace {
constexpr DWORD kProfileChars = 260;

bool IsFolder(Effects& fx, const std::wstring& path) {
    const DWORD a = fx.Attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

// Drive paths go through "\\?\": the plain form of "X:\autorun.inf\con" names the console device.
std::wstring Literal(const std::wstring& path) {
    if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') return L"\\\\?\\" + path;
    return path;
}

bool EqualsNoCase(const std::wstring& a, const wchar_t* b) { return AsciiEqualsNoCase(a, std::wstring(b)); }

}  // namespace

bool SplitPath(const std::wstring& path, std::vector<std::wstring>& parts) {
    parts.clear();
    std::size_t start = 0;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (path[i] != L'\\') continue;
        parts.push_back(path.substr(start, i + 1 - start));
        start = i + 1;
    }
    if (start >= path.size()) return false;
    parts.push_back(path.substr(start));
    return true;
}

bool CreateFolderPath(Effects& fx, const std::wstring& path, int mode) {
    if (IsFolder(fx, path)) return false;
    std::wstring trimmed = path;
    if (!trimmed.empty() && trimmed.back() == L'\\') trimmed.pop_back();
    std::vector<std::wstring> parts;
    SplitPath(trimmed, parts);
    std::wstring chain;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        chain += parts[i];
        if (i > 0 && !IsFolder(fx, chain)) fx.CreateFolder(Literal(chain));
    }
    if (mode != 1) return true;
    const bool con = fx.CreateFolder(Literal(trimmed + L"\\con\\"));
    fx.CreateFolder(Literal(trimmed + L"\\此资料夹为免疫资料夹\\"));
    return con;
}

bool ReadAutorunValue(const wchar_t* section, const wchar_t* key, const std::wstring& infPath, std::wstring& value) {
    wchar_t buffer[kProfileChars + 1] = {};
    ::GetPrivateProfileStringW(section, key, L"", buffer, kProfileChars, infPath.c_str());
    buffer[kProfileChars] = 0;
    value = buffer;
    return !value.empty();
}

void AutorunCleaner::CleanAutorunInf(const std::wstring& infPath) {
    if (infPath.size() < 2) return;
    const std::wstring drive = infPath.substr(0, 2) + L"\\";
    Effects& fx = m_scan.Changes();
    const std::wstring readable = fx.ReadablePath(infPath);
    std::wstring value;
    for (const wchar_t* key : {L"Open", L"ShellExecute", L"shell\\open\\command", L"shell\\explore\\command"})
        if (!readable.empty() && ReadAutorunValue(L"AutoRun", key, readable, value)) break;
    if (!value.empty()) {
        const std::wstring target = drive + value;
        const DWORD a = fx.Attributes(target);
        const bool file = a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
        if (file && MayDisposeNamedFile(target, drive, m_guard, m_trust))
            m_disposer.DisposeFile(target.c_str(), kThreatAutorun);
    }
    m_disposer.DisposeFile(infPath.c_str(), kThreatAutorun);
}

HRESULT AutorunCleaner::ImmunizePath(const std::wstring& path) {
    Effects& fx = m_scan.Changes();
    if (!CreateFolderPath(fx, path, 1)) return E_FAIL;
    m_scan.AddImmunized(0);  // adds n + 1 for a reported n: one path
    fx.SetAttributes(path, FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_HIDDEN);
    return S_OK;
}

void AutorunCleaner::HandleRecycled(const std::wstring& path) {
    const FileDigests digests = DigestsOfFile(m_scan.Changes().ReadablePath(path).c_str());
    m_scan.AddFilesExamined();
    m_scan.AddThreatsFound();
    if (m_scan.ReadOnlyScan) return;
    RemoveFoundFile(m_scan, m_log, path, digests.md5, digests.crc, kThreatAutorun);
}

HRESULT AutorunCleaner::DriveRootPass(const std::vector<DriveEntry>& drives) {
    if (drives.empty()) return E_FAIL;
    for (const auto& drive : drives) {
        const std::wstring& root = drive.root;
        const bool removable = drive.driveClass == kDriveRemovable;
        Effects& fx = m_scan.Changes();
        // The root's entries as they are before the pass changes any of them.
        const FolderListing listing = fx.List(root, L"*.*");
        if (!listing.started) return E_FAIL;
        const std::wstring infPath = root + L"autorun.inf";
        const DWORD infAttributes = fx.Attributes(infPath);
        if (infAttributes != INVALID_FILE_ATTRIBUTES && !(infAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            CleanAutorunInf(infPath);
            m_disposer.DisposeFile(infPath.c_str(), kThreatAutorun);
        }
        if (removable && fx.Attributes(infPath) == INVALID_FILE_ATTRIBUTES) ImmunizePath(infPath);

        for (const FolderEntry& found : listing.entries) {
            if (m_scan.IsStopRequested()) return E_FAIL;
            const std::wstring& name = found.name;
            std::wstring path = root + name;
            if (found.IsFolder()) {
                // A junction or symbolic link may lead off the drive: left as it is.
                if (!found.IsFolderLink()) {
                    if (found.attributes & FILE_ATTRIBUTE_HIDDEN) m_disguised.CheckHiddenFolder(path, DRIVE_FIXED);
                    m_disguised.CheckFolderCompanions(path);
                }
            } else if (EqualsNoCase(name, L"autorun.inf")) {
                if (!removable) CleanAutorunInf(path);
            } else if (removable && EqualsNoCase(name, L"Recycled.exe")) {
                HandleRecycled(path);
            } else {
                m_checker.CheckFile(path);
            }
        }
        if (!listing.complete) return E_FAIL;
    }
    return S_OK;
}
