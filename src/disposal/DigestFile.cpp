#include "disposal/DigestFile.h"

#include <cstring>
#include <vector>

#include "disposal/Digest.h"
#include "disposal/PeImage.h"
#include "util/WinHandle.h"

namespace {

constexpr DWORD kMd5BlockSize = 4096;
constexpr std::uint32_t kCrcFileLimit = 0x500000;  // files from this size on get no CRC

FileHandle OpenForReading(const wchar_t* path, DWORD share) {
    return FileHandle(::CreateFileW(path, GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN,
                                    nullptr));
}

bool ReadExactly(HANDLE file, void* buffer, DWORD size) {
    DWORD got = 0;
    return ::ReadFile(file, buffer, size, &got, nullptr) && got == size;
}

}  // namespace

bool ReadWholeFile(const wchar_t* path, std::uint64_t minExclusive, std::uint64_t maxInclusive,
                   std::vector<std::uint8_t>& bytes) {
    bytes.clear();
    if (!path) return false;
    FileHandle file = OpenForReading(path, FILE_SHARE_READ | FILE_SHARE_WRITE);
    LARGE_INTEGER size = {};
    if (!file || !::GetFileSizeEx(file.Get(), &size) || std::uint64_t(size.QuadPart) <= minExclusive ||
        std::uint64_t(size.QuadPart) > maxInclusive)
        return false;
    bytes.resize(std::size_t(size.QuadPart));
    return bytes.empty() || ReadExactly(file.Get(), bytes.data(), DWORD(bytes.size()));
}

HRESULT Crc32OfFile(const wchar_t* path, std::uint32_t* crc) {
    std::vector<std::uint8_t> bytes;
    if (!crc || !ReadWholeFile(path, 0, kCrcFileLimit - 1, bytes)) return E_FAIL;
    *crc = Crc32(0, bytes.data(), bytes.size());
    return S_OK;
}

int Md5OfFile(const wchar_t* path, const wchar_t** text, std::uint32_t limit, int force) {
    thread_local wchar_t buffer[36];
    std::memset(buffer, 0, sizeof buffer);
    if (text) *text = buffer;
    if (!path) return 1;
    FileHandle file = OpenForReading(path, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    LARGE_INTEGER size = {};
    if (!file || !::GetFileSizeEx(file.Get(), &size) || !DigestAllowed(std::uint64_t(size.QuadPart), limit, force))
        return 1;
    Md5Context ctx;
    unsigned char block[kMd5BlockSize];
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file.Get(), block, kMd5BlockSize, &got, nullptr)) return 1;
        if (got == 0) break;
        ctx.Update(block, got);
    }
    const std::wstring hex = DigestHexWide(ctx.Final());
    std::memcpy(buffer, hex.c_str(), hex.size() * sizeof(wchar_t));
    return 0;
}

bool IsPeFile(const wchar_t* path) {
    if (!path) return false;
    FileHandle file = OpenForReading(path, FILE_SHARE_READ);
    if (!file) return false;
    std::uint8_t dos[64];
    std::uint32_t lfanew = 0;
    if (!ReadExactly(file.Get(), dos, sizeof dos) || !DosHeaderOk(dos, sizeof dos, &lfanew)) return false;
    LARGE_INTEGER at = {};
    at.QuadPart = lfanew;
    if (!::SetFilePointerEx(file.Get(), at, nullptr, FILE_BEGIN)) return false;
    std::uint8_t nt[kNtHeadersProbe];
    return ReadExactly(file.Get(), nt, sizeof nt) && NtSignatureOk(nt, sizeof nt);
}

std::wstring Md5TextOfFile(const wchar_t* path) {
    const wchar_t* text = nullptr;
    return Md5OfFile(path, &text, 0x500000, 0) == 0 && text ? std::wstring(text) : std::wstring();
}

FileDigests DigestsOfFile(const wchar_t* path) {
    FileDigests d;
    if (FAILED(Crc32OfFile(path, &d.crc))) d.crc = 0;
    d.md5 = Md5TextOfFile(path);
    return d;
}
