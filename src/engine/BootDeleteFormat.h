/* The boot-time deletion list as stored in the registry value "KelvarnFilePath": shared, as plain C, by the
 * program that writes the list and the boot-clean driver that carries it out. All integers little-endian. */
#ifndef VELUDISK_BOOT_DELETE_FORMAT_H
#define VELUDISK_BOOT_DELETE_FORMAT_H

#define BOOT_LIST_KEY L"\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Control\\Velmora\\KelvarnBox"
#define BOOT_LIST_VALUE L"KelvarnFilePath"

#define BOOT_LIST_HEADER_SIZE 44u
#define BOOT_LIST_COUNT_OFFSET 32u
#define BOOT_LIST_SCRAMBLE_OFFSET 40u
#define BOOT_ENTRY_SIZE 1244u
#define BOOT_LIST_MAX_ENTRIES 256u
#define BOOT_LIST_BUFFER_SIZE 1048576u

#define BOOT_ENTRY_KIND_DELETE 0xC0000001u
#define BOOT_ENTRY_KIND_OFFSET 0u
#define BOOT_ENTRY_LENGTH_OFFSET 20u /* path length in characters plus its NUL */
#define BOOT_ENTRY_PATH_OFFSET 24u
#define BOOT_ENTRY_PATH_BYTES 1024u
#define BOOT_ENTRY_PATH_MAX_CHARS 511u
#define BOOT_ENTRY_SECOND_OFFSET 1048u
#define BOOT_ENTRY_SECOND_BYTES 128u
#define BOOT_ENTRY_DIGITS_OFFSET 1176u
#define BOOT_ENTRY_DIGITS_CHARS 32u

/* Entries are stored XORed with (header scramble byte ^ this constant). */
#define BOOT_LIST_SCRAMBLE_CONSTANT 0xA7u

#endif
