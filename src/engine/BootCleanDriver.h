#pragma once
// The boot-clean driver "BC": extracting its image, installing or upgrading it as a boot-start service, and
// listing files for it to delete at the next boot.
#include <windows.h>

#include <string>

#include "util/WinHandle.h"

class Effects;

constexpr const wchar_t* kBootListRootedKey = L"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Velmora\\KelvarnBox";
constexpr const wchar_t* kBootListValue = L"KelvarnFilePath";
constexpr REGSAM kBootListAccess = 0x2001F;  // read, set value, create subkey

// Opens a key given as "HKEY_LOCAL_MACHINE\...": E_FAIL for an unknown root or a key that does not open.
HRESULT OpenRootedKey(const std::wstring& rootedPath, REGSAM access, RegKey& key);

// The 64-bit file version of an image's version resource; false when it has none.
bool ReadFileVersion(const std::wstring& path, ULONGLONG& version);

class BootCleanRegistrar {
public:
    BootCleanRegistrar();
    ~BootCleanRegistrar();
    BootCleanRegistrar(const BootCleanRegistrar&) = delete;
    BootCleanRegistrar& operator=(const BootCleanRegistrar&) = delete;

    // Writes resource "BINARYTYPE" 224 to "bc.sys" beside the program.
    HRESULT ExtractBootCleanDriver();
    // Deletes the extracted copy.
    void RemoveExtractedDriver();
    // Copies the program folder's image over the system's when that is missing or older, then creates or
    // reconfigures the service.
    // Both through `fx`, so that a session's journal holds them and an undo takes them back.
    HRESULT InstallBootCleanDriver(Effects& fx, const wchar_t* fileName, const wchar_t* serviceName,
                                   const wchar_t* loadOrderGroup, DWORD startType);
    // Adds a file to the boot-time list (installing the driver through `fx` first, once per run). S_OK when
    // the path is listed afterwards.
    HRESULT RegisterBootDelete(Effects& fx, const wchar_t* path);

    // Takes `path` off the boot-time deletion list (a file that a repair has just written back). S_OK when it
    // is on the list no more; a damaged list is left as it is (E_FAIL).
    HRESULT UnregisterBootDelete(const wchar_t* path);

    static std::wstring ExtractedPath();
    // False on 64-bit Windows, which cannot load the 32-bit driver: nothing is extracted, installed or listed.
    static bool DriverCanLoad();

private:
    bool m_extracted = false;
    CRITICAL_SECTION m_lock;  // for callers that share a registrar between threads
};
