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
