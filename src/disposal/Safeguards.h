#pragma once
// Whether a file is signed by a trusted publisher, through a security catalog or its own signature.
#include <windows.h>

#include <string>

// 0 trusted; otherwise the system error or trust-provider result, or -1 when trust verification is not
// available on this system.
LONG VerifyFileTrust(const wchar_t* path);

// The seam the cleaners use, so tests can decide trust (Wine trusts self-signed files).
class TrustVerifier {
public:
    virtual ~TrustVerifier() = default;
    virtual LONG Verify(const wchar_t* path) = 0;
};
TrustVerifier& RealTrustVerifier();

// Whether Windows File Protection guards a file. Bound at run time from "sfc.dll"; tests stand in for it.
class SystemFileGuard {
public:
    virtual ~SystemFileGuard() = default;
    virtual bool IsProtected(const wchar_t* path) = 0;
};
SystemFileGuard& RealSystemFileGuard();

// Whether a file that a drive's content names (an autorun value, a shortcut's target) may be disposed of on
// that word: it lies on `drive` ("U:" or "U:\", the drive that named it, "..\" resolved), in no protected
// location, is not protected by the system and does not pass the trust check. A stick is hostile: what it
// names elsewhere, or what the system owns, is never removed because the stick says so.
bool MayDisposeNamedFile(const std::wstring& path, const std::wstring& drive, SystemFileGuard& guard,
                         TrustVerifier& trust);

// Entry points of system libraries loaded by name at first use: at most five libraries are held, each
// resolved function is kept for the program's life.
class LibraryCache {
public:
    static constexpr int kMaxLibraries = 5;
    FARPROC Lookup(const wchar_t* library, const char* function);
    int LibraryCount() const { return m_count; }

private:
    struct Entry {
        std::wstring name;
        HMODULE module = nullptr;
    };
    Entry m_entries[kMaxLibraries];
    int m_count = 0;
};
