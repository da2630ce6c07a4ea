#pragma once
// CRC-32 (ISO-HDLC, reflected 0xEDB88320) and MD5 (RFC 1321) over memory, and their digest texts.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

// Standard CRC-32 continued from `seed` (0 starts a new one; an empty input gives `seed`). Null data gives 0.
std::uint32_t Crc32(std::uint32_t seed, const void* data, std::size_t length);

// The table-driven form, byte at a time; the fast path is checked against it.
std::uint32_t Crc32Reference(std::uint32_t seed, const void* data, std::size_t length);

using Md5Digest = std::array<std::uint8_t, 16>;

// Incremental MD5 for data that arrives in pieces (files read block by block).
class Md5Context {
public:
    Md5Context();
    void Update(const void* data, std::size_t length);
    // Update that also continues the CRC-32 `crc` over the same bytes (what Crc32(crc, data, length) returns),
    // in one pass where the processor allows.
    std::uint32_t UpdateWithCrc32(std::uint32_t crc, const void* data, std::size_t length);
    Md5Digest Final();

private:
    void Blocks(const std::uint8_t* p, std::size_t count);
    std::uint32_t BlocksFoldingCrc(const std::uint8_t* p, std::size_t count, std::uint32_t reg);
    std::uint32_t m_state[4];
    std::uint64_t m_total = 0;
    std::uint8_t m_pending[64];
    std::size_t m_pendingLen = 0;
};

Md5Digest Md5(const void* data, std::size_t length);

// The CRC-32 and the MD5 of the same bytes in one pass: what Crc32(0, ...) and Md5(...) give.
std::uint32_t Crc32AndMd5(const void* data, std::size_t length, Md5Digest& md5);

// 32 lowercase hexadecimal digits, most significant nibble first.
std::string DigestHex(const Md5Digest& digest);
std::wstring DigestHexWide(const Md5Digest& digest);

// Files above this size are not digested unless a caller forces it.
constexpr std::uint32_t kDigestSizeLimit = 0x500000;

// True when the size rule lets a digest be taken: forced, no limit, or within the limit.
inline bool DigestAllowed(std::uint64_t length, std::uint32_t limit, int force) {
    return force != 0 || limit == 0 || length <= limit;
}

// MD5 of a buffer as wide digest text kept in a buffer owned by this helper (valid until its next call on the
// same thread). False, with the text emptied, for null data or a buffer the size rule refuses.
bool Md5OfBuffer(const void* data, std::size_t length, const wchar_t** text, std::uint32_t limit, int force);

// MD5 of a narrow text (without its terminator). Form 16 gives the 16 digits at positions 9 to 24 of the 32.
std::string Md5OfText(const char* narrowText, int form);
