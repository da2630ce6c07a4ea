/* A stand-in for "wintrust.dll" in the test prefixes, never shipped. Wine's WinVerifyTrust answers "trusted"
   for every file when the provider caches its state, which is how the program asks; Windows answers
   TRUST_E_NOSIGNATURE for a file that is in no catalog and has no embedded signature. This library answers as
   Windows does: no file is in a catalog, and a file is signed only when it ends with the test signature
   below, which tests append to a file they want trusted. tests/wine/prefix.sh installs it in the prefix and
   selects it for the project's programs only. */
#include <windows.h>
#include <wincrypt.h>
#include <mscat.h>
#include <wintrust.h>

static const char kTestSignature[] = "<<veludisk test signature>>";
#define SIGNATURE_LENGTH (sizeof kTestSignature - 1)
#define HASH_LENGTH 20

static BOOL EndsWithTestSignature(HANDLE file) {
    LARGE_INTEGER size, at;
    char tail[SIGNATURE_LENGTH];
    DWORD read = 0;
    if (!GetFileSizeEx(file, &size) || size.QuadPart < (LONGLONG)SIGNATURE_LENGTH) return FALSE;
    at.QuadPart = size.QuadPart - (LONGLONG)SIGNATURE_LENGTH;
    if (!SetFilePointerEx(file, at, NULL, FILE_BEGIN)) return FALSE;
    if (!ReadFile(file, tail, SIGNATURE_LENGTH, &read, NULL) || read != SIGNATURE_LENGTH) return FALSE;
    return memcmp(tail, kTestSignature, SIGNATURE_LENGTH) == 0;
}

LONG WINAPI WinVerifyTrust(HWND window, GUID* action, LPVOID data) {
    WINTRUST_DATA* trust = (WINTRUST_DATA*)data;
    HANDLE file;
    LONG result;
    (void)window;
    (void)action;
    if (!trust) return ERROR_INVALID_PARAMETER;
    if (trust->dwStateAction == WTD_STATEACTION_CLOSE) return ERROR_SUCCESS;
    if (trust->dwUnionChoice != WTD_CHOICE_FILE || !trust->pFile || !trust->pFile->pcwszFilePath)
        return TRUST_E_NOSIGNATURE;
    file = CreateFileW(trust->pFile->pcwszFilePath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                       OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) return (LONG)HRESULT_FROM_WIN32(GetLastError());
    result = EndsWithTestSignature(file) ? ERROR_SUCCESS : TRUST_E_NOSIGNATURE;
    CloseHandle(file);
    return result;
}

BOOL WINAPI CryptCATAdminAcquireContext(HCATADMIN* admin, const GUID* subsystem, DWORD flags) {
    (void)subsystem;
    (void)flags;
    if (!admin) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *admin = (HCATADMIN)(ULONG_PTR)0x5eed;
    return TRUE;
}

BOOL WINAPI CryptCATAdminReleaseContext(HCATADMIN admin, DWORD flags) {
    (void)flags;
    return admin != NULL;
}

BOOL WINAPI CryptCATAdminReleaseCatalogContext(HCATADMIN admin, HCATINFO catalog, DWORD flags) {
    (void)admin;
    (void)catalog;
    (void)flags;
    return TRUE;
}

BOOL WINAPI CryptCATCatalogInfoFromContext(HCATINFO catalog, CATALOG_INFO* info, DWORD flags) {
    (void)catalog;
    (void)info;
    (void)flags;
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

/* A SHA-1-sized hash of the file's bytes; only its size matters, since no catalog holds it. */
BOOL WINAPI CryptCATAdminCalcHashFromFileHandle(HANDLE file, DWORD* size, BYTE* hash, DWORD flags) {
    BYTE buffer[4096];
    DWORD read = 0, i, n = 0;
    (void)flags;
    if (!size || file == INVALID_HANDLE_VALUE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!hash || *size < HASH_LENGTH) {
        *size = HASH_LENGTH;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    memset(hash, 0, HASH_LENGTH);
    while (ReadFile(file, buffer, sizeof buffer, &read, NULL) && read)
        for (i = 0; i < read; ++i, ++n) hash[n % HASH_LENGTH] = (BYTE)(hash[n % HASH_LENGTH] * 31 + buffer[i]);
    *size = HASH_LENGTH;
    return TRUE;
}

HCATINFO WINAPI CryptCATAdminEnumCatalogFromHash(HCATADMIN admin, BYTE* hash, DWORD size, DWORD flags,
                                                 HCATINFO* previous) {
    (void)admin;
    (void)hash;
    (void)size;
    (void)flags;
    (void)previous;
    SetLastError(ERROR_NOT_FOUND);
    return NULL;
}
