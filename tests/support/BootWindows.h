#pragma once
// Crafted first sectors of a disk for the boot-record tests: sector 0 with a chosen CRC over its first 352
// bytes, the signature sets of the newest variant, a backup sector stored nibble-swapped. Harmless bytes that
// only carry the marks the check looks for.
#include <cstdint>
#include <cstring>
#include <vector>

#include "cleaners/system/BootRecordCore.h"
#include "disposal/Digest.h"
#include "support/CrcForge.h"

// A plausible clean disk start: boot code bytes, a disk signature, one active partition, 0x55 0xAA.
inline std::vector<std::uint8_t> CleanDiskWindow() {
    std::vector<std::uint8_t> w(kDiskWindowSize);
    for (std::size_t i = 0; i < w.size(); ++i) w[i] = std::uint8_t(i * 7 + 3);
    w[440] = 0x11, w[441] = 0x22, w[442] = 0x33, w[443] = 0x44;
    w[446] = 0x80;  // first partition active
    w[510] = 0x55, w[511] = 0xAA;
    return w;
}

// Bytes 348..351 chosen so that the CRC-32 of bytes 0..351 is `crc`.
inline void ForgeBootRecordCrc(std::vector<std::uint8_t>& w, std::uint32_t crc) {
    const auto tail = ForgeCrc32Suffix(Crc32(0, w.data(), 348), crc);
    std::memcpy(&w[348], tail.data(), 4);
}

inline void PutBytes(std::vector<std::uint8_t>& w, std::size_t at, std::initializer_list<std::uint8_t> bytes) {
    std::size_t i = at;
    for (std::uint8_t b : bytes) w[i++] = b;
}

inline void PutSetA(std::vector<std::uint8_t>& w) {
    PutBytes(w, 0x000, {0xEB, 0x10, 0x01, 0x00});
    PutBytes(w, 0x330, {0x6C, 0x69, 0x64, 0x20});
    PutBytes(w, 0x800, {0x4D, 0x5A, 0x80, 0x00});
}

inline void PutSetB(std::vector<std::uint8_t>& w) {
    PutBytes(w, 0x200, {0x33, 0xC0, 0x8E, 0xD0, 0xBC, 0x00, 0x7C, 0xFB});
    PutBytes(w, 0x2A0, {0x00, 0xB4, 0x08, 0xCD, 0x13, 0x72, 0x23, 0x8A});
    PutBytes(w, 0x378, {0x74, 0x65, 0x6D, 0x00, 0x00, 0x00, 0x00, 0x00});
}

inline std::vector<std::uint8_t> VariantOneWindow() {
    std::vector<std::uint8_t> w = CleanDiskWindow();
    PutSetA(w);
    PutSetB(w);
    return w;
}

// A clean sector 0 as a bootkit of variants 2 to 4 keeps it: every byte's nibbles swapped.
inline std::vector<std::uint8_t> StoredBackupSector(bool usable = true) {
    std::vector<std::uint8_t> clean(kSectorSize), stored(kSectorSize);
    for (std::size_t i = 0; i < clean.size(); ++i) clean[i] = std::uint8_t(0xC0 + i % 61);
    clean[510] = usable ? 0x55 : 0x00;
    clean[511] = 0xAA;
    for (std::size_t i = 0; i < clean.size(); ++i) stored[i] = std::uint8_t((clean[i] << 4) | (clean[i] >> 4));
    return stored;
}

// A window whose sector 0 carries `crc` and is bootable from an active first partition.
inline std::vector<std::uint8_t> WindowWithCrc(std::uint32_t crc) {
    std::vector<std::uint8_t> w = CleanDiskWindow();
    ForgeBootRecordCrc(w, crc);
    return w;
}

// A disk image: the window, then zeros up to and past the backup sector, which holds `backup` when given.
inline std::vector<std::uint8_t> DiskImage(const std::vector<std::uint8_t>& window,
                                           const std::vector<std::uint8_t>* backup = nullptr) {
    std::vector<std::uint8_t> image(64 * 1024);
    std::memcpy(image.data(), window.data(), window.size());
    if (backup) std::memcpy(&image[kBackupSectorOffset], backup->data(), backup->size());
    return image;
}
