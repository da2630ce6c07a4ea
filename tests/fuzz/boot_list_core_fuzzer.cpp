// The boot-clean driver's reading of a stored list, as the kernel runs it: whatever the value holds, no read
// leaves it, every target it acts on is a plain "\??\X:\..." path, and what it writes back is a sound list no
// longer than what was stored, holding exactly the entries it had no reason to take off.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/BootListCore.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > BOOT_LIST_BUFFER_SIZE) return 0;
    const std::vector<std::uint8_t> stored(data, data + size);  // exactly as long as the value: reads beyond it fault
    BlU32 count = 0;
    if (!BlListSound(stored.data(), BlU32(size), &count)) return 0;
    std::vector<BlItem> items(count);
    BlU32 expectKept = 0;
    for (BlU32 i = 0; i < count; ++i) {
        BlEntryRead(stored.data(), i, items[i].entry);
        BlEntryCountBoot(items[i].entry);
        BlChar nt[BOOT_NT_PATH_CHARS];
        BlU32 length = 0;
        if (BlEntryTarget(items[i].entry, nt, &length)) {
            if (length >= BOOT_NT_PATH_CHARS || nt[length] != 0) std::abort();
            if (nt[0] != '\\' || nt[1] != '?' || nt[2] != '?' || nt[3] != '\\' || nt[5] != ':' || nt[6] != '\\') std::abort();
            // No component after the drive is empty, "." or "..".
            for (BlU32 begin = 7, c = 7; c <= length; ++c) {
                if (c < length && nt[c] != '\\') continue;
                const BlU32 n = c - begin;
                if (n == 0 || (n == 1 && nt[begin] == '.') || (n == 2 && nt[begin] == '.' && nt[begin + 1] == '.'))
                    std::abort();
                begin = c + 1;
            }
        }
        // Half the entries are carried out, the others still wait.
        items[i].state = (i % 2) ? BL_DONE : BL_WAITING;
    }
    // Expected survivors: waiting, not aged out, and not sharing a path with an earlier item that was done.
    for (BlU32 i = 0; i < count; ++i) {
        const BlItem* first = nullptr;
        for (BlU32 j = 0; j < count && !first; ++j)
            if (BlEntriesSamePath(items[i].entry, items[j].entry)) first = &items[j];
        if (first->state == BL_WAITING && BlEntryBoots(first->entry) < BOOT_ENTRY_MAX_BOOTS) ++expectKept;
    }
    std::vector<std::uint8_t> out(size);
    const BlU32 written = BlMergeList(stored.data(), BlU32(size), items.data(), count, 1, out.data());
    if (written < BOOT_LIST_HEADER_SIZE || written > size) std::abort();
    BlU32 again = 0;
    if (!BlListSound(out.data(), written, &again) || again != expectKept) std::abort();
    if (std::memcmp(out.data(), stored.data(), BOOT_LIST_COUNT_OFFSET) != 0) std::abort();
    return 0;
}
