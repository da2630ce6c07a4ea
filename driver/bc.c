/* bc.sys, the boot-clean driver (service "BC"). At boot it deletes the files the program listed in the
 * registry value "KelvarnFilePath" (files that could not be removed while Windows ran), then empties the list.
 * The value is treated as hostile: every read is bounds-checked and a list whose size does not match its
 * count is left alone. Started later as a demand-start service it does the same at once. */
#include <ntifs.h>

#include "cleaners/system/BootDeleteFormat.h"

#define BC_POOL_TAG 0x6C43624Bu /* "KbCl" */
#define BC_RETRY_INTERVAL_MS 1000
#define BC_RETRY_LIMIT 300 /* five minutes for the volumes to appear */

DRIVER_INITIALIZE DriverEntry;

static ULONG ReadLe32(const UCHAR* p) { return (ULONG)p[0] | (ULONG)p[1] << 8 | (ULONG)p[2] << 16 | (ULONG)p[3] << 24; }

static NTSTATUS OpenListKey(HANDLE* key) {
    UNICODE_STRING name;
    OBJECT_ATTRIBUTES oa;
    RtlInitUnicodeString(&name, BOOT_LIST_KEY);
    InitializeObjectAttributes(&oa, &name, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, NULL, NULL);
    return ZwOpenKey(key, KEY_QUERY_VALUE | KEY_SET_VALUE, &oa);
}

/* The whole value, in pool memory the caller frees; NULL when there is none or it is not binary. */
static PKEY_VALUE_PARTIAL_INFORMATION ReadListValue(HANDLE key) {
    UNICODE_STRING name;
    ULONG needed = 0;
    PKEY_VALUE_PARTIAL_INFORMATION info;
    NTSTATUS status;
    RtlInitUnicodeString(&name, BOOT_LIST_VALUE);
    status = ZwQueryValueKey(key, &name, KeyValuePartialInformation, NULL, 0, &needed);
    if (status != STATUS_BUFFER_TOO_SMALL && status != STATUS_BUFFER_OVERFLOW) return NULL;
    if (needed == 0 || needed > BOOT_LIST_BUFFER_SIZE + sizeof(KEY_VALUE_PARTIAL_INFORMATION)) return NULL;
    info = (PKEY_VALUE_PARTIAL_INFORMATION)ExAllocatePoolWithTag(PagedPool, needed, BC_POOL_TAG);
    if (!info) return NULL;
    status = ZwQueryValueKey(key, &name, KeyValuePartialInformation, info, needed, &needed);
    if (!NT_SUCCESS(status) || info->Type != REG_BINARY || info->DataLength > needed) {
        ExFreePoolWithTag(info, BC_POOL_TAG);
        return NULL;
    }
    return info;
}

/* True when the list's count describes its data exactly. */
static BOOLEAN ListIsSound(const UCHAR* data, ULONG size, ULONG* count) {
    ULONGLONG expected;
    if (size < BOOT_LIST_HEADER_SIZE) return FALSE;
    *count = ReadLe32(data + BOOT_LIST_COUNT_OFFSET);
    if (*count > BOOT_LIST_MAX_ENTRIES) return FALSE;
    expected = (ULONGLONG)BOOT_LIST_HEADER_SIZE + (ULONGLONG)*count * BOOT_ENTRY_SIZE;
    return expected == size;
}

/* Copies entry `index` unscrambled into `entry` and gives its path as a counted string with "\??\" in front;
 * FALSE for anything but a well-formed local "X:\..." path. */
static BOOLEAN EntryNtPath(const UCHAR* data, ULONG index, UCHAR key, UCHAR* entry, WCHAR* ntPath, USHORT ntPathChars,
                           UNICODE_STRING* out) {
    const UCHAR* src = data + BOOT_LIST_HEADER_SIZE + (SIZE_T)index * BOOT_ENTRY_SIZE;
    const WCHAR* path;
    ULONG i, length = 0, start = 0;
    for (i = 0; i < BOOT_ENTRY_SIZE; ++i) entry[i] = (UCHAR)(src[i] ^ key);
    if (ReadLe32(entry + BOOT_ENTRY_KIND_OFFSET) != BOOT_ENTRY_KIND_DELETE) return FALSE;
    path = (const WCHAR*)(entry + BOOT_ENTRY_PATH_OFFSET);
    while (length < BOOT_ENTRY_PATH_BYTES / sizeof(WCHAR) && path[length]) ++length;
    if (length == BOOT_ENTRY_PATH_BYTES / sizeof(WCHAR)) return FALSE; /* no terminator inside the field */
    if (length >= 4 && path[0] == L'\\' && path[1] == L'\\' && path[2] == L'?' && path[3] == L'\\') start = 4;
    if (length - start < 4 || path[start + 1] != L':' || path[start + 2] != L'\\') return FALSE;
    if (!((path[start] >= L'A' && path[start] <= L'Z') || (path[start] >= L'a' && path[start] <= L'z'))) return FALSE;
    if (4 + (length - start) + 1 > ntPathChars) return FALSE;
    ntPath[0] = L'\\';
    ntPath[1] = L'?';
    ntPath[2] = L'?';
    ntPath[3] = L'\\';
    for (i = 0; i < length - start; ++i) ntPath[4 + i] = path[start + i];
    ntPath[4 + i] = 0;
    out->Buffer = ntPath;
    out->Length = (USHORT)((4 + length - start) * sizeof(WCHAR));
    out->MaximumLength = out->Length + sizeof(WCHAR);
    return TRUE;
}

/* "\??\X:" resolves once the volume has its drive letter. */
static BOOLEAN DriveReady(const UNICODE_STRING* ntPath) {
    UNICODE_STRING drive;
    OBJECT_ATTRIBUTES oa;
    HANDLE link;
    drive.Buffer = ntPath->Buffer;
    drive.Length = drive.MaximumLength = 6 * sizeof(WCHAR); /* "\??\X:" */
    InitializeObjectAttributes(&oa, &drive, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, NULL, NULL);
    if (!NT_SUCCESS(ZwOpenSymbolicLinkObject(&link, GENERIC_READ, &oa))) return FALSE;
    ZwClose(link);
    return TRUE;
}

static void DeleteListedFile(UNICODE_STRING* ntPath) {
    OBJECT_ATTRIBUTES oa;
    IO_STATUS_BLOCK iosb;
    HANDLE file;
    FILE_BASIC_INFORMATION basic;
    FILE_DISPOSITION_INFORMATION disposition;
    InitializeObjectAttributes(&oa, ntPath, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, NULL, NULL);
    if (!NT_SUCCESS(ZwCreateFile(&file, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE, &oa, &iosb,
                                 NULL, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN,
                                 FILE_NON_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT, NULL, 0)))
        return;
    /* Read-only, hidden and system bits would refuse the deletion. */
    RtlZeroMemory(&basic, sizeof basic);
    basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    ZwSetInformationFile(file, &iosb, &basic, sizeof basic, FileBasicInformation);
    disposition.DeleteFile = TRUE;
    ZwSetInformationFile(file, &iosb, &disposition, sizeof disposition, FileDispositionInformation);
    ZwClose(file);
}

/* One pass over the list. Returns FALSE when a listed drive is not there yet, so the pass should be retried. */
static BOOLEAN CleanListedFiles(void) {
    HANDLE key;
    PKEY_VALUE_PARTIAL_INFORMATION info;
    ULONG count = 0, i;
    UCHAR scramble;
    UCHAR* entry;
    WCHAR* ntPath;
    UNICODE_STRING path, name;
    BOOLEAN ready = TRUE;

    if (!NT_SUCCESS(OpenListKey(&key))) return TRUE; /* nothing listed */
    info = ReadListValue(key);
    if (!info || !ListIsSound(info->Data, info->DataLength, &count) || count == 0) {
        if (info) ExFreePoolWithTag(info, BC_POOL_TAG);
        ZwClose(key);
        return TRUE;
    }
    entry = (UCHAR*)ExAllocatePoolWithTag(PagedPool, BOOT_ENTRY_SIZE + BOOT_ENTRY_PATH_BYTES + 16, BC_POOL_TAG);
    if (!entry) {
        ExFreePoolWithTag(info, BC_POOL_TAG);
        ZwClose(key);
        return TRUE;
    }
    ntPath = (WCHAR*)(entry + BOOT_ENTRY_SIZE);
    scramble = (UCHAR)(info->Data[BOOT_LIST_SCRAMBLE_OFFSET] ^ BOOT_LIST_SCRAMBLE_CONSTANT);
    for (i = 0; i < count && ready; ++i)
        if (EntryNtPath(info->Data, i, scramble, entry, ntPath, (BOOT_ENTRY_PATH_BYTES + 16) / sizeof(WCHAR), &path))
            ready = DriveReady(&path);
    if (ready) {
        for (i = 0; i < count; ++i)
            if (EntryNtPath(info->Data, i, scramble, entry, ntPath, (BOOT_ENTRY_PATH_BYTES + 16) / sizeof(WCHAR), &path))
                DeleteListedFile(&path);
        /* Emptied, header kept, so entries never pile up towards the limit. */
        info->Data[BOOT_LIST_COUNT_OFFSET] = info->Data[BOOT_LIST_COUNT_OFFSET + 1] = 0;
        info->Data[BOOT_LIST_COUNT_OFFSET + 2] = info->Data[BOOT_LIST_COUNT_OFFSET + 3] = 0;
        RtlInitUnicodeString(&name, BOOT_LIST_VALUE);
        ZwSetValueKey(key, &name, 0, REG_BINARY, info->Data, BOOT_LIST_HEADER_SIZE);
    }
    ExFreePoolWithTag(entry, BC_POOL_TAG);
    ExFreePoolWithTag(info, BC_POOL_TAG);
    ZwClose(key);
    return ready;
}

/* At boot the drive letters may not exist yet: a system thread waits for them. */
static VOID NTAPI RetryThread(PVOID context) {
    LARGE_INTEGER interval;
    int attempt;
    UNREFERENCED_PARAMETER(context);
    interval.QuadPart = -10000LL * BC_RETRY_INTERVAL_MS;
    for (attempt = 0; attempt < BC_RETRY_LIMIT; ++attempt) {
        if (CleanListedFiles()) break;
        KeDelayExecutionThread(KernelMode, FALSE, &interval);
    }
    PsTerminateSystemThread(STATUS_SUCCESS);
}

static VOID NTAPI Unload(PDRIVER_OBJECT driver) { UNREFERENCED_PARAMETER(driver); }

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath) {
    HANDLE thread;
    UNREFERENCED_PARAMETER(registryPath);
    driver->DriverUnload = Unload;
    if (CleanListedFiles()) return STATUS_SUCCESS;
    if (NT_SUCCESS(PsCreateSystemThread(&thread, THREAD_ALL_ACCESS, NULL, NULL, NULL, RetryThread, NULL)))
        ZwClose(thread);
    return STATUS_SUCCESS;
}
