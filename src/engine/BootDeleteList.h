#pragma once
// Reading, extending and writing the boot-time deletion list. The stored value is hostile input: a list whose
// size does not match its count is damaged and is never rewritten.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/BootDeleteFormat.h"

struct BootDeleteList {
    std::array<std::uint8_t, BOOT_LIST_HEADER_SIZE> header{};  // kept as read, apart from the count
    std::vector<std::array<std::uint8_t, BOOT_ENTRY_SIZE>> entries;  // unscrambled
};

enum class BootListRead { Ok, Damaged };

// An empty value (missing or zero bytes) is the empty list.
BootListRead DecodeBootList(const std::uint8_t* data, std::size_t size, BootDeleteList& out);

// The path an entry holds, up to its NUL within the path field.
std::u16string BootEntryPath(const std::array<std::uint8_t, BOOT_ENTRY_SIZE>& entry);

enum class BootListAdd { Added, AlreadyListed, Full, PathTooLong, EmptyPath };

// Appends a deletion entry unless the path is listed already (compared by `sameText`, which ignores case),
// the list holds 256 entries, or the value would outgrow its 1 MiB buffer.
using TextEquals = bool (*)(const std::u16string&, const std::u16string&);
bool AsciiCaseEquals(const std::u16string& a, const std::u16string& b);
BootListAdd AddBootDelete(BootDeleteList& list, const std::u16string& path, TextEquals sameText = AsciiCaseEquals);

// Takes every entry for `path` off the list; how many there were.
std::size_t RemoveBootDelete(BootDeleteList& list, const std::u16string& path, TextEquals sameText = AsciiCaseEquals);

// The restart list (PendingFileRenameOperations: pairs of source and target, the target empty for a deletion,
// each ended by a NUL) without the deletions of `ntPath` ("\??\C:\..."); the renames stay. `text` is the
// value's whole data as UTF-16 units, so empty targets are not taken for its end.
std::u16string WithoutPendingDeletion(const std::u16string& text, const std::u16string& ntPath,
                                      TextEquals sameText = AsciiCaseEquals);

// The value to store: header with the count, then the entries scrambled.
std::vector<std::uint8_t> EncodeBootList(const BootDeleteList& list);

// Rooted registry paths ("HKEY_LOCAL_MACHINE\SYSTEM\...").
enum class RegistryRoot { LocalMachine, CurrentUser, ClassesRoot, Users, CurrentConfig };
bool ParseRootedKeyPath(const std::wstring& path, RegistryRoot& root, std::wstring& subkey);
