#pragma once
// Writing back the document that a document-resource infector carries inside itself.
#include <windows.h>

#include <string>

class ArchiveSupport;
class Effects;
class ScanContext;
class VLogger;

// The path with its file name replaced by UniqueName(name, tick count, extension) when something exists there.
bool MakeUniqueName(Effects& fx, std::wstring& path, const wchar_t* extension);

class DocumentRestore {
public:
    DocumentRestore(ScanContext& scan, VLogger& log);
    DocumentRestore(ScanContext& scan, VLogger& log, const ArchiveSupport& archive)
        : m_scan(scan), m_log(log), m_archive(archive) {}

    // Variant 1 or 2 for the executable at `path`; true when a document was written back.
    bool Repair(const wchar_t* path, int variant);

    // Variant 1: the "DOC"/"SIMPLE" resource of the executable at `path` becomes "<name>.doc" beside it, never
    // over an existing file. The image is read as bytes and walked by our own resource reader: the untrusted
    // file is never handed to the system loader.
    bool RestoreDocResource(const wchar_t* path);
    // Variant 2: the executable is a RAR archive; its first document entry is extracted beside it under the
    // entry's bare file name (never over an existing file), a nested ".com" archive is unwrapped while `depth`
    // is at most 2 and then deleted. Entry names the archive's maker chose to escape the folder are refused.
    bool ExtractDocumentFromArchive(const wchar_t* path, int depth = 1);

private:
    ScanContext& m_scan;
    VLogger& m_log;
    const ArchiveSupport& m_archive;
};
