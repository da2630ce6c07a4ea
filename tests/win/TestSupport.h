#pragma once
// Files and folders for tests that run under Wine, on the test drives of the throwaway prefix.
#include <windows.h>

#include <cstdint>
#include <string>

#include "util/WinHandle.h"
#include <vector>

// A folder of its own on the removable test drive U:, removed with everything in it at the end.
class ScratchDir {
public:
    explicit ScratchDir(const wchar_t* drive = L"U:");
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::wstring& Path() const { return m_path; }
    std::wstring operator/(const std::wstring& name) const { return m_path + L"\\" + name; }

private:
    std::wstring m_path;
};

void RemoveTree(const std::wstring& path);
bool WriteBytes(const std::wstring& path, const std::vector<unsigned char>& bytes);
bool WriteBytes(const std::wstring& path, const std::string& bytes);
std::vector<unsigned char> ReadBytes(const std::wstring& path);
std::string ReadText(const std::wstring& path);
bool FileExists(const std::wstring& path);
// A shell link at `lnk` that starts `target`.
bool MakeShortcut(const std::wstring& lnk, const std::wstring& target);
std::vector<unsigned char> PatternBytes(std::size_t size, unsigned seed = 1);
// `size` bytes (at least 4) whose CRC-32 is `crc`: a stand-in for a listed worm without carrying the worm.
constexpr std::uint32_t kListedCrc = 0x08FFD97D;  // the first value of the shipped blacklist
std::vector<unsigned char> BytesWithCrc(std::size_t size, std::uint32_t crc = kListedCrc, unsigned seed = 1);
std::string Hex(const std::string& bytes);
// What the test prefixes' "wintrust.dll" stand-in takes for a valid signature: a file that ends with it is
// trusted, any other is unsigned (tests/win/wintrust_standin.c).
constexpr char kTestSignature[] = "<<veludisk test signature>>";
// A program started for a test: "exe" args, with the test's environment.
struct ChildProcess {
    UniqueHandle<KernelHandleTraits> process;
    DWORD pid = 0;
};
ChildProcess StartProcess(const std::wstring& exe, const std::wstring& args);
bool StillRunning(ChildProcess& child);

// Today's log date stamp as the logger writes it.
std::string TodayStamp();

// Whether "\\.\PhysicalDrive0" reaches the prefix's own disk image (tests/wine/prefix.sh): its marker in sector
// 2 is there. Nothing may read or write the first disk in a test before this holds.
constexpr char kTestDiskMarker[] = "VELUDISK TEST DISK STAND-IN";
constexpr wchar_t kFirstDisk[] = L"\\\\.\\PhysicalDrive0";
bool BootDiskIsStandIn();
