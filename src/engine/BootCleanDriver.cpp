#include "engine/BootCleanDriver.h"

#include <atomic>
#include <vector>

#include "engine/BootDeleteList.h"
#include "engine/Effects.h"
#include "util/ModuleResource.h"
#include "util/ProgramPath.h"
#include "util/Wow64.h"

namespace {

constexpr WORD kDriverResourceId = 224;

HKEY RootKey(RegistryRoot root) {
    switch (root) {
        case RegistryRoot::LocalMachine: return HKEY_LOCAL_MACHINE;
        case RegistryRoot::CurrentUser: return HKEY_CURRENT_USER;
        case RegistryRoot::ClassesRoot: return HKEY_CLASSES_ROOT;
        case RegistryRoot::Users: return HKEY_USERS;
        case RegistryRoot::CurrentConfig: return HKEY_CURRENT_CONFIG;
    }
    return HKEY_LOCAL_MACHINE;
}

bool WindowsCaseEquals(const std::u16string& a, const std::u16string& b) {
    return a.size() == b.size() &&
           ::CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, reinterpret_cast<const wchar_t*>(a.c_str()), int(a.size()),
                            reinterpret_cast<const wchar_t*>(b.c_str()), int(b.size())) == CSTR_EQUAL;
}

}  // namespace

HRESULT OpenRootedKey(const std::wstring& rootedPath, REGSAM access, RegKey& key) {
    RegistryRoot root;
    std::wstring subkey;
    if (!ParseRootedKeyPath(rootedPath, root, subkey)) return E_FAIL;
    return ::RegOpenKeyExW(RootKey(root), subkey.c_str(), 0, access, key.Put()) == ERROR_SUCCESS ? S_OK : E_FAIL;
}

bool ReadFileVersion(const std::wstring& path, ULONGLONG& version) {
    DWORD handle = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &handle);
    if (!size) return false;
    std::vector<BYTE> data(size);
    if (!::GetFileVersionInfoW(path.c_str(), 0, size, data.data())) return false;
    VS_FIXEDFILEINFO* info = nullptr;
    UINT infoSize = 0;
    if (!::VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &infoSize) || !info ||
        infoSize < sizeof(VS_FIXEDFILEINFO))
        return false;
    version = (ULONGLONG(info->dwFileVersionMS) << 32) | info->dwFileVersionLS;
    return true;
}

BootCleanRegistrar::BootCleanRegistrar() { ::InitializeCriticalSection(&m_lock); }

BootCleanRegistrar::~BootCleanRegistrar() {
    // Only the registrar that extracted the copy removes it: registrations later in the run still install
    // from it.
    if (m_extracted) RemoveExtractedDriver();
    ::DeleteCriticalSection(&m_lock);
}

std::wstring BootCleanRegistrar::ExtractedPath() { return ProgramFolder() + L"\\bc.sys"; }

HRESULT BootCleanRegistrar::ExtractBootCleanDriver() {
    if (!DriverCanLoad()) return E_FAIL;
    if (ProgramFolder().empty()) return E_FAIL;
    bool created = false;
    const bool written = WriteProgramResource(kDriverResourceId, L"BINARYTYPE", ExtractedPath().c_str(), &created);
    // Even a partly written copy is ours to remove.
    if (created) m_extracted = true;
    return written ? S_OK : E_FAIL;
}

void BootCleanRegistrar::RemoveExtractedDriver() {
    ::DeleteFileW(ExtractedPath().c_str());
    m_extracted = false;
}

HRESULT BootCleanRegistrar::InstallBootCleanDriver(Effects& fx, const wchar_t* fileName, const wchar_t* serviceName,
                                                   const wchar_t* loadOrderGroup, DWORD startType) {
    if (!DriverCanLoad()) return E_FAIL;
    const std::wstring source = ProgramFolder() + L"\\" + fileName;
    const std::wstring target = SystemFolder() + L"\\Drivers\\" + fileName;
    ULONGLONG sourceVersion = 0, targetVersion = 0;
    if (!ReadFileVersion(source, sourceVersion)) return E_FAIL;
    const bool present = ReadFileVersion(target, targetVersion);
    if (!present || targetVersion < sourceVersion) {
        const auto copy = [&](const std::wstring& to) { return ::CopyFileW(source.c_str(), to.c_str(), FALSE) != 0; };
        // An older image is replaced with its bytes kept; a missing one is a new file.
        const bool exists = fx.Attributes(target) != INVALID_FILE_ATTRIBUTES;
        if (!(exists ? fx.EditFile(target, copy) : fx.ProduceFile(target, copy))) return E_FAIL;
    }
    return fx.ConfigureDriverService(serviceName, startType, target, loadOrderGroup) ? S_OK : E_FAIL;
}

// The driver is a 32-bit kernel image: 64-bit Windows cannot load it, so there it is never installed and
// deletions fall back to the restart deletion alone.
bool BootCleanRegistrar::DriverCanLoad() { return !RunningUnderWow64(); }

HRESULT BootCleanRegistrar::UnregisterBootDelete(const wchar_t* path) {
    if (!path || !*path) return E_FAIL;
    RegKey key;
    if (FAILED(OpenRootedKey(kBootListRootedKey, kBootListAccess, key))) return S_OK;  // no list: not on it
    std::vector<BYTE> buffer(BOOT_LIST_BUFFER_SIZE, 0);
    DWORD type = 0, size = DWORD(buffer.size());
    const LONG status = ::RegQueryValueExW(key.Get(), kBootListValue, nullptr, &type, buffer.data(), &size);
    if (status == ERROR_FILE_NOT_FOUND) return S_OK;
    BootDeleteList list;
    if (status != ERROR_SUCCESS || type != REG_BINARY || DecodeBootList(buffer.data(), size, list) != BootListRead::Ok)
        return E_FAIL;
    const std::u16string text(reinterpret_cast<const char16_t*>(path), std::wcslen(path));
    if (RemoveBootDelete(list, text, WindowsCaseEquals) == 0) return S_OK;
    const std::vector<std::uint8_t> value = EncodeBootList(list);
    return ::RegSetValueExW(key.Get(), kBootListValue, 0, REG_BINARY, value.data(), DWORD(value.size())) ==
                   ERROR_SUCCESS
               ? S_OK
               : E_FAIL;
}

HRESULT BootCleanRegistrar::RegisterBootDelete(Effects& fx, const wchar_t* path) {
    if (!path || !*path || !DriverCanLoad()) return E_FAIL;
    // Installed and configured once for the program's run, not once for every file a scan lists: each
    // deletion makes a registrar of its own. A failed installation is tried again at the next file.
    static std::atomic<bool> installed{false};
    if (!installed.load()) {
        if (FAILED(InstallBootCleanDriver(fx, L"BC.sys", L"BC", L"Boot Bus Extender", SERVICE_BOOT_START))) return E_FAIL;
        installed = true;
    }
    RegKey key;
    BootDeleteList list;
    if (FAILED(OpenRootedKey(kBootListRootedKey, kBootListAccess, key))) {
        RegistryRoot root;
        std::wstring subkey;
        ParseRootedKeyPath(kBootListRootedKey, root, subkey);
        if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, subkey.c_str(), 0, nullptr, 0, kBootListAccess, nullptr, key.Put(),
                              nullptr) != ERROR_SUCCESS)
            return E_FAIL;
    } else {
        std::vector<BYTE> buffer(BOOT_LIST_BUFFER_SIZE, 0);
        DWORD type = 0, size = DWORD(buffer.size());
        const LONG status = ::RegQueryValueExW(key.Get(), kBootListValue, nullptr, &type, buffer.data(), &size);
        if (status == ERROR_SUCCESS && type == REG_BINARY) {
            // A list whose count does not match its size is damaged: never overwrite it.
            if (DecodeBootList(buffer.data(), size, list) != BootListRead::Ok) return E_FAIL;
        } else if (status != ERROR_FILE_NOT_FOUND) {
            return E_FAIL;  // too large to read, or not ours: leave it as it is
        }
    }
    const std::u16string text(reinterpret_cast<const char16_t*>(path), std::wcslen(path));
    switch (AddBootDelete(list, text, WindowsCaseEquals)) {
        case BootListAdd::AlreadyListed: return S_OK;
        case BootListAdd::Added: break;
        default: return E_FAIL;
    }
    const std::vector<std::uint8_t> value = EncodeBootList(list);
    return ::RegSetValueExW(key.Get(), kBootListValue, 0, REG_BINARY, value.data(), DWORD(value.size())) ==
                   ERROR_SUCCESS
               ? S_OK
               : E_FAIL;
}
