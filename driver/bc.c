/* bc.sys, the boot-clean driver (service "BC"). At boot it deletes the files the program listed in the
 * registry value "KelvarnFilePath" (files that could not be removed while Windows ran). The value is hostile
 * input: the list logic (BootListCore.c) checks every byte it reads, and a damaged list is left alone.
 *
 * An entry is carried out as soon as its drive has a letter and is then taken off the list. An entry whose
 * drive never appears stays listed, its boot count raised, and is dropped once it has waited through
 * BOOT_ENTRY_MAX_BOOTS boots: the stick it named is gone, and whatever takes that letter later is not its.
 * Every write-back is merged into the list as it is stored then, so what the program adds meanwhile stays.
 * A path is opened one folder at a time, never through a reparse point. */
#include <ntifs.h>

#include "engine/BootListCore.h"

#define BC_POOL_TAG 0x6C43624Bu /* "KbCl" */
#define BC_RETRY_INTERVAL_MS 1000
#define BC_BOOT_WAIT_SECONDS 300 /* at boot: five minutes for the volumes to get their letters */

DRIVER_INITIALIZE DriverEntry;

typedef struct {
    BlItem* items; /* the snapshot, one item per stored entry */
    ULONG count;
    BlChar ntPath[BOOT_NT_PATH_CHARS];
    UCHAR query[sizeof(FILE_DIRECTORY_INFORMATION) + 2 * BOOT_NT_PATH_CHARS];
} RunState;

static RunState* g_run;
static HANDLE g_worker; /* a kernel handle: the unload routine waits on it */
static KEVENT g_stop;

static NTSTATUS OpenListKey(HANDLE* key) {
    UNICODE_STRING name;
    OBJECT_ATTRIBUTES oa;
    RtlInitUnicodeString(&name, BOOT_LIST_KEY);
    InitializeObjectAttributes(&oa, &name, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, NULL, NULL);
    return ZwOpenKey(key, KEY_QUERY_VALUE | KEY_SET_VALUE, &oa);
}

/* The stored list as it is now, in pool memory the caller frees (the value's data at `*data`, `*size` bytes);
 * NULL when there is none, it is not binary or it is larger than any list the program reads. */
static PKEY_VALUE_PARTIAL_INFORMATION ReadList(HANDLE key, const UCHAR** data, ULONG* size) {
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
    if (!NT_SUCCESS(status) || info->Type != REG_BINARY ||
        info->DataLength > needed - FIELD_OFFSET(KEY_VALUE_PARTIAL_INFORMATION, Data)) {
        ExFreePoolWithTag(info, BC_POOL_TAG);
        return NULL;
    }
    *data = info->Data;
    *size = info->DataLength;
    return info;
}

/* Writes the snapshot's outcome into the list as stored now; `final` drops the entries that waited too long. */
static void WriteBack(RunState* run, int final) {
    HANDLE key;
    UNICODE_STRING name;
    ULONG size = 0, mergedSize = 0;
    const UCHAR* current = NULL;
    PKEY_VALUE_PARTIAL_INFORMATION info;
    UCHAR* merged;
    if (!NT_SUCCESS(OpenListKey(&key))) return;
    info = ReadList(key, &current, &size);
    merged = info ? (UCHAR*)ExAllocatePoolWithTag(PagedPool, size, BC_POOL_TAG) : NULL;
    if (merged) mergedSize = BlMergeList(current, size, run->items, run->count, final, merged);
    if (mergedSize) {
        RtlInitUnicodeString(&name, BOOT_LIST_VALUE);
        ZwSetValueKey(key, &name, 0, REG_BINARY, merged, mergedSize);
    }
    if (merged) ExFreePoolWithTag(merged, BC_POOL_TAG);
    if (info) ExFreePoolWithTag(info, BC_POOL_TAG);
    ZwClose(key);
}

/* "\??\X:" resolves once the volume has its drive letter. */
static BOOLEAN DriveReady(const BlChar* ntPath) {
    UNICODE_STRING drive;
    OBJECT_ATTRIBUTES oa;
    HANDLE link;
    drive.Buffer = (PWSTR)ntPath;
    drive.Length = drive.MaximumLength = 6 * sizeof(WCHAR); /* "\??\X:" */
    InitializeObjectAttributes(&oa, &drive, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, NULL, NULL);
    if (!NT_SUCCESS(ZwOpenSymbolicLinkObject(&link, GENERIC_READ, &oa))) return FALSE;
    ZwClose(link);
    return TRUE;
}

static void Counted(UNICODE_STRING* s, const BlChar* text, ULONG chars) {
    s->Buffer = (PWSTR)text;
    s->Length = s->MaximumLength = (USHORT)(chars * sizeof(WCHAR));
}

/* The attributes of `name` as its folder lists it. The listing, not the opened handle, is asked: it shows a
 * link as a link even where opening the name would follow it. */
static BOOLEAN ListedAttributes(RunState* run, HANDLE folder, const BlChar* name, ULONG chars, ULONG* attributes) {
    IO_STATUS_BLOCK iosb;
    UNICODE_STRING mask;
    PFILE_DIRECTORY_INFORMATION info = (PFILE_DIRECTORY_INFORMATION)run->query;
    Counted(&mask, name, chars);
    if (!NT_SUCCESS(ZwQueryDirectoryFile(folder, NULL, NULL, NULL, &iosb, info, sizeof run->query, FileDirectoryInformation,
                                         TRUE, &mask, TRUE)))
        return FALSE;
    *attributes = info->FileAttributes;
    return TRUE;
}

static NTSTATUS OpenRelative(HANDLE* out, HANDLE parent, const BlChar* name, ULONG chars, ACCESS_MASK access,
                             ULONG options) {
    UNICODE_STRING path;
    OBJECT_ATTRIBUTES oa;
    IO_STATUS_BLOCK iosb;
    Counted(&path, name, chars);
    InitializeObjectAttributes(&oa, &path, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, parent, NULL);
    return ZwCreateFile(out, access | SYNCHRONIZE, &oa, &iosb, NULL, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        FILE_OPEN, options | FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT, NULL, 0);
}

/* A failure that may pass while the driver waits: the medium is not in or not ready yet, or the file is held. */
static BOOLEAN MayPass(NTSTATUS status) {
    return status == STATUS_DEVICE_NOT_READY || status == STATUS_NO_MEDIA_IN_DEVICE ||
           status == STATUS_UNRECOGNIZED_VOLUME || status == STATUS_SHARING_VIOLATION ||
           status == STATUS_DELETE_PENDING || status == STATUS_VERIFY_REQUIRED;
}

/* Deletes the file `ntPath` (of `length` characters) names, walking down from its volume's root. Nothing is
 * deleted when any folder on the way, or the file itself, is a reparse point. FALSE when it should be tried
 * again (see MayPass); TRUE when the entry is settled: deleted, not there, or never to be followed. */
static BOOLEAN DeleteListedFile(RunState* run, const BlChar* ntPath, ULONG length) {
    HANDLE folder, next, file;
    IO_STATUS_BLOCK iosb;
    FILE_BASIC_INFORMATION basic, before;
    FILE_DISPOSITION_INFORMATION disposition;
    ULONG begin = 7, i, attributes, baseChars;
    NTSTATUS status;
    status = OpenRelative(&folder, NULL, ntPath, 7, FILE_LIST_DIRECTORY | FILE_TRAVERSE, FILE_DIRECTORY_FILE);
    if (!NT_SUCCESS(status)) return !MayPass(status);
    for (i = 7; i < length; ++i) {
        if (ntPath[i] != L'\\') continue;
        if (!ListedAttributes(run, folder, ntPath + begin, i - begin, &attributes) ||
            (attributes & FILE_ATTRIBUTE_REPARSE_POINT) || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            ZwClose(folder);
            return TRUE;
        }
        status = OpenRelative(&next, folder, ntPath + begin, i - begin, FILE_LIST_DIRECTORY | FILE_TRAVERSE,
                              FILE_DIRECTORY_FILE);
        if (!NT_SUCCESS(status)) {
            ZwClose(folder);
            return !MayPass(status);
        }
        ZwClose(folder);
        folder = next;
        begin = i + 1;
    }
    /* The file itself; a stream ("name:stream") is checked by its file's name. */
    for (baseChars = 0; begin + baseChars < length && ntPath[begin + baseChars] != L':'; ++baseChars) {
    }
    if (!ListedAttributes(run, folder, ntPath + begin, baseChars, &attributes) ||
        (attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY))) {
        ZwClose(folder);
        return TRUE;
    }
    status = OpenRelative(&file, folder, ntPath + begin, length - begin,
                          DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, FILE_NON_DIRECTORY_FILE);
    ZwClose(folder);
    if (!NT_SUCCESS(status)) return !MayPass(status);
    /* Read-only, hidden and system bits would refuse the deletion. A stream's are its file's: only a whole
     * file's are cleared, and they are put back when the deletion fails. */
    RtlZeroMemory(&before, sizeof before);
    ZwQueryInformationFile(file, &iosb, &before, sizeof before, FileBasicInformation);
    if (baseChars == length - begin) {
        RtlZeroMemory(&basic, sizeof basic);
        basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
        ZwSetInformationFile(file, &iosb, &basic, sizeof basic, FileBasicInformation);
    }
    disposition.DeleteFile = TRUE;
    status = ZwSetInformationFile(file, &iosb, &disposition, sizeof disposition, FileDispositionInformation);
    if (!NT_SUCCESS(status) && baseChars == length - begin && before.FileAttributes) {
        RtlZeroMemory(&basic, sizeof basic);
        basic.FileAttributes = before.FileAttributes;
        ZwSetInformationFile(file, &iosb, &basic, sizeof basic, FileBasicInformation);
    }
    ZwClose(file);
    return NT_SUCCESS(status) || !MayPass(status);
}

/* Takes the snapshot: every entry of the stored list, one more boot counted for each. FALSE when there is
 * nothing to do (no list, a damaged one, or an empty one). */
static BOOLEAN TakeSnapshot(RunState* run) {
    HANDLE key;
    ULONG size = 0;
    BlU32 count = 0, i;
    const UCHAR* data = NULL;
    PKEY_VALUE_PARTIAL_INFORMATION info;
    if (!NT_SUCCESS(OpenListKey(&key))) return FALSE;
    info = ReadList(key, &data, &size);
    ZwClose(key);
    if (info && BlListSound(data, size, &count) && count > 0)
        run->items = (BlItem*)ExAllocatePoolWithTag(PagedPool, count * sizeof(BlItem), BC_POOL_TAG);
    if (run->items) {
        for (i = 0; i < count; ++i) {
            BlEntryRead(data, i, run->items[i].entry);
            BlEntryCountBoot(run->items[i].entry);
            run->items[i].state = BL_WAITING;
        }
        run->count = count;
    }
    if (info) ExFreePoolWithTag(info, BC_POOL_TAG);
    return run->items != NULL;
}

/* Carries out every waiting entry whose drive is there now; entries that can never be carried out are done
 * at once. TRUE when nothing waits any more. */
static BOOLEAN CleanPresentDrives(RunState* run) {
    ULONG i;
    BlU32 length;
    BOOLEAN waiting = FALSE;
    for (i = 0; i < run->count; ++i) {
        BlItem* item = &run->items[i];
        if (item->state != BL_WAITING) continue;
        if (!BlEntryTarget(item->entry, run->ntPath, &length)) {
            item->state = BL_DONE; /* not a path the program writes: dropped, never acted on */
        } else if (DriveReady(run->ntPath) && DeleteListedFile(run, run->ntPath, length)) {
            item->state = BL_DONE;
        } else {
            waiting = TRUE;
        }
    }
    return !waiting;
}

static ULONG Waiting(const RunState* run) {
    ULONG i, n = 0;
    for (i = 0; i < run->count; ++i) n += run->items[i].state == BL_WAITING;
    return n;
}

/* Started at boot, or from the program as a demand-start service (then every volume already has its letter
 * and there is nothing to wait for). */
static BOOLEAN StartedAtBoot(PUNICODE_STRING registryPath) {
    HANDLE key;
    OBJECT_ATTRIBUTES oa;
    UNICODE_STRING name;
    UCHAR buffer[sizeof(KEY_VALUE_PARTIAL_INFORMATION) + sizeof(ULONG)];
    PKEY_VALUE_PARTIAL_INFORMATION info = (PKEY_VALUE_PARTIAL_INFORMATION)buffer;
    ULONG needed = 0;
    BOOLEAN boot = FALSE;
    InitializeObjectAttributes(&oa, registryPath, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, NULL, NULL);
    if (!NT_SUCCESS(ZwOpenKey(&key, KEY_QUERY_VALUE, &oa))) return FALSE;
    RtlInitUnicodeString(&name, L"Start");
    if (NT_SUCCESS(ZwQueryValueKey(key, &name, KeyValuePartialInformation, info, sizeof buffer, &needed)) &&
        info->Type == REG_DWORD && info->DataLength == sizeof(ULONG))
        boot = *(const ULONG*)info->Data <= SERVICE_SYSTEM_START;
    ZwClose(key);
    return boot;
}

/* Waits for the remaining drives, once a second, until they all came, the wait is over or the driver is
 * being unloaded (then the list stays as last written, no entry dropped). */
static VOID NTAPI Worker(PVOID context) {
    RunState* run = (RunState*)context;
    LARGE_INTEGER interval;
    int second;
    interval.QuadPart = -10000LL * BC_RETRY_INTERVAL_MS;
    for (second = 0; second < BC_BOOT_WAIT_SECONDS; ++second) {
        ULONG before = Waiting(run);
        BOOLEAN finished;
        if (KeWaitForSingleObject(&g_stop, Executive, KernelMode, FALSE, &interval) == STATUS_SUCCESS)
            PsTerminateSystemThread(STATUS_SUCCESS);
        finished = CleanPresentDrives(run);
        if (finished) break;
        if (Waiting(run) != before) WriteBack(run, 0);
    }
    WriteBack(run, 1);
    PsTerminateSystemThread(STATUS_SUCCESS);
}

static VOID NTAPI Unload(PDRIVER_OBJECT driver) {
    UNREFERENCED_PARAMETER(driver);
    if (g_worker) {
        KeSetEvent(&g_stop, IO_NO_INCREMENT, FALSE);
        ZwWaitForSingleObject(g_worker, FALSE, NULL);
        ZwClose(g_worker);
        g_worker = NULL;
    }
    if (g_run && g_run->items) ExFreePoolWithTag(g_run->items, BC_POOL_TAG);
    if (g_run) ExFreePoolWithTag(g_run, BC_POOL_TAG);
    g_run = NULL;
}

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath) {
    OBJECT_ATTRIBUTES oa;
    BOOLEAN wait;
    driver->DriverUnload = Unload;
    KeInitializeEvent(&g_stop, NotificationEvent, FALSE);
    g_run = (RunState*)ExAllocatePoolWithTag(PagedPool, sizeof(RunState), BC_POOL_TAG);
    if (!g_run) return STATUS_SUCCESS;
    g_run->items = NULL;
    g_run->count = 0;
    if (!TakeSnapshot(g_run)) return STATUS_SUCCESS;
    CleanPresentDrives(g_run);
    wait = Waiting(g_run) && StartedAtBoot(registryPath);
    /* Written at once: the raised boot counts and the deletions survive a power cut during the wait. */
    WriteBack(g_run, !wait);
    if (!wait) return STATUS_SUCCESS;
    InitializeObjectAttributes(&oa, NULL, OBJ_KERNEL_HANDLE, NULL, NULL);
    if (!NT_SUCCESS(PsCreateSystemThread(&g_worker, SYNCHRONIZE, &oa, NULL, NULL, Worker, g_run))) g_worker = NULL;
    return STATUS_SUCCESS;
}
