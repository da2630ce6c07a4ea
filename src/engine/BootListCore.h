/* What the boot-clean driver does with the stored deletion list, as plain freestanding C over byte buffers, so
 * that the same code runs in the kernel and under the native tests and fuzzers. No library calls.
 *
 * The driver's run: it takes a snapshot of the list, counts one more boot for every entry in it (the count
 * lives in the entry, at BOOT_ENTRY_BOOTS_OFFSET, zero when the program writes the entry), deletes the files
 * whose drive is present, and keeps waiting for the others. Every write-back is merged into the list as it is
 * then stored, so entries the program adds meanwhile are kept untouched. At the end of its wait it drops the
 * entries that have now waited through BOOT_ENTRY_MAX_BOOTS boots. */
#ifndef VELUDISK_BOOT_LIST_CORE_H
#define VELUDISK_BOOT_LIST_CORE_H

#include "engine/BootDeleteFormat.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef unsigned char BlByte;
typedef unsigned short BlChar; /* one UTF-16 unit */
typedef unsigned int BlU32;

/* Within an entry's 12 zero bytes at offset 8: the boots this entry has waited through. */
#define BOOT_ENTRY_BOOTS_OFFSET 8u
/* An entry whose drive was absent at this many boots is dropped: the stick it named is gone for good, and
 * whatever later takes its letter must not lose a file by that path. */
#define BOOT_ENTRY_MAX_BOOTS 3u

/* "\??\" + the path + NUL, in characters. */
#define BOOT_NT_PATH_CHARS (4u + BOOT_ENTRY_PATH_MAX_CHARS + 1u)

/* Nonzero when `size` bytes (at most the 1 MiB the program reads) hold a header and exactly the entries its
 * count names. The program adds to a list of fewer than 256 entries only, but carries out any sound list. */
int BlListSound(const BlByte* data, BlU32 size, BlU32* count);

/* Copies entry `index` of a sound list, unscrambled, into `entry` (BOOT_ENTRY_SIZE bytes). */
void BlEntryRead(const BlByte* data, BlU32 index, BlByte* entry);

/* The deletion target of an unscrambled entry as an NT path "\??\X:\..." of `*length` characters (NUL
 * after them, in a buffer of BOOT_NT_PATH_CHARS). Zero for anything but a deletion entry with a terminated,
 * local, absolute path whose components are plain names: no "." or "..", no empty component, no wildcard or
 * device-name characters, nothing after the drive but a backslash. Trailing dots and spaces are refused too,
 * since Windows would strip them and reach another file. */
int BlEntryTarget(const BlByte* entry, BlChar* ntPath, BlU32* length);

/* Nonzero when two unscrambled entries name the same path (ASCII letters compared without case). */
int BlEntriesSamePath(const BlByte* a, const BlByte* b);

BlU32 BlEntryBoots(const BlByte* entry);
void BlEntrySetBoots(BlByte* entry, BlU32 boots);
/* One more boot waited, up to BOOT_ENTRY_MAX_BOOTS. */
void BlEntryCountBoot(BlByte* entry);

/* What the driver has made of one entry of its snapshot. */
enum { BL_WAITING = 0, BL_DONE = 1 };
typedef struct {
    BlByte entry[BOOT_ENTRY_SIZE]; /* unscrambled, its boot count already the count of this boot */
    int state;
} BlItem;

/* The list to store: `current` (the value as stored now, `currentSize` bytes) with every entry that matches a
 * BL_DONE item left out, every entry that matches a waiting item written with that item's boot count (and,
 * when `final`, left out once that count has reached BOOT_ENTRY_MAX_BOOTS), and every other entry kept as it
 * is. Header bytes are kept. Writes into `out` (at least `currentSize` bytes) and gives the new size, or
 * returns zero and leaves the stored list alone when `current` is not a sound list. */
BlU32 BlMergeList(const BlByte* current, BlU32 currentSize, const BlItem* items, BlU32 itemCount, int final,
                  BlByte* out);

#ifdef __cplusplus
}
#endif

#endif
