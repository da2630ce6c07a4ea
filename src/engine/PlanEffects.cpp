#include "engine/PlanEffects.h"

#include "engine/LiveEffects.h"

#include <shlwapi.h>

#include "engine/BootCleanDriver.h"
#include "disposal/Digest.h"
#include "disposal/ImagePath.h"
#include "util/WinHandle.h"
#include "util/Wow64.h"

namespace {

constexpr DWORD kSettable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                            FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE;

// One spelling per path: lower case, no "\\?\" in front, no "\" at the end.
// Where a path really is, in one spelling: under WoW64 "system32" is another folder with redirection on than
// with it off, and the plan must not take one for the other.
std::wstring Key(const std::wstring& path) {
    std::wstring key = NativeSystemPath(path.compare(0, 4, L"\\\\?\\") == 0 ? path.substr(4) : path);
    if (!key.empty()) ::CharLowerBuffW(&key[0], DWORD(key.size()));
    while (!key.empty() && (key.back() == L'\\' || key.back() == L'/')) key.pop_back();
    return key;
}

std::wstring ParentKey(const std::wstring& key) {
    const std::size_t slash = key.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : key.substr(0, slash);
}

std::wstring OwnName(const std::wstring& path) {
    std::wstring p = path;
    while (!p.empty() && (p.back() == L'\\' || p.back() == L'/')) p.pop_back();
    return FileNameOf(p);
}

// The attributes a file or folder shows after a set of `attributes` over `old`.
DWORD AfterSet(DWORD old, DWORD attributes) {
    const DWORD settable = attributes == FILE_ATTRIBUTE_NORMAL ? 0 : (attributes & kSettable);
    const DWORD kept = old & ~kSettable & ~DWORD(FILE_ATTRIBUTE_NORMAL);
    const DWORD result = settable | kept;
    return result ? result : FILE_ATTRIBUTE_NORMAL;
}

bool MatchesPattern(const std::wstring& name, const wchar_t* pattern) {
    if (!pattern || !*pattern || std::wstring(pattern) == L"*" || std::wstring(pattern) == L"*.*") return true;
    return ::PathMatchSpecW(name.c_str(), pattern) != FALSE;
}

}  // namespace

void PlanEffects::Record(const char* kind, std::vector<std::wstring> fields) {
    m_entries.push_back(JournalEntry{kind, AsJournaled(kind, std::move(fields))});
}

std::vector<JournalEntry> PlanEffects::Entries() const {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    return m_entries;
}

PlanEffects::View PlanEffects::Resolve(const std::wstring& path) const {
    const std::wstring key = Key(path);
    for (std::wstring at = key; !at.empty(); at = ParentKey(at)) {
        const auto node = m_nodes.find(at);
        if (node == m_nodes.end()) continue;
        View view;
        if (!node->second.exists) return view;
        const std::wstring rest = key.substr(at.size());
        if (rest.empty()) {
            view.exists = true;
            view.attributes = node->second.attributes;
            view.real = node->second.real;
            return view;
        }
        if (node->second.real.empty()) return view;  // inside a planned new folder: only what the plan put there
        view.real = node->second.real + rest;
        view.attributes = ::GetFileAttributesW(view.real.c_str());
        view.exists = view.attributes != INVALID_FILE_ATTRIBUTES;
        return view;
    }
    View view;
    view.real = path;
    view.attributes = ::GetFileAttributesW(path.c_str());
    view.exists = view.attributes != INVALID_FILE_ATTRIBUTES;
    return view;
}

DWORD PlanEffects::Attributes(const std::wstring& path) {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    const View view = Resolve(path);
    return view.exists ? view.attributes : INVALID_FILE_ATTRIBUTES;
}

std::wstring PlanEffects::ReadablePath(const std::wstring& path) {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    const View view = Resolve(path);
    return view.exists ? view.real : std::wstring();
}

FolderListing PlanEffects::List(const std::wstring& folder, const wchar_t* pattern) {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    FolderListing listing;
    const View view = Resolve(folder);
    if (!view.exists || !(view.attributes & FILE_ATTRIBUTE_DIRECTORY)) return listing;
    if (!view.real.empty()) {
        listing = ListFolder(view.real, pattern);
        if (!listing.started) return listing;
    } else {
        listing.started = listing.complete = true;
    }
    std::wstring base = folder;
    if (base.empty() || base.back() != L'\\') base += L'\\';
    std::vector<FolderEntry> entries;
    for (FolderEntry entry : listing.entries) {
        const View child = Resolve(base + entry.name);
        if (!child.exists) continue;
        entry.attributes = child.attributes;
        entries.push_back(entry);
    }
    // What the plan put into the folder: moved or created there.
    const std::wstring parent = Key(folder);
    for (const auto& node : m_nodes) {
        if (!node.second.exists || ParentKey(node.first) != parent || !MatchesPattern(node.second.name, pattern)) continue;
        bool listed = false;
        for (const auto& e : entries) listed = listed || Key(base + e.name) == node.first;
        if (!listed) entries.push_back(FolderEntry{node.second.name, std::wstring(), node.second.attributes});
    }
    listing.entries = entries;
    return listing;
}

bool PlanEffects::DeleteFile(const std::wstring& path) {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    const View view = Resolve(path);
    if (!view.exists || (view.attributes & FILE_ATTRIBUTE_DIRECTORY)) return true;
    Record(journal::kDeleteFile, {path, std::wstring(), HexField(view.attributes)});
    Node gone;
    gone.exists = false;
    m_nodes[Key(path)] = gone;
    return true;
}

bool PlanEffects::DeleteAtRestart(const std::wstring& path) {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    if (!Resolve(path).exists) return false;
    Record(journal::kDeleteAtRestart, {path, std::wstring()});
    return true;
}

bool PlanEffects::DeleteAtBoot(const std::wstring& path) {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    if (!Resolve(path).exists || !BootCleanRegistrar::DriverCanLoad()) return false;
    // The first boot-time deletion installs the driver: planned as the live run would make it.
    if (!m_driverPlanned) {
        if (FAILED(BootCleanRegistrar().InstallBootCleanDriver(*this, L"BC.sys", L"BC", L"Boot Bus Extender",
                                                                SERVICE_BOOT_START)))
            return false;
        m_driverPlanned = true;
    }
    Record(journal::kDeleteAtBoot, {path, std::wstring()});
    return true;
}

void PlanEffects::ForgetRestartDeletion(const std::wstring& path) {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    // Only what this plan listed would be taken off again.
    const std::wstring key = Key(NativeSystemPath(path));
    for (const auto& e : m_entries)
        if ((e.kind == journal::kDeleteAtRestart || e.kind == journal::kDeleteAtBoot) && !e.fields.empty() &&
            Key(e.fields[0]) == key) {
            Record(journal::kForgetRestart, {path});
            return;
        }
}

bool PlanEffects::BackUpFile(const std::wstring& path) {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    if (!Resolve(path).exists) return false;
    Record(journal::kBackUp, {path, std::wstring()});
    return true;
}

bool PlanEffects::SetAttributes(const std::wstring& path, DWORD attributes) {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    const View view = Resolve(path);
    if (!view.exists) return false;
    const DWORD wanted = attributes == FILE_ATTRIBUTE_NORMAL ? 0 : (attributes & kSettable);
    if ((view.attributes & kSettable) == wanted) return true;
    Node node;
    node.attributes = AfterSet(view.attributes, attributes);
    node.real = view.real;
    node.name = OwnName(path);
    m_nodes[Key(path)] = node;
    Record(journal::kSetAttributes, {path, HexField(view.attributes), HexField(attributes)});
    return true;
}

bool PlanEffects::Move(const std::wstring& from, const std::wstring& to, bool replace) {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    const View source = Resolve(from);
    if (!source.exists) return false;
    const View target = Resolve(to);
    if (target.exists && (!replace || (target.attributes & FILE_ATTRIBUTE_DIRECTORY) || !DeleteFile(to))) return false;
    const std::wstring fromKey = Key(from), toKey = Key(to);
    // What the plan did inside a moved folder moves with it.
    std::map<std::wstring, Node> moved;
    for (auto it = m_nodes.begin(); it != m_nodes.end();) {
        if (it->first.compare(0, fromKey.size() + 1, fromKey + L"\\") == 0) {
            moved[toKey + it->first.substr(fromKey.size())] = it->second;
            it = m_nodes.erase(it);
        } else {
            ++it;
        }
    }
    for (const auto& m : moved) m_nodes[m.first] = m.second;
    Node gone;
    gone.exists = false;
    m_nodes[fromKey] = gone;
    Node node;
    node.attributes = source.attributes;
    node.real = source.real;
    node.name = OwnName(to);
    m_nodes[toKey] = node;
    Record(journal::kMove, {from, to});
    return true;
}

bool PlanEffects::CreateFolder(const std::wstring& path) {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    const std::wstring key = Key(path);
    if (Resolve(path).exists || ParentKey(key).empty()) return false;
    std::wstring trimmed = path;
    while (!trimmed.empty() && trimmed.back() == L'\\') trimmed.pop_back();
    const View parent = Resolve(trimmed.substr(0, trimmed.find_last_of(L'\\') + 1));
    if (!parent.exists || !(parent.attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
    Node node;
    node.attributes = FILE_ATTRIBUTE_DIRECTORY;
    node.name = OwnName(path);
    m_nodes[key] = node;
    Record(journal::kCreateFolder, {path});
    return true;
}

bool PlanEffects::RemoveFolder(const std::wstring& path) {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    const View view = Resolve(path);
    if (!view.exists || !(view.attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        ::SetLastError(view.exists ? ERROR_DIRECTORY : ERROR_FILE_NOT_FOUND);
        return false;
    }
    const FolderListing inside = List(path, L"*");
    if (!inside.started || !inside.entries.empty()) {  // the system removes empty folders only
        ::SetLastError(ERROR_DIR_NOT_EMPTY);
        return false;
    }
    Node gone;
    gone.exists = false;
    m_nodes[Key(path)] = gone;
    Record(journal::kRemoveFolder, {path, HexField(view.attributes)});
    return true;
}

bool PlanEffects::WriteNewFile(const std::wstring& path, const void*, std::size_t) {
    return ProduceFile(path, nullptr);
}

bool PlanEffects::ProduceFile(const std::wstring& path, const std::function<bool(const std::wstring&)>&) {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    if (Resolve(path).exists) return false;
    Node node;
    node.attributes = FILE_ATTRIBUTE_NORMAL;
    node.name = OwnName(path);
    m_nodes[Key(path)] = node;
    Record(journal::kCreateFile, {path, std::wstring()});
    return true;
}

bool PlanEffects::EditFile(const std::wstring& path, const std::function<bool(const std::wstring&)>&) {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    if (!Resolve(path).exists) return false;
    Record(journal::kEditFile, {path, std::wstring(), std::wstring()});
    return true;
}

bool PlanEffects::SetRegistryValue(HKEY root, const std::wstring& key, const std::wstring& name, DWORD type,
                                   const void* data, DWORD size, REGSAM view) {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    RegKey k;
    const bool planned = PlannedKey(root, key, view);  // made by the plan: no value there yet
    if (!planned && ::RegOpenKeyExW(root, key.c_str(), 0, KEY_QUERY_VALUE | view, k.Put()) != ERROR_SUCCESS) return false;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    const std::vector<std::uint8_t> wanted(bytes, bytes + size);
    DWORD oldType = 0;
    std::vector<std::uint8_t> old;
    const LONG read = planned ? LONG(ERROR_FILE_NOT_FOUND) : ReadRegistryValue(root, key, name, oldType, old, view);
    if (read != ERROR_SUCCESS && read != ERROR_FILE_NOT_FOUND) return false;  // as the live run refuses it
    const bool existed = read == ERROR_SUCCESS;
    if (existed && oldType == type && old == wanted) return true;
    const std::wstring rootName = RootName(root, view);
    // Set once in a plan: the machine still holds the old value, the plan already the new one.
    for (const auto& e : m_entries)
        if (e.kind == journal::kSetValue && e.fields.size() >= 7 && e.fields[0] == rootName &&
            Key(e.fields[1]) == Key(key) && e.fields[2] == name && e.fields[5] == HexField(type) &&
            e.fields[6] == BytesField(wanted))
            return true;
    Record(journal::kSetValue, {rootName, key, name, existed ? HexField(oldType) : L"-", BytesField(old), HexField(type),
                                BytesField(wanted)});
    return true;
}

bool PlanEffects::DeleteRegistryValue(HKEY root, const std::wstring& key, const std::wstring& name, REGSAM view) {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    DWORD oldType = 0;
    std::vector<std::uint8_t> old;
    const LONG read = ReadRegistryValue(root, key, name, oldType, old, view);
    if (read == ERROR_FILE_NOT_FOUND) return true;
    if (read != ERROR_SUCCESS) return false;  // as the live run refuses it
    const std::wstring rootName = RootName(root, view);
    for (const auto& e : m_entries)
        if (e.kind == journal::kDeleteValue && e.fields.size() >= 3 && e.fields[0] == rootName &&
            Key(e.fields[1]) == Key(key) && Key(e.fields[2]) == Key(name))
            return true;
    Record(journal::kDeleteValue, {rootName, key, name, HexField(oldType), BytesField(old), L"-", L""});
    return true;
}

bool PlanEffects::DeleteRegistryKey(HKEY root, const std::wstring& key, REGSAM view) {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    RegKey k;
    if (::RegOpenKeyExW(root, key.c_str(), 0, KEY_READ | view, k.Put()) != ERROR_SUCCESS) return true;
    const std::wstring rootName = RootName(root, view);
    for (const auto& e : m_entries)
        if (e.kind == journal::kDeleteKey && e.fields.size() >= 2 && e.fields[0] == rootName && Key(e.fields[1]) == Key(key))
            return true;
    Record(journal::kDeleteKey, {rootName, key, std::wstring()});
    return true;
}

bool PlanEffects::CreateRegistryKey(HKEY root, const std::wstring& key, REGSAM view) {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    if (PlannedKey(root, key, view)) return true;
    RegKey k;
    if (::RegOpenKeyExW(root, key.c_str(), 0, KEY_READ | view, k.Put()) == ERROR_SUCCESS) return true;
    const std::size_t slash = key.find_last_of(L'\\');
    if (slash != std::wstring::npos && !CreateRegistryKey(root, key.substr(0, slash), view)) return false;
    Record(journal::kCreateKey, {RootName(root, view), key});
    return true;
}

bool PlanEffects::PlannedKey(HKEY root, const std::wstring& key, REGSAM view) const {
    const std::wstring rootName = RootName(root, view);
    for (const auto& e : m_entries)
        if (e.kind == journal::kCreateKey && e.fields.size() >= 2 && e.fields[0] == rootName && Key(e.fields[1]) == Key(key))
            return true;
    return false;
}

bool PlanEffects::EndProcess(HANDLE, DWORD processId, const std::wstring& image) {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    // The process goes on running in a plan: it is planned to end once.
    for (const auto& e : m_entries)
        if (e.kind == journal::kEndProcess && !e.fields.empty() && e.fields[0] == HexField(processId)) return true;
    Record(journal::kEndProcess, {HexField(processId), image});
    return true;
}

bool PlanEffects::RunProgram(const std::wstring& command, const std::function<bool()>&) {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    Record(journal::kRunProgram, {command});
    return true;
}

bool PlanEffects::ConfigureDriverService(const std::wstring& name, DWORD startType, const std::wstring& image,
                                         const std::wstring& group) {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    for (const auto& e : m_entries)
        if ((e.kind == journal::kCreateService || e.kind == journal::kChangeService) && !e.fields.empty() &&
            e.fields[0] == name)
            return true;
    ServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    ServiceHandle service(manager ? ::OpenServiceW(manager.Get(), name.c_str(), SERVICE_QUERY_CONFIG) : nullptr);
    DWORD oldStart = 0;
    std::wstring oldImage, oldGroup;
    if (service) {
        if (!ReadServiceConfig(service.Get(), oldStart, oldImage, oldGroup)) return false;
        if (oldStart == startType && lstrcmpiW(oldImage.c_str(), image.c_str()) == 0 && oldGroup == group) return true;
        Record(journal::kChangeService, {name, HexField(oldStart), oldImage, oldGroup, HexField(startType)});
    } else
        Record(journal::kCreateService, {name});
    return true;
}

bool PlanEffects::WriteSector(const SectorWrite& w) {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    if (w.size == 0 || !w.data) return false;
    Record(journal::kWriteSector, {w.device, HexField(std::uint32_t(w.offset >> 32)) + L":" + HexField(std::uint32_t(w.offset)),
                                   std::wstring(), DigestHexWide(Md5(w.data, w.size)), HexField(w.size)});
    return true;
}
