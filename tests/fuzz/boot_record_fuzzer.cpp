// Any first 4096 bytes of a disk and any backup sector: the check names a variant or nothing, and a planned
// repair never changes what the variant's repair keeps. Input: the window, then the stored backup sector
// (missing bytes are zeros), then one byte of flags (bit 0: the window read failed, bit 1: no backup).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "cleaners/system/BootRecordCore.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> window(kDiskWindowSize), backup(kSectorSize);
    std::size_t used = 0;
    const std::size_t w = size < kDiskWindowSize ? size : kDiskWindowSize;
    std::memcpy(window.data(), data, w);
    used = w;
    const std::size_t b = size - used < kSectorSize ? size - used : kSectorSize;
    std::memcpy(backup.data(), data + used, b);
    used += b;
    const std::uint8_t flags = used < size ? data[used] : 0;
    const bool read = !(flags & 1);
    const std::uint8_t* stored = (flags & 2) ? nullptr : backup.data();
    if (!read) std::memset(window.data(), 0, window.size());  // a failed read leaves the buffer zero

    const int variant = AnalyseBootRecord(window.data(), read, stored);
    if (variant < 0 || variant > 6) std::abort();
    const std::vector<std::uint8_t> code(kBootCodeSize, 0x90);
    for (int v = 0; v <= 7; ++v) {
        std::uint8_t out[kSectorSize];
        if (!PlanBootRecordRepair(v, window.data(), stored, code.data(), code.size(), out)) continue;
        const std::size_t kept = v == 1 ? 384 : (v >= 2 && v <= 4) ? 446 : 440;
        if (std::memcmp(out + kept, window.data() + kept, kSectorSize - kept) != 0) std::abort();
        if (v >= 2 && v <= 4 && !stored) std::abort();
        if (v == 0 || v == 7) std::abort();
    }
    return 0;
}
