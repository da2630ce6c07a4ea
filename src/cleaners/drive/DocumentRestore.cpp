#include "cleaners/drive/DocumentRestore.h"

#include <cstdint>
#include <vector>

#include <dll.hpp>

#include "engine/Effects.h"
#include "cleaners/drive/ArchiveInfector.h"
#include "cleaners/drive/ArchiveSupport.h"
#include "disposal/DigestFile.h"
#include "disposal/FindingRecord.h"
#include "disposal/ImagePath.h"
#include "disposal/PeResources.h"
#include "engine/ScanContext.h"
#include "util/WinHandle.h"

namespace {
std::wstring FolderOf(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

// The archive library takes ANSI paths: a path the code page cannot spell exactly is not handed to it.
bool ExactAnsi(const std::wstring& text, std::string& ansi) {
    ansi.clear();
    if (text.empty()) return false;
    BOOL lossy = FALSE;
    const int n = ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), int(text.size()), nullptr, 0, nullptr, &lossy);
    if (n <= 0 || lossy) return false;
    ansi.resize(std::size_t(n));
    ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), int(text.size()), &ansi[0], n, nullptr, &lossy);
    return !lossy;
}

std::wstring FromAnsi(const char* text, std::size_t capacity) {
    std::size_t length = 0;
    while (length < capacity && text[length]) ++length;  // the library's name may fill its buffer
    const int n = ::MultiByteToWideChar(CP_ACP, 0, text, int(length), nullptr, 0);
    std::wstring wide(n > 0 ? std::size_t(n) : 0, L'\0');
    if (n > 0) ::MultiByteToWideChar(CP_ACP, 0, text, int(length), &wide[0], n);
    return wide;
}

// An entry that unpacks to more than this is no document a dropper carries but a bomb: it is not written.
constexpr std::uint64_t kMaxExtractedEntryBytes = 64u << 20;

struct ExtractionBudget {
    std::uint64_t written = 0;
};

// The library's questions: data as it is unpacked is counted against the cap; a password or the next volume
// of a split archive is never given.
int CALLBACK OnArchiveEvent(UINT message, LPARAM user, LPARAM, LPARAM size) {
    auto* budget = reinterpret_cast<ExtractionBudget*>(user);
    if (message != UCM_PROCESSDATA) return -1;
    budget->written += std::uint64_t(size > 0 ? size : 0);
    return budget->written > kMaxExtractedEntryBytes ? -1 : 1;
}

class OpenArchive {
public:
    OpenArchive(const ArchiveSupport& support, HANDLE handle) : m_support(support), m_handle(handle) {}
    ~OpenArchive() {
        if (m_handle) m_support.CloseArchive()(m_handle);
    }
    OpenArchive(const OpenArchive&) = delete;
    OpenArchive& operator=(const OpenArchive&) = delete;
    HANDLE Get() const { return m_handle; }

private:
    const ArchiveSupport& m_support;
    HANDLE m_handle;
};
}  // namespace

DocumentRestore::DocumentRestore(ScanContext& scan, VLogger& log)
    : DocumentRestore(scan, log, SharedArchiveSupport()) {}

bool DocumentRestore::Repair(const wchar_t* path, int variant) {
    if (variant == 1) return RestoreDocResource(path);
    if (variant == 2) return ExtractDocumentFromArchive(path);
    return false;
}

bool MakeUniqueName(Effects& fx, std::wstring& path, const wchar_t* extension) {
    if (fx.Attributes(path) == INVALID_FILE_ATTRIBUTES) return false;
    path = FolderOf(path) + UniqueName(FileNameOf(path), ::GetTickCount(), extension);
    return true;
}

bool DocumentRestore::RestoreDocResource(const wchar_t* path) {
    if (!path) return false;
    std::vector<std::uint8_t> image;
    if (!ReadWholeFile(m_scan.Changes().ReadablePath(path).c_str(), kContentMinExclusive, kContentMaxExclusive - 1, image))
        return false;
    PeResourceReader reader;
    if (!reader.Open(image.data(), image.size())) return false;
    const std::uint8_t* document = nullptr;
    std::size_t documentSize = 0;
    reader.ForEach([&](const PeResourceEntry& e) {
        if (e.type != u"DOC" || e.name != u"SIMPLE") return true;
        if (e.dataInFile) {
            document = image.data() + e.dataOffset;
            documentSize = e.dataSize;
        }
        return false;
    });
    if (!document) return false;
    const std::wstring full(path);
    std::wstring target = FolderOf(full) + DocumentNameFor(FileNameOf(full));
    Effects& fx = m_scan.Changes();
    MakeUniqueName(fx, target, L".doc");
    // Never over a file.
    if (!fx.WriteNewFile(target, document, documentSize)) return false;
    m_scan.AddRepaired();
    RecordFinding(m_log, nullptr, 0, target.c_str(), kOutcomeRepaired, kThreatFixedPath);
    m_scan.ExeInfectorRepairReported = 1;
    return true;
}

bool DocumentRestore::ExtractDocumentFromArchive(const wchar_t* path, int depth) {
    if (!path || !m_archive.Ready()) return false;
    const std::wstring archivePath(path);
    std::string ansiArchive;
    if (!ExactAnsi(m_scan.Changes().ReadablePath(archivePath), ansiArchive)) return false;
    RAROpenArchiveData request{};
    request.ArcName = &ansiArchive[0];
    request.OpenMode = RAR_OM_EXTRACT;
    OpenArchive archive(m_archive, m_archive.OpenArchive()(&request));
    if (!archive.Get() || request.OpenResult != ERAR_SUCCESS) return false;
    Effects& fx = m_scan.Changes();
    ExtractionBudget budget;
    m_archive.SetCallback()(archive.Get(), &OnArchiveEvent, reinterpret_cast<LPARAM>(&budget));

    RARHeaderData header{};
    while (m_archive.ReadHeader()(archive.Get(), &header) == ERAR_SUCCESS) {
        const std::wstring entry = FromAnsi(header.FileName, sizeof header.FileName);
        std::wstring bare;
        const bool directory = (header.Flags & RHDF_DIRECTORY) != 0 || (header.FileAttr & FILE_ATTRIBUTE_DIRECTORY);
        const bool candidate = !directory && IsDocumentEntry(entry) && SafeEntryFileName(entry, bare) &&
                               header.UnpSize <= kMaxExtractedEntryBytes;
        // Whatever already lies beside the carrier stays; the document takes a new name instead.
        std::wstring target = candidate ? FolderOf(archivePath) + bare : std::wstring();
        if (candidate) {
            const std::size_t dot = bare.find_last_of(L'.');
            MakeUniqueName(fx, target, dot == std::wstring::npos ? L"" : bare.c_str() + dot);
        }
        std::string ansiTarget;
        if (!candidate || fx.Attributes(target) != INVALID_FILE_ATTRIBUTES || !ExactAnsi(target, ansiTarget)) {
            if (m_archive.ProcessFile()(archive.Get(), RAR_SKIP, nullptr, nullptr) != ERAR_SUCCESS) break;
            continue;
        }
        // Damaged, cut off or larger than the cap: what was written of it goes, and the next entry is tried.
        bool processed = false;
        const bool extracted = fx.ProduceFile(target, [&](const std::wstring&) {
            processed = true;
            budget = ExtractionBudget();
            return m_archive.ProcessFile()(archive.Get(), RAR_EXTRACT, nullptr, &ansiTarget[0]) == ERAR_SUCCESS;
        });
        // A planned run extracts nothing: the entry's data is passed over so the next header can be read.
        if (!processed && m_archive.ProcessFile()(archive.Get(), RAR_SKIP, nullptr, nullptr) != ERAR_SUCCESS &&
            !extracted)
            break;
        if (!extracted) continue;
        if (IsNestedArchiveEntry(entry)) {
            bool restored = false;
            if (depth <= 2) restored = ExtractDocumentFromArchive(target.c_str(), depth + 1);
            fx.DeleteFile(target);
            if (restored) return true;
            continue;
        }
        fx.SetAttributes(target, FILE_ATTRIBUTE_NORMAL);
        m_scan.AddRepaired();
        RecordFinding(m_log, nullptr, 0, target.c_str(), kOutcomeRepaired, kThreatCrc);
        m_scan.ArchiveInfectorRepairReported = 1;
        return true;
    }
    return false;
}
