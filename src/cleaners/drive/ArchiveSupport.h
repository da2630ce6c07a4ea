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
    using CallbackFn = int(CALLBACK*)(UINT, LPARAM, LPARAM, LPARAM);
    using SetCallbackFn = void(WINAPI*)(HANDLE, CallbackFn, LPARAM);

    // Loads the library at `path` and binds its five functions; a library missing any of them is unloaded.
    bool Load(const std::wstring& path);
    bool Ready() const { return m_open && m_readHeader && m_processFile && m_close && m_setCallback; }

    OpenArchiveFn OpenArchive() const { return m_open; }
    ReadHeaderFn ReadHeader() const { return m_readHeader; }
    ProcessFileFn ProcessFile() const { return m_processFile; }
    CloseArchiveFn CloseArchive() const { return m_close; }
    SetCallbackFn SetCallback() const { return m_setCallback; }

private:
    ModuleHandle m_library;
    OpenArchiveFn m_open = nullptr;
    ReadHeaderFn m_readHeader = nullptr;
    ProcessFileFn m_processFile = nullptr;
    CloseArchiveFn m_close = nullptr;
    SetCallbackFn m_setCallback = nullptr;
};

// The one library of the run, shared by every scan after it was loaded.
ArchiveSupport& SharedArchiveSupport();

// Loads the library at `path` into `support` only when the file holds exactly `image`, checked and loaded
// under one handle that lets nobody write, rename or delete the file in between.
bool LoadVerifiedLibrary(ArchiveSupport& support, const std::wstring& path, const void* image, DWORD size);

// Resource "BINARYTYPE" 227 written to "<temp>\KillSola.dll" (any old file of that name replaced) and loaded
// into the shared support through LoadVerifiedLibrary, once per run. True when all functions are bound.
bool LoadArchiveSupport();

// Where LoadArchiveSupport puts the library.
std::wstring ArchiveLibraryPath();
