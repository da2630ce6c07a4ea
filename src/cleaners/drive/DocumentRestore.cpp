#include "cleaners/drive/DocumentRestore.h"

#include <vector>

#include "app/Globals.h"
#include "cleaners/drive/ArchiveInfector.h"
#include "disposal/DigestFile.h"
#include "disposal/FindingRecord.h"
#include "disposal/ImagePath.h"
#include "disposal/PeResources.h"
#include "scan/ScanController.h"
#include "util/WinHandle.h"

bool MakeUniqueName(std::wstring& path, const wchar_t* extension) {
    if (::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
    const std::size_t slash = path.find_last_of(L"\\/");
    const std::wstring folder = slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
    path = folder + UniqueName(FileNameOf(path), ::GetTickCount(), extension);
    return true;
}

bool DocumentRestore::RestoreDocResource(const wchar_t* path) {
    if (!path) return false;
    std::vector<std::uint8_t> image;
    if (!ReadWholeFile(path, kContentMinExclusive, kContentMaxExclusive - 1, image)) return false;
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
    const std::size_t slash = full.find_last_of(L"\\/");
    std::wstring target = (slash == std::wstring::npos ? std::wstring() : full.substr(0, slash + 1)) +
                          DocumentNameFor(FileNameOf(full));
    MakeUniqueName(target, L".doc");
    if (::GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES) return false;  // never over a file
    FileHandle out(::CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (!out || !::WriteFile(out.Get(), document, DWORD(documentSize), &written, nullptr) || written != documentSize)
        return false;
    out.Reset();
    m_scan.AddRepaired();
    RecordFinding(m_log, nullptr, 0, target.c_str(), kOutcomeRepaired, kThreatFixedPath);
    ExeInfectorRepairReported = 1;
    return true;
}
