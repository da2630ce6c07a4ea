#pragma once
// Cheap portable-executable tests over bytes already in memory. Every read is bounds-checked: the bytes come
// from drives and are hostile.
#include <cstddef>
#include <cstdint>

// Reads `size` bytes at `off` only when they lie inside a buffer of `len` bytes.
inline bool InBounds(std::size_t len, std::size_t off, std::size_t size) { return size <= len && off <= len - size; }

inline std::uint16_t ReadLe16(const std::uint8_t* p) { return std::uint16_t(p[0] | p[1] << 8); }
inline std::uint32_t ReadLe32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

constexpr std::size_t kPeMinLength = 100;
constexpr std::size_t kNtHeadersProbe = 248;  // bytes of the NT headers a PE test reads

// "MZ", e_lfanew inside the buffer, and "PE\0\0" there.
bool IsPeImage(const void* data, std::size_t length);

// A PE image whose file header carries the DLL characteristic (0x2000).
bool IsDllImage(const void* data, std::size_t length);

// The two header reads a file test makes: the 64-byte DOS header and the 248 bytes at e_lfanew.
bool DosHeaderOk(const std::uint8_t* header, std::size_t length, std::uint32_t* lfanew);
bool NtSignatureOk(const std::uint8_t* nt, std::size_t length);
