#pragma once
// The boot-record bootkits of the "鬼影" family: recognising one in the first 4096 bytes of a disk and the
// 512 bytes that repair sector 0. Pure functions over bytes; the disk is read and written elsewhere.
#include <cstddef>
#include <cstdint>

constexpr std::size_t kDiskWindowSize = 4096;  // sectors 0 to 7
constexpr std::size_t kSectorSize = 512;
// Variants 2 to 4 keep the clean boot record here (LBA 38), every byte's nibbles swapped.
constexpr std::uint64_t kBackupSectorOffset = 0x4C00;
constexpr std::size_t kBootCodeSize = 440;
// The standard boot code resources (type "BINARYTYPE"): Windows XP, and Windows Vista / 7.
constexpr int kBootCodeXpResource = 233;
constexpr int kBootCodeVistaResource = 234;

// An expected byte run at an offset of the window.
struct ByteSignature {
    std::uint32_t offset;
    std::uint32_t length;
    const std::uint8_t* expected;
};

// Every entry lies inside the window and its bytes are there; an entry that does not fit fails the set.
bool SignatureSetMatches(const std::uint8_t* window, std::size_t windowSize, const ByteSignature* set, std::size_t count);

// Swaps the two nibbles of every byte of a backup sector back.
void DecodeBackupSector(const std::uint8_t* raw, std::uint8_t* decoded, std::size_t size);

// The CRC-32 of bytes 0..351 of sector 0: what the variants are told apart by.
std::uint32_t BootRecordCrc(const std::uint8_t* window);

// 0 none, 1 to 6 the variant. `window` is the first 4096 bytes of the disk (zeros when the read failed:
// `windowRead` false); `backupRaw` the 512 bytes at the backup offset as stored, or null when they could not
// be read in full.
int AnalyseBootRecord(const std::uint8_t* window, bool windowRead, const std::uint8_t* backupRaw);

// The boot code resource for a Windows version class (1 XP, 2 Vista, 3 Windows 7), 0 for any other.
int BootCodeResourceFor(int versionClass);

// The sector 0 that repairs `variant`, from the window it was found in. False when there is nothing to write:
// no usable backup sector (variants 2 to 4), no boot code of exactly 440 bytes (5 and 6), any other variant.
// What the repair does not replace stays as sector 0 has it.
bool PlanBootRecordRepair(int variant, const std::uint8_t* window, const std::uint8_t* backupRaw,
                          const std::uint8_t* bootCode, std::size_t bootCodeSize, std::uint8_t* sector0);
