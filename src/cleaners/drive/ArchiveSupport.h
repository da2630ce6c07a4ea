#pragma once
// The RAR extraction library the archive-infector repair needs, carried in the program as a resource and bound
// at run time.
#include <windows.h>

#include <string>

#include "util/WinHandle.h"

struct RAROpenArchiveData;
struct RARHeaderData;

class ArchiveSupport {
public:
    using OpenArchiveFn = HANDLE(WINAPI*)(RAROpenArchiveData*);
    using ReadHeaderFn = int(WINAPI*)(HANDLE, RARHeaderData*);
    using ProcessFileFn = int(WINAPI*)(HANDLE, int, char*, char*);
    using CloseArchiveFn = int(WINAPI*)(HANDLE);

    // Loads the library at `path` and binds its four functions; a library missing any of them is unloaded.
    bool Load(const std::wstring& path);
    bool Ready() const { return m_open && m_readHeader && m_processFile && m_close; }

    OpenArchiveFn OpenArchive() const { return m_open; }
    ReadHeaderFn ReadHeader() const { return m_readHeader; }
    ProcessFileFn ProcessFile() const { return m_processFile; }
    CloseArchiveFn CloseArchive() const { return m_close; }

private:
    ModuleHandle m_library;
    OpenArchiveFn m_open = nullptr;
    ReadHeaderFn m_readHeader = nullptr;
    ProcessFileFn m_processFile = nullptr;
    CloseArchiveFn m_close = nullptr;
};

// The one library of the run, shared by every scan after it was loaded.
ArchiveSupport& SharedArchiveSupport();

// Resource "BINARYTYPE" 227 written to "<temp>\KillSola.dll" (any old file of that name replaced) and loaded
// into the shared support, once per run. True when all four functions are bound.
bool LoadArchiveSupport();

// Where LoadArchiveSupport puts the library.
std::wstring ArchiveLibraryPath();
