#include "engine/BootListCore.h"

static BlU32 Le32(const BlByte* p) { return (BlU32)p[0] | (BlU32)p[1] << 8 | (BlU32)p[2] << 16 | (BlU32)p[3] << 24; }

static void PutLe32(BlByte* p, BlU32 v) {
    p[0] = (BlByte)v;
    p[1] = (BlByte)(v >> 8);
    p[2] = (BlByte)(v >> 16);
    p[3] = (BlByte)(v >> 24);
}

static BlChar PathChar(const BlByte* entry, BlU32 i) {
    const BlByte* p = entry + BOOT_ENTRY_PATH_OFFSET + 2 * i;
    return (BlChar)(p[0] | p[1] << 8);
}

static BlChar Upper(BlChar c) { return c >= 'a' && c <= 'z' ? (BlChar)(c - 'a' + 'A') : c; }

int BlListSound(const BlByte* data, BlU32 size, BlU32* count) {
    unsigned long long expected;
    if (!data || size < BOOT_LIST_HEADER_SIZE) return 0;
    if (size > BOOT_LIST_BUFFER_SIZE) return 0;
    *count = Le32(data + BOOT_LIST_COUNT_OFFSET);
    expected = (unsigned long long)BOOT_LIST_HEADER_SIZE + (unsigned long long)*count * BOOT_ENTRY_SIZE;
    return expected == size;
}

void BlEntryRead(const BlByte* data, BlU32 index, BlByte* entry) {
    const BlByte key = (BlByte)(data[BOOT_LIST_SCRAMBLE_OFFSET] ^ BOOT_LIST_SCRAMBLE_CONSTANT);
    const BlByte* src = data + BOOT_LIST_HEADER_SIZE + index * BOOT_ENTRY_SIZE;
    BlU32 i;
    for (i = 0; i < BOOT_ENTRY_SIZE; ++i) entry[i] = (BlByte)(src[i] ^ key);
}

static void EntryWrite(BlByte* data, BlU32 index, const BlByte* entry) {
    const BlByte key = (BlByte)(data[BOOT_LIST_SCRAMBLE_OFFSET] ^ BOOT_LIST_SCRAMBLE_CONSTANT);
    BlByte* dst = data + BOOT_LIST_HEADER_SIZE + index * BOOT_ENTRY_SIZE;
    BlU32 i;
    for (i = 0; i < BOOT_ENTRY_SIZE; ++i) dst[i] = (BlByte)(entry[i] ^ key);
}

/* Characters no file name may hold; a wildcard would also widen the driver's folder look-ups. */
static int ForbiddenInName(BlChar c) {
    return c < 0x20 || c == '*' || c == '?' || c == '<' || c == '>' || c == '"' || c == '|' || c == '/';
}

/* A plain name: not empty, not "." or "..", no trailing dot or space. A colon (an alternate data stream of the
 * file) is allowed in the last component only, after a non-empty name. */
static int PlainComponent(const BlChar* s, BlU32 length, int last) {
    BlU32 i, colon = length;
    if (length == 0) return 0;
    for (i = 0; i < length; ++i) {
        if (ForbiddenInName(s[i])) return 0;
        if (s[i] == ':') {
            if (!last) return 0;
            if (colon == length) colon = i;
        }
    }
    if (colon == 0) return 0;
    if (s[colon - 1] == '.' || s[colon - 1] == ' ') return 0; /* also covers "." and ".." */
    return 1;
}

int BlEntryTarget(const BlByte* entry, BlChar* ntPath, BlU32* length) {
    BlU32 count = 0, start = 0, i, begin;
    const BlU32 maxChars = BOOT_ENTRY_PATH_BYTES / 2;
    if (Le32(entry + BOOT_ENTRY_KIND_OFFSET) != BOOT_ENTRY_KIND_DELETE) return 0;
    while (count < maxChars && PathChar(entry, count)) ++count;
    if (count == maxChars || count > BOOT_ENTRY_PATH_MAX_CHARS) return 0; /* no terminator inside the field */
    if (count >= 4 && PathChar(entry, 0) == '\\' && PathChar(entry, 1) == '\\' && PathChar(entry, 2) == '?' &&
        PathChar(entry, 3) == '\\')
        start = 4;
    if (count < start + 4) return 0; /* "X:\" and at least one character of a name */
    if (!((Upper(PathChar(entry, start)) >= 'A' && Upper(PathChar(entry, start)) <= 'Z') &&
          PathChar(entry, start + 1) == ':' && PathChar(entry, start + 2) == '\\'))
        return 0;
    ntPath[0] = '\\';
    ntPath[1] = '?';
    ntPath[2] = '?';
    ntPath[3] = '\\';
    for (i = start; i < count; ++i) ntPath[4 + i - start] = PathChar(entry, i);
    *length = 4 + count - start;
    ntPath[*length] = 0;
    /* Components after "\??\X:\". */
    begin = 7;
    for (i = 7; i <= *length; ++i) {
        if (i < *length && ntPath[i] != '\\') continue;
        if (!PlainComponent(ntPath + begin, i - begin, i == *length)) return 0;
        begin = i + 1;
    }
    return 1;
}

int BlEntriesSamePath(const BlByte* a, const BlByte* b) {
    BlU32 i;
    for (i = 0; i < BOOT_ENTRY_PATH_BYTES / 2; ++i) {
        const BlChar ca = PathChar(a, i), cb = PathChar(b, i);
        if (Upper(ca) != Upper(cb)) return 0;
        if (!ca) return 1;
    }
    return 1;
}

BlU32 BlEntryBoots(const BlByte* entry) { return Le32(entry + BOOT_ENTRY_BOOTS_OFFSET); }

void BlEntrySetBoots(BlByte* entry, BlU32 boots) { PutLe32(entry + BOOT_ENTRY_BOOTS_OFFSET, boots); }

void BlEntryCountBoot(BlByte* entry) {
    const BlU32 boots = BlEntryBoots(entry);
    if (boots < BOOT_ENTRY_MAX_BOOTS) BlEntrySetBoots(entry, boots + 1); /* a stored count may be anything */
}

BlU32 BlMergeList(const BlByte* current, BlU32 currentSize, const BlItem* items, BlU32 itemCount, int final,
                  BlByte* out) {
    BlU32 count, kept = 0, i, j;
    BlByte entry[BOOT_ENTRY_SIZE];
    if (!BlListSound(current, currentSize, &count)) return 0;
    for (i = 0; i < BOOT_LIST_HEADER_SIZE; ++i) out[i] = current[i];
    for (i = 0; i < count; ++i) {
        int drop = 0;
        BlEntryRead(current, i, entry);
        for (j = 0; j < itemCount; ++j) {
            if (!BlEntriesSamePath(entry, items[j].entry)) continue;
            if (items[j].state == BL_DONE) {
                drop = 1;
            } else {
                BlEntrySetBoots(entry, BlEntryBoots(items[j].entry));
                if (final && BlEntryBoots(entry) >= BOOT_ENTRY_MAX_BOOTS) drop = 1;
            }
            break;
        }
        if (!drop) EntryWrite(out, kept++, entry);
    }
    PutLe32(out + BOOT_LIST_COUNT_OFFSET, kept);
    return BOOT_LIST_HEADER_SIZE + kept * BOOT_ENTRY_SIZE;
}
