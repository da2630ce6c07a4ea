#include "disposal/Safeguards.h"

#include <wincrypt.h>
#include <mscat.h>
#include <softpub.h>
#include <wintrust.h>

#include <vector>

#include "disposal/ImagePath.h"
#include "util/WinHandle.h"

namespace {

// {F750E6C3-38EE-11D1-85E5-00C04FC295EE}: driver verification; {00AAC56B-CD44-11D0-8CC2-00C04FC295EE}: Authenticode.
const GUID kDriverAction = {0xF750E6C3, 0x38EE, 0x11D1, {0x85, 0xE5, 0x00, 0xC0, 0x4F, 0xC2, 0x95, 0xEE}};
const GUID kGenericAction = {0x00AAC56B, 0xCD44, 0x11D0, {0x8C, 0xC2, 0x00, 0xC0, 0x4F, 0xC2, 0x95, 0xEE}};
constexpr DWORD kProviderFlags = 0x10;
constexpr DWORD kInitialHashSize = 100;

typedef BOOL(WINAPI* AcquireContextFn)(HCATADMIN*, const GUID*, DWORD);
typedef BOOL(WINAPI* ReleaseContextFn)(HCATADMIN, DWORD);
typedef BOOL(WINAPI* ReleaseCatalogContextFn)(HCATADMIN, HCATINFO, DWORD);
typedef BOOL(WINAPI* CatalogInfoFn)(HCATINFO, CATALOG_INFO*, DWORD);
typedef BOOL(WINAPI* CalcHashFn)(HANDLE, DWORD*, BYTE*, DWORD);
typedef HCATINFO(WINAPI* EnumCatalogFn)(HCATADMIN, BYTE*, DWORD, DWORD, HCATINFO*);
typedef LONG(WINAPI* VerifyTrustFn)(HWND, GUID*, LPVOID);

struct TrustApi {
    AcquireContextFn acquire = nullptr;
    ReleaseContextFn release = nullptr;
    ReleaseCatalogContextFn releaseCatalog = nullptr;
    CatalogInfoFn catalogInfo = nullptr;
    CalcHashFn calcHash = nullptr;
    EnumCatalogFn enumCatalog = nullptr;
    VerifyTrustFn verify = nullptr;
    bool Complete() const {
        return acquire && release && releaseCatalog && catalogInfo && calcHash && enumCatalog && verify;
    }
};

LibraryCache g_libraries;

template <typename Fn>
Fn Resolve(const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(g_libraries.Lookup(L"wintrust.dll", name)));
}

const TrustApi& Api() {
    static const TrustApi api = [] {
        TrustApi a;
        a.acquire = Resolve<AcquireContextFn>("CryptCATAdminAcquireContext");
        a.release = Resolve<ReleaseContextFn>("CryptCATAdminReleaseContext");
        a.releaseCatalog = Resolve<ReleaseCatalogContextFn>("CryptCATAdminReleaseCatalogContext");
        a.catalogInfo = Resolve<CatalogInfoFn>("CryptCATCatalogInfoFromContext");
        a.calcHash = Resolve<CalcHashFn>("CryptCATAdminCalcHashFromFileHandle");
        a.enumCatalog = Resolve<EnumCatalogFn>("CryptCATAdminEnumCatalogFromHash");
        a.verify = Resolve<VerifyTrustFn>("WinVerifyTrust");
        return a;
    }();
    return api;
}

// One trust decision without user interface or revocation checks, cached by the provider.
LONG Verify(const TrustApi& api, const GUID& action, WINTRUST_FILE_INFO* file, WINTRUST_CATALOG_INFO* catalog) {
    WINTRUST_DATA data = {};
    data.cbStruct = sizeof data;
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = file ? WTD_CHOICE_FILE : WTD_CHOICE_CATALOG;
    if (file)
        data.pFile = file;
    else
        data.pCatalog = catalog;
    data.dwStateAction = WTD_STATEACTION_AUTO_CACHE;
    data.dwProvFlags = kProviderFlags;
    GUID copy = action;
    return api.verify(static_cast<HWND>(INVALID_HANDLE_VALUE), &copy, &data);
}

LONG VerifyEmbedded(const TrustApi& api, const wchar_t* path, const GUID& action) {
    WINTRUST_FILE_INFO file = {};
    file.cbStruct = sizeof file;
    file.pcwszFilePath = path;
    return Verify(api, action, &file, nullptr);
}

class SystemTrust final : public TrustVerifier {
public:
    LONG Verify(const wchar_t* path) override { return VerifyFileTrust(path); }
};

}  // namespace

FARPROC LibraryCache::Lookup(const wchar_t* library, const char* function) {
    HMODULE module = nullptr;
    for (int i = 0; i < m_count; ++i)
        if (lstrcmpiW(m_entries[i].name.c_str(), library) == 0) module = m_entries[i].module;
    if (!module) {
        if (m_count >= kMaxLibraries) return nullptr;
        module = ::LoadLibraryW(library);
        if (!module) return nullptr;
        m_entries[m_count].name = library;
        m_entries[m_count].module = module;
        ++m_count;
    }
    return ::GetProcAddress(module, function);
}

LONG VerifyFileTrust(const wchar_t* path) {
    const TrustApi& api = Api();
    if (!api.Complete() || !path) return -1;
    HCATADMIN admin = nullptr;
    if (!api.acquire(&admin, &kDriverAction, 0)) return LONG(::GetLastError());
    LONG result = 0;
    std::vector<BYTE> hash(kInitialHashSize);
    DWORD hashSize = kInitialHashSize;
    bool hashed = false;
    {
        FileHandle file(::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        if (!file) {
            result = LONG(::GetLastError());
            api.release(admin, 0);
            return result;
        }
        for (;;) {
            if (api.calcHash(file.Get(), &hashSize, hash.data(), 0)) {
                hashed = true;
                break;
            }
            const DWORD error = ::GetLastError();
            if (error != ERROR_INSUFFICIENT_BUFFER || hashSize <= hash.size()) {
                result = LONG(error ? error : ERROR_INSUFFICIENT_BUFFER);
                break;
            }
            hash.resize(hashSize);
        }
    }
    bool verified = false;
    if (hashed) {
        // The member tag is the file's name, lowercased.
        std::wstring tag = path;
        const std::size_t cut = tag.find_last_of(L"\\/:");
        if (cut != std::wstring::npos) tag = tag.substr(cut + 1);
        if (tag.size() > MAX_PATH) tag.resize(MAX_PATH);
        if (!tag.empty()) ::CharLowerBuffW(&tag[0], DWORD(tag.size()));
        HCATINFO catalog = api.enumCatalog(admin, hash.data(), hashSize, 0, nullptr);
        while (catalog && !verified) {
            CATALOG_INFO info = {};
            info.cbStruct = sizeof info;
            if (api.catalogInfo(catalog, &info, 0)) {
                WINTRUST_CATALOG_INFO member = {};
                member.cbStruct = sizeof member;
                member.pcwszCatalogFilePath = info.wszCatalogFile;
                member.pcwszMemberFilePath = path;
                member.pcwszMemberTag = tag.c_str();
                member.pbCalculatedFileHash = hash.data();
                member.cbCalculatedFileHash = hashSize;
                result = Verify(api, kDriverAction, nullptr, &member);
                verified = result == 0;
            }
            if (verified) {
                api.releaseCatalog(admin, catalog, 0);
                break;
            }
            HCATINFO previous = catalog;
            catalog = api.enumCatalog(admin, hash.data(), hashSize, 0, &previous);
        }
    }
    // Not in a catalog (or no hash could be taken): the file's own signature decides.
    if (!verified) {
        result = VerifyEmbedded(api, path, kDriverAction);
        if (result != 0) result = VerifyEmbedded(api, path, kGenericAction);
    }
    api.release(admin, 0);
    ::SetLastError(DWORD(result));
    return result;
}

namespace {
class SfcGuard final : public SystemFileGuard {
public:
    bool IsProtected(const wchar_t* path) override {
        using IsProtectedFn = BOOL(WINAPI*)(HANDLE, LPCWSTR);
        static const IsProtectedFn check = [] {
            HMODULE sfc = ::LoadLibraryW(L"sfc.dll");
            return sfc ? reinterpret_cast<IsProtectedFn>(reinterpret_cast<void*>(::GetProcAddress(sfc, "SfcIsFileProtected")))
                       : nullptr;
        }();
        return check && path && check(nullptr, path);
    }
};

bool SameDriveLetter(wchar_t a, wchar_t b) { return (a | 0x20) == (b | 0x20) && ((a | 0x20) >= L'a' && (a | 0x20) <= L'z'); }
}  // namespace

SystemFileGuard& RealSystemFileGuard() {
    static SfcGuard guard;
    return guard;
}

bool MayDisposeNamedFile(const std::wstring& path, const std::wstring& drive, SystemFileGuard& guard,
                         TrustVerifier& trust) {
    if (path.empty() || drive.size() < 2 || drive[1] != L':') return false;
    wchar_t full[MAX_PATH] = {};
    const DWORD n = ::GetFullPathNameW(path.c_str(), MAX_PATH, full, nullptr);
    if (n == 0 || n >= MAX_PATH) return false;
    const std::wstring resolved(full, n);
    if (resolved.size() < 4 || resolved[1] != L':' || resolved[2] != L'\\' || !SameDriveLetter(resolved[0], drive[0]))
        return false;
    if (IsProtectedLocation(resolved) || guard.IsProtected(resolved.c_str())) return false;
    return trust.Verify(resolved.c_str()) != 0;
}

TrustVerifier& RealTrustVerifier() {
    static SystemTrust trust;
    return trust;
}
