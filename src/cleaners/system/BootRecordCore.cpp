#include "cleaners/system/BootRecordCore.h"

#include <cstdio>
#include <cstring>

#include "disposal/Digest.h"

namespace {

const std::uint8_t kA0[] = {0xEB, 0x10, 0x01, 0x00};
const std::uint8_t kA1[] = {0x6C, 0x69, 0x64, 0x20};  // "lid "
const std::uint8_t kA2[] = {0x4D, 0x5A, 0x80, 0x00};  // an "MZ" header
const ByteSignature kSetA[] = {{0x000, 4, kA0}, {0x330, 4, kA1}, {0x800, 4, kA2}};
const std::uint8_t kB0[] = {0x33, 0xC0, 0x8E, 0xD0, 0xBC, 0x00, 0x7C, 0xFB};
const std::uint8_t kB1[] = {0x00, 0xB4, 0x08, 0xCD, 0x13, 0x72, 0x23, 0x8A};
const std::uint8_t kB2[] = {0x74, 0x65, 0x6D, 0x00, 0x00, 0x00, 0x00, 0x00};
const ByteSignature kSetB[] = {{0x200, 8, kB0}, {0x2A0, 8, kB1}, {0x378, 8, kB2}};

// Variants 2, 3 and 4 by their CRC, each only with a usable backup sector.
const std::uint32_t kBackupVariantCrcs[] = {0x76123FC3u, 0x13300753u, 0xF154E8DEu};
// Variant 5: the table as it stands (0xDC902D29 twice), then the values kept as decimal text.
const std::uint32_t kVariant5Crcs[] = {0xDC902D29u, 0xF83A9B29u, 0xDC902D29u, 0x0A2A019Fu};
const char* const kVariant5Texts[] = {"3879804057", "3805933081", "3484933759", "3484831608",
                                      "1856553801", "3094377057", "1744287236"};
const char kVariant6Text[] = "1244611884";

constexpr std::size_t kCrcBytes = 352;
constexpr std::size_t kFirstPartitionBoot = 446;
constexpr std::size_t kDecodedKeep = 446;    // boot code, disk signature and the two bytes after it
constexpr std::size_t kVariant1Replace = 384;  // taken from the first bytes of sector 1

bool EndsInBootSignature(const std::uint8_t* sector) { return sector[510] == 0x55 && sector[511] == 0xAA; }

bool BackupUsable(const std::uint8_t* backupRaw) {
    if (!backupRaw) return false;
    std::uint8_t decoded[kSectorSize];
    DecodeBackupSector(backupRaw, decoded, kSectorSize);
    return EndsInBootSignature(decoded);
}

}  // namespace

bool SignatureSetMatches(const std::uint8_t* window, std::size_t windowSize, const ByteSignature* set, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const ByteSignature& s = set[i];
        if (s.length > windowSize || s.offset > windowSize - s.length) return false;
        if (std::memcmp(window + s.offset, s.expected, s.length) != 0) return false;
    }
    return true;
}

void DecodeBackupSector(const std::uint8_t* raw, std::uint8_t* decoded, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) decoded[i] = std::uint8_t(((raw[i] << 4) | (raw[i] >> 4)) & 0xFF);
}

std::uint32_t BootRecordCrc(const std::uint8_t* window) { return Crc32(0, window, kCrcBytes); }

int AnalyseBootRecord(const std::uint8_t* window, bool windowRead, const std::uint8_t* backupRaw) {
    if (windowRead && SignatureSetMatches(window, kDiskWindowSize, kSetA, 3) &&
        SignatureSetMatches(window, kDiskWindowSize, kSetB, 3))
        return 1;
    const std::uint32_t crc = BootRecordCrc(window);
    for (int i = 0; i < 3; ++i)
        if (crc == kBackupVariantCrcs[i] && BackupUsable(backupRaw)) return 2 + i;
    const bool activeBootable = EndsInBootSignature(window) && window[kFirstPartitionBoot] == 0x80;
    char text[16];
    std::snprintf(text, sizeof text, "%u", unsigned(crc));
    bool variant5 = false;
    for (std::uint32_t value : kVariant5Crcs) variant5 = variant5 || crc == value;
    for (const char* value : kVariant5Texts) variant5 = variant5 || std::strcmp(text, value) == 0;
    if (variant5 && activeBootable) return 5;
    if (std::strcmp(text, kVariant6Text) == 0 && activeBootable) return 6;
    return 0;
}

int BootCodeResourceFor(int versionClass) {
    if (versionClass == 1) return kBootCodeXpResource;
    if (versionClass == 2 || versionClass == 3) return kBootCodeVistaResource;
    return 0;
}

bool PlanBootRecordRepair(int variant, const std::uint8_t* window, const std::uint8_t* backupRaw,
                          const std::uint8_t* bootCode, std::size_t bootCodeSize, std::uint8_t* sector0) {
    std::memcpy(sector0, window, kSectorSize);
    switch (variant) {
        case 1:
            std::memcpy(sector0, window + kSectorSize, kVariant1Replace);
            return true;
        case 2:
        case 3:
        case 4: {
            if (!BackupUsable(backupRaw)) return false;
            std::uint8_t decoded[kSectorSize];
            DecodeBackupSector(backupRaw, decoded, kSectorSize);
            std::memcpy(sector0, decoded, kDecodedKeep);
            return true;
        }
        case 5:
        case 6:
            if (!bootCode || bootCodeSize != kBootCodeSize) return false;
            std::memcpy(sector0, bootCode, kBootCodeSize);
            return true;
        default:
            return false;
    }
}
