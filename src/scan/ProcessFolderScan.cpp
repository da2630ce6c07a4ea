#include "scan/ProcessFolderScan.h"

#include <tlhelp32.h>

#include "cleaners/drive/FileChecker.h"
#include "disposal/ProcessTermination.h"
#include "engine/ScanContext.h"
#include "util/FolderListing.h"
#include "util/ProgramPath.h"
#include "util/WinHandle.h"
#include "util/Wow64.h"

namespace {
constexpr std::size_t kPathMax = 260;

void EndWithSlash(std::wstring& folder) {
    if (folder.empty() || folder.back() != L'\\') folder += L'\\';
}

bool SameFolder(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, a.c_str(), int(a.size()), b.c_str(), int(b.size())) ==
           CSTR_EQUAL;
}
}  // namespace

namespace {

class ToolhelpPrograms final : public RunningPrograms {
public:
    bool List(std::vector<std::wstring>& images) override {
        images.clear();
        FileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
        if (!snapshot) return false;
        PROCESSENTRY32W entry = {};
        entry.dwSize = sizeof entry;
        for (BOOL more = ::Process32FirstW(snapshot.Get(), &entry); more;
             more = ::Process32NextW(snapshot.Get(), &entry)) {
            KernelHandle process(::OpenProcess(PROCESS_ALL_ACCESS, FALSE, entry.th32ProcessID));
            if (!process) continue;
            std::wstring image = FirstModulePath(entry.th32ProcessID);
            if (IsNative64BitProcess(process.Get())) image = ImageOf64BitProcess(process.Get(), image);
            if (image.size() <= 2 || image.size() > kPathMax ||
                ::GetFileAttributesW(image.c_str()) == INVALID_FILE_ATTRIBUTES)
                continue;
            images.push_back(image);
        }
        return true;
    }
};
}  // namespace

RunningPrograms& RealRunningPrograms() {
    static ToolhelpPrograms programs;
    return programs;
}

HRESULT ProcessFolderScan::ScanRunningProcesses() {
    std::vector<std::wstring> images;
    if (!m_programs.List(images)) return E_FAIL;
    m_visited.clear();
    for (const std::wstring& image : images) {
        if (m_scan.IsStopRequested()) return E_FAIL;
        m_checker.CheckFile(image);
        const std::size_t slash = image.find_last_of(L'\\');
        if (slash == std::wstring::npos) continue;
        std::wstring folder = image.substr(0, slash);
        std::wstring compared = folder;
        EndWithSlash(compared);
        bool seen = false;
        for (const auto& visited : m_visited) seen = seen || SameFolder(visited, compared);
        if (seen) continue;
        if (FAILED(ScanProgramFolder(folder)) && m_scan.IsStopRequested()) return E_FAIL;
        m_visited.push_back(folder);
    }
    return S_OK;
}

HRESULT ProcessFolderScan::ScanProgramFolder(std::wstring& folder) {
    std::wstring base = folder;
    if (!base.empty() && base.back() == L'\\') base.pop_back();
    const FolderListing listing = m_scan.Changes().List(base, L"*.*");
    if (!listing.started) return E_FAIL;
    const std::wstring backup = ProgramFolder() + L"\\BackFiles";
    EndWithSlash(folder);
    for (const FolderEntry& entry : listing.entries) {
        if (m_scan.IsStopRequested()) return E_FAIL;
        // A junction or symbolic link in a program's folder may lead anywhere: not entered.
        if (entry.IsFolderLink()) continue;
        const std::wstring full = folder + entry.name;
        if (!entry.IsFolder()) {
            m_checker.CheckFile(full);
        } else if (!SameFolder(full, backup)) {
            if (FAILED(ScanFolderFiles(full)) && m_scan.IsStopRequested()) return E_FAIL;
        }
    }
    return listing.complete ? S_OK : E_FAIL;
}

HRESULT ProcessFolderScan::ScanFolderFiles(std::wstring folder) {
    if (!folder.empty() && folder.back() == L'\\') folder.pop_back();
    const FolderListing listing = m_scan.Changes().List(folder, L"*.*");
    if (!listing.started) return E_FAIL;
    EndWithSlash(folder);
    for (const FolderEntry& entry : listing.entries) {
        if (m_scan.IsStopRequested()) return E_FAIL;
        if (entry.IsFolder()) continue;
        m_checker.CheckFile(folder + entry.name);
    }
    return listing.complete ? S_OK : E_FAIL;
}
