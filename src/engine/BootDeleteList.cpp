#include "engine/BootDeleteList.h"

#include <cstring>
#include <cwchar>

#include "util/AsciiCase.h"
#include "engine/BootListCore.h"

namespace {

void PutLe32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = std::uint8_t(v >> (8 * i));
}

void PutText(std::uint8_t* p, const std::u16string& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        p[2 * i] = std::uint8_t(text[i]);
        p[2 * i + 1] = std::uint8_t(text[i] >> 8);
    }
}

std::uint8_t ScrambleKey(const std::array<std::uint8_t, BOOT_LIST_HEADER_SIZE>& header) {
    return std::uint8_t(header[BOOT_LIST_SCRAMBLE_OFFSET] ^ BOOT_LIST_SCRAMBLE_CONSTANT);
}

}  // namespace

BootListRead DecodeBootList(const std::uint8_t* data, std::size_t size, BootDeleteList& out) {
    out = BootDeleteList();
    if (!data || size == 0) return BootListRead::Ok;
    BlU32 count = 0;
    // The same rule as the driver's.
    if (size > BOOT_LIST_BUFFER_SIZE || !BlListSound(data, BlU32(size), &count)) return BootListRead::Damaged;
    std::memcpy(out.header.data(), data, BOOT_LIST_HEADER_SIZE);
    out.entries.resize(count);
    for (BlU32 i = 0; i < count; ++i) BlEntryRead(data, i, out.entries[i].data());
    return BootListRead::Ok;
}

std::u16string BootEntryPath(const std::array<std::uint8_t, BOOT_ENTRY_SIZE>& entry) {
    std::u16string path;
    for (std::size_t i = 0; i + 1 < BOOT_ENTRY_PATH_BYTES; i += 2) {
        const char16_t c = char16_t(entry[BOOT_ENTRY_PATH_OFFSET + i] | entry[BOOT_ENTRY_PATH_OFFSET + i + 1] << 8);
        if (!c) break;
        path += c;
    }
    return path;
}

bool AsciiCaseEquals(const std::u16string& a, const std::u16string& b) { return AsciiEqualsNoCase(a, b); }

BootListAdd AddBootDelete(BootDeleteList& list, const std::u16string& path, TextEquals sameText) {
    if (path.empty()) return BootListAdd::EmptyPath;
    if (path.size() > BOOT_ENTRY_PATH_MAX_CHARS) return BootListAdd::PathTooLong;
    if (list.entries.size() >= BOOT_LIST_MAX_ENTRIES) return BootListAdd::Full;
    for (const auto& e : list.entries)
        if (sameText(BootEntryPath(e), path)) return BootListAdd::AlreadyListed;
    if (BOOT_LIST_HEADER_SIZE + BOOT_ENTRY_SIZE * (list.entries.size() + 1) > BOOT_LIST_BUFFER_SIZE)
        return BootListAdd::Full;

    std::array<std::uint8_t, BOOT_ENTRY_SIZE> entry{};
    PutLe32(entry.data() + BOOT_ENTRY_KIND_OFFSET, BOOT_ENTRY_KIND_DELETE);
    PutLe32(entry.data() + BOOT_ENTRY_LENGTH_OFFSET, std::uint32_t(path.size() + 1));
    PutText(entry.data() + BOOT_ENTRY_PATH_OFFSET, path);
    PutText(entry.data() + BOOT_ENTRY_DIGITS_OFFSET, std::u16string(BOOT_ENTRY_DIGITS_CHARS, u'0'));
    list.entries.push_back(entry);
    return BootListAdd::Added;
}

std::size_t RemoveBootDelete(BootDeleteList& list, const std::u16string& path, TextEquals sameText) {
    const std::size_t before = list.entries.size();
    std::vector<std::array<std::uint8_t, BOOT_ENTRY_SIZE>> kept;
    for (const auto& e : list.entries)
        if (!sameText(BootEntryPath(e), path)) kept.push_back(e);
    list.entries = std::move(kept);
    return before - list.entries.size();
}

std::u16string WithoutPendingDeletion(const std::u16string& text, const std::u16string& ntPath, TextEquals sameText) {
    std::vector<std::u16string> items;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != u'\0') continue;
        items.push_back(text.substr(start, i - start));
        start = i + 1;
    }
    if (start < text.size()) items.push_back(text.substr(start));  // a last item without its NUL
    std::u16string out;
    // Items come in pairs; the value ends with one more NUL, which leaves an odd empty item at the end.
    for (std::size_t i = 0; i + 1 < items.size(); i += 2) {
        if (items[i + 1].empty() && sameText(items[i], ntPath)) continue;
        out += items[i] + u'\0' + items[i + 1] + u'\0';
    }
    if (!out.empty()) out += u'\0';
    return out;
}

std::vector<std::uint8_t> EncodeBootList(const BootDeleteList& list) {
    std::vector<std::uint8_t> out(BOOT_LIST_HEADER_SIZE + BOOT_ENTRY_SIZE * list.entries.size());
    std::memcpy(out.data(), list.header.data(), BOOT_LIST_HEADER_SIZE);
    PutLe32(out.data() + BOOT_LIST_COUNT_OFFSET, std::uint32_t(list.entries.size()));
    const std::uint8_t key = ScrambleKey(list.header);
    std::uint8_t* dst = out.data() + BOOT_LIST_HEADER_SIZE;
    for (const auto& e : list.entries)
        for (std::size_t b = 0; b < BOOT_ENTRY_SIZE; ++b) *dst++ = std::uint8_t(e[b] ^ key);
    return out;
}

bool ParseRootedKeyPath(const std::wstring& path, RegistryRoot& root, std::wstring& subkey) {
    static const struct {
        const wchar_t* name;
        RegistryRoot root;
    } kRoots[] = {
        {L"HKEY_LOCAL_MACHINE", RegistryRoot::LocalMachine}, {L"HKEY_CURRENT_USER", RegistryRoot::CurrentUser},
        {L"HKEY_CLASSES_ROOT", RegistryRoot::ClassesRoot},   {L"HKEY_USERS", RegistryRoot::Users},
        {L"HKEY_CURRENT_CONFIG", RegistryRoot::CurrentConfig},
    };
    for (const auto& r : kRoots) {
        if (!AsciiStartsWithNoCase(path, std::wstring(r.name))) continue;
        root = r.root;
        const std::size_t slash = path.find(L'\\');
        subkey = slash == std::wstring::npos ? std::wstring() : path.substr(slash + 1);
        return true;
    }
    return false;
}
