#pragma once
// Writing back the document that a document-resource infector carries inside itself.
#include <windows.h>

#include <string>

class ScanController;
class VLogger;

// The path with its file name replaced by UniqueName(name, tick count, extension) when something exists there.
bool MakeUniqueName(std::wstring& path, const wchar_t* extension);

class DocumentRestore {
public:
    DocumentRestore(ScanController& scan, VLogger& log) : m_scan(scan), m_log(log) {}
    // Variant 1: the "DOC"/"SIMPLE" resource of the executable at `path` becomes "<name>.doc" beside it, never
    // over an existing file. The image is read as bytes and walked by our own resource reader: the untrusted
    // file is never handed to the system loader.
    bool RestoreDocResource(const wchar_t* path);

private:
    ScanController& m_scan;
    VLogger& m_log;
};
