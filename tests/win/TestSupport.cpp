#include "TestSupport.h"

#include "disposal/Digest.h"
#include "support/CrcForge.h"

#include <objbase.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>

#include "log/LogFormat.h"
#include "util/WinHandle.h"

ScratchDir::ScratchDir(const wchar_t* drive) {
    static unsigned counter = 0;
    m_path = std::wstring(drive) + L"\\t" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
             std::to_wstring(++counter);
    RemoveTree(m_path);
    ::CreateDirectoryW(m_path.c_str(), nullptr);
}

ScratchDir::~ScratchDir() { RemoveTree(m_path); }

void RemoveTree(const std::wstring& path) {
    // Through "\\?\": a cleaner under test may have made folders with reserved names such as "con".
    const bool drivePath = path.size() >= 3 && path[1] == L':' && path[2] == L'\\';
    const std::wstring literal = drivePath ? L"\\\\?\\" + path : path;
    WIN32_FIND_DATAW data;
    FindHandle find(::FindFirstFileW((literal + L"\\*").c_str(), &data));
    if (find) {
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring child = path + L"\\" + name;
            const std::wstring literalChild = literal + L"\\" + name;
            ::SetFileAttributesW(literalChild.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
                ::DeleteFileW(literalChild.c_str());
        } while (::FindNextFileW(find.Get(), &data));
    }
    ::SetFileAttributesW(literal.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::RemoveDirectoryW(literal.c_str());
}

bool WriteBytes(const std::wstring& path, const std::vector<unsigned char>& bytes) {
    FileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file && (bytes.empty() || ::WriteFile(file.Get(), bytes.data(), DWORD(bytes.size()), &written, nullptr)) &&
           written == bytes.size();
}

bool WriteBytes(const std::wstring& path, const std::string& bytes) {
    return WriteBytes(path, std::vector<unsigned char>(bytes.begin(), bytes.end()));
}

std::vector<unsigned char> ReadBytes(const std::wstring& path) {
    FileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, 0, nullptr));
    std::vector<unsigned char> bytes;
    if (!file) return bytes;
    unsigned char block[65536];
    DWORD got = 0;
    while (::ReadFile(file.Get(), block, sizeof block, &got, nullptr) && got) bytes.insert(bytes.end(), block, block + got);
    return bytes;
}

std::string ReadText(const std::wstring& path) {
    const auto bytes = ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

bool FileExists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::vector<unsigned char> PatternBytes(std::size_t size, unsigned seed) {
    std::vector<unsigned char> bytes(size);
    unsigned x = seed * 2654435761u + 1;
    for (auto& b : bytes) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<unsigned char>(x);
    }
    return bytes;
}

std::string Hex(const std::string& bytes) {
    std::string out;
    char buf[3];
    for (unsigned char c : bytes) {
        std::snprintf(buf, sizeof buf, "%02x", c);
        out += buf;
    }
    return out;
}

std::string TodayStamp() {
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    const std::wstring w = FormatDateStamp(now.wYear, now.wMonth, now.wDay);
    return std::string(w.begin(), w.end());
}

ChildProcess StartProcess(const std::wstring& exe, const std::wstring& args) {
    std::wstring command = L"\"" + exe + L"\" " + args;
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    ChildProcess child;
    if (::CreateProcessW(exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        ::CloseHandle(pi.hThread);
        child.process.Reset(pi.hProcess);
        child.pid = pi.dwProcessId;
    }
    return child;
}

bool StillRunning(ChildProcess& child) { return ::WaitForSingleObject(child.process.Get(), 0) == WAIT_TIMEOUT; }

// A shell link at `lnk` that starts `target` with "/run".
bool MakeShortcut(const std::wstring& lnk, const std::wstring& target) {
    if (FAILED(::CoInitialize(nullptr))) return false;
    bool ok = false;
    IShellLinkW* link = nullptr;
    if (SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                     reinterpret_cast<void**>(&link)))) {
        link->SetPath(target.c_str());
        link->SetArguments(L"/run");
        IPersistFile* file = nullptr;
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
            ok = SUCCEEDED(file->Save(lnk.c_str(), TRUE));
            file->Release();
        }
        link->Release();
    }
    ::CoUninitialize();
    return ok;
}

std::vector<unsigned char> BytesWithCrc(std::size_t size, std::uint32_t crc, unsigned seed) {
    std::vector<unsigned char> bytes = PatternBytes(size - 4, seed);
    const auto suffix = ForgeCrc32Suffix(Crc32(0, bytes.data(), bytes.size()), crc);
    bytes.insert(bytes.end(), suffix.begin(), suffix.end());
    return bytes;
}

bool BootDiskIsStandIn() {
    FileHandle disk(::CreateFileW(kFirstDisk, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                  nullptr));
    if (!disk) return false;
    char sector[512] = {};
    LARGE_INTEGER at;
    at.QuadPart = 1024;
    DWORD read = 0;
    if (!::SetFilePointerEx(disk.Get(), at, nullptr, FILE_BEGIN) ||
        !::ReadFile(disk.Get(), sector, sizeof sector, &read, nullptr) || read != sizeof sector)
        return false;
    return std::memcmp(sector, kTestDiskMarker, sizeof kTestDiskMarker - 1) == 0;
}
