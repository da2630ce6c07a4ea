#include "engine/LiveEffects.h"

#include <shlwapi.h>
#include <winioctl.h>

#include <cwchar>

#include "engine/BootCleanDriver.h"
#include "engine/BootDeleteList.h"
#include "disposal/Digest.h"
#include "disposal/DigestFile.h"
#include "disposal/ImagePath.h"
#include "engine/RestartLists.h"
#include "util/ProgramPath.h"
#include "util/Wow64.h"

namespace {

// Backups of one name within one tick: enough for every file a step can remove at once.
constexpr int kMaxBackupNumber = 1000;

std::wstring Lowered(std::wstring s) {
    if (!s.empty()) ::CharLowerBuffW(&s[0], DWORD(s.size()));
    return s;
}

std::wstring Md5Of(const std::wstring& path) { return DigestsOfFile(path.c_str()).md5; }

constexpr ULONG_PTR kTearDownEnd = 0x7FFFE000;
constexpr ULONG_PTR kPageSize = 4096;

// Frees the memory of a process that would not end, until it dies. A release needs an allocation's base, so
// the regions are walked one allocation at a time rather than asked about at every page.
void TearDown(HANDLE process) {
    for (ULONG_PTR address = 0; address <= kTearDownEnd;) {
        DWORD code = 0;
        if (!::GetExitCodeProcess(process, &code) || code != STILL_ACTIVE) return;
        MEMORY_BASIC_INFORMATION region = {};
        if (::VirtualQueryEx(process, reinterpret_cast<void*>(address), &region, sizeof region) != sizeof region) return;
        const ULONG_PTR base = reinterpret_cast<ULONG_PTR>(region.BaseAddress);
        if (region.State != MEM_FREE && region.AllocationBase == region.BaseAddress)
            ::VirtualFreeEx(process, region.BaseAddress, 0, MEM_RELEASE);
        const ULONG_PTR next = base + (region.RegionSize ? region.RegionSize : kPageSize);
        if (next <= address) return;  // wrapped past the end of the address space
        address = next;
    }
}


// Ends the process; one that will not end within a second is torn down.
bool EndProcessNow(HANDLE process) {
    if (!::TerminateProcess(process, 0)) return false;
    // Let it go before a snapshot looks again; one that will not end is torn down.
    if (::WaitForSingleObject(process, 1000) == WAIT_TIMEOUT) TearDown(process);
    return true;
}



// "20261211-134502": the session's start, local time; a second session within the second takes "-2", "-3".
std::wstring StartStamp() {
    SYSTEMTIME t;
    ::GetLocalTime(&t);
    wchar_t text[32];
    wsprintfW(text, L"%04u%02u%02u-%02u%02u%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
    return text;
}

}  // namespace

std::vector<std::wstring> AsJournaled(const char* kind, std::vector<std::wstring> fields) {
    const std::string k = kind;
    const bool files = k != journal::kSetValue && k != journal::kDeleteValue && k != journal::kDeleteKey &&
                       k != journal::kCreateKey &&
                       k != journal::kEndProcess &&
                       k != journal::kRunProgram && k != journal::kCreateService && k != journal::kChangeService &&
                       k != journal::kWriteSector;
    if (files && !fields.empty()) fields[0] = NativeSystemPath(fields[0]);
    if (k == journal::kMove && fields.size() > 1) fields[1] = NativeSystemPath(fields[1]);
    return fields;
}

std::wstring SessionsFolder() { return ProgramFolder() + L"\\BackFiles\\"; }

std::wstring FallbackSessionsFolder() {
    const std::wstring temp = TempFolder();
    return temp.empty() ? temp : temp + L"VeludiskBackFiles\\";
}

std::vector<std::wstring> AllSessionsFolders() {
    std::vector<std::wstring> folders{SessionsFolder()};
    const std::wstring fallback = FallbackSessionsFolder();
    if (!fallback.empty()) folders.push_back(fallback);
    return folders;
}

std::wstring RootName(HKEY root, REGSAM view) {
    const wchar_t* name = L"?";
    if (root == HKEY_LOCAL_MACHINE) name = L"HKLM";
    else if (root == HKEY_CURRENT_USER) name = L"HKCU";
    else if (root == HKEY_CLASSES_ROOT) name = L"HKCR";
    else if (root == HKEY_USERS) name = L"HKU";
    return std::wstring(name) + ((view & kRegistry64) ? L"64" : L"");
}

HKEY RootNamed(const std::wstring& name, REGSAM* view) {
    std::wstring base = name;
    const bool wide = base.size() > 2 && base.compare(base.size() - 2, 2, L"64") == 0;
    if (wide) base.resize(base.size() - 2);
    if (view) *view = wide ? kRegistry64 : 0;
    if (base == L"HKLM") return HKEY_LOCAL_MACHINE;
    if (base == L"HKCU") return HKEY_CURRENT_USER;
    if (base == L"HKCR") return HKEY_CLASSES_ROOT;
    if (base == L"HKU") return HKEY_USERS;
    return nullptr;
}

void SessionJournal::Begin() {
    m_file.Reset();
    m_folder.clear();
    m_failed = false;
    m_entries.clear();
}

// The session's folder and entries stay known for the report; nothing more is written to it.
void SessionJournal::End() {
    m_file.Reset();
    if (m_folder.empty()) m_failed = true;
}

std::wstring SessionJournal::Folder() {
    if (!m_folder.empty() || m_failed) return m_folder;
    const std::wstring stamp = StartStamp();
    // Beside the program; when that cannot be written (a program run from a read-only medium), in the
    // temporary folder, where --undo and --sessions look too.
    const std::wstring places[] = {m_sessions, m_fallback};
    for (const std::wstring& place : places) {
        if (place.empty()) continue;
        ::CreateDirectoryW(place.c_str(), nullptr);
        for (int n = 1; n < 100 && m_folder.empty(); ++n) {
            const std::wstring folder = place + stamp + (n == 1 ? L"" : L"-" + std::to_wstring(n));
            if (::CreateDirectoryW(folder.c_str(), nullptr)) m_folder = folder + L"\\";
        }
        if (!m_folder.empty()) break;
    }
    if (m_folder.empty()) {
        m_failed = true;
        return m_folder;
    }
    m_file.Reset(::CreateFileW((m_folder + L"journal.txt").c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                               CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr));
    const std::string header = std::string(kJournalHeader) + "\n";
    DWORD written = 0;
    if (!m_file || !::WriteFile(m_file.Get(), header.data(), DWORD(header.size()), &written, nullptr) ||
        written != header.size()) {
        // Without a journal no change is made: nothing would say how to put it back.
        m_file.Reset();
        m_folder.clear();
        m_failed = true;
    }
    return m_folder;
}

bool SessionJournal::Append(const JournalEntry& entry) {
    m_entries.push_back(entry);
    if (Folder().empty() || !m_file) return false;
    const std::string line = EncodeJournalLine(entry);
    DWORD written = 0;
    const bool ok = ::WriteFile(m_file.Get(), line.data(), DWORD(line.size()), &written, nullptr) && written == line.size();
    ::FlushFileBuffers(m_file.Get());
    return ok;
}

void LiveEffects::BeginSession() {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    m_journal.Begin();
    m_kept.clear();
    m_copies = 0;
}

void LiveEffects::EndSession() {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    m_journal.End();
    m_kept.clear();
}

std::vector<JournalEntry> LiveEffects::Entries() const {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    return m_journal.Entries();
}

void LiveEffects::Record(const char* kind, std::vector<std::wstring> fields) {
    m_journal.Append(JournalEntry{kind, AsJournaled(kind, std::move(fields))});
}

DWORD LiveEffects::Attributes(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()); }

FolderListing LiveEffects::List(const std::wstring& folder, const wchar_t* pattern) { return ListFolder(folder, pattern); }

std::wstring LiveEffects::KeepCopy(const std::wstring& path) {
    const std::wstring key = Lowered(path);
    const auto known = m_kept.find(key);
    if (known != m_kept.end()) return known->second;
    const std::wstring folder = m_journal.Folder();
    if (folder.empty()) return std::wstring();
    const std::wstring files = folder + L"files\\";
    ::CreateDirectoryW(files.c_str(), nullptr);
    const std::wstring copy = files + std::to_wstring(++m_copies) + L"-" + FileNameOf(path);
    if (!::CopyFileW(path.c_str(), copy.c_str(), TRUE)) return std::wstring();
    ::SetFileAttributesW(copy.c_str(), FILE_ATTRIBUTE_NORMAL);
    m_kept[key] = copy;
    return copy;
}

bool LiveEffects::DeleteFile(const std::wstring& path) {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return true;
    // Nothing is deleted whose bytes could not be kept for the undo.
    const std::wstring kept = KeepCopy(path);
    if (kept.empty()) return false;
    if (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM))
        ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!::DeleteFileW(path.c_str())) {
        ::SetFileAttributesW(path.c_str(), attributes);
        return false;
    }
    Record(journal::kDeleteFile, {path, kept, HexField(attributes)});
    // A file that appears at that path later is another file: its bytes are kept anew.
    m_kept.erase(Lowered(path));
    return true;
}

bool LiveEffects::DeleteAtRestart(const std::wstring& path) {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    if (::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
    // A file held open so that it cannot even be read is still listed: the undo then takes it off the list.
    const std::wstring kept = KeepCopy(path);
    // 64-bit Windows carries out the restart deletion without redirection: name the file it really is.
    if (!::MoveFileExW(NativeSystemPath(path.c_str()).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) return false;
    Record(journal::kDeleteAtRestart, {path, kept});
    return true;
}

bool LiveEffects::DeleteAtBoot(const std::wstring& path) {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    if (::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
    const std::wstring kept = KeepCopy(path);
    BootCleanRegistrar registrar;
    if (registrar.RegisterBootDelete(*this, path.c_str()) != S_OK) return false;
    Record(journal::kDeleteAtBoot, {path, kept});
    return true;
}

void LiveEffects::ForgetRestartDeletion(const std::wstring& path) {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    const bool boot = BootCleanRegistrar().UnregisterBootDelete(path.c_str()) == S_OK;
    const bool restart = TakeOffPendingRenames(path);
    if (boot || restart) Record(journal::kForgetRestart, {path});
}

bool LiveEffects::BackUpFile(const std::wstring& path) {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    const std::wstring folder = SessionsFolder();
    ::CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring name = FileNameOf(path) + L"_" + std::to_wstring(static_cast<int>(::GetTickCount()));
    // Two files of one name removed within a tick would share a backup name: the later one takes a number
    // rather than overwrite the earlier backup.
    std::wstring target = folder + name;
    bool copied = false;
    for (int n = 2; !(copied = ::CopyFileW(path.c_str(), target.c_str(), TRUE) != 0) &&
                    ::GetLastError() == ERROR_FILE_EXISTS && n <= kMaxBackupNumber;
         ++n)
        target = folder + name + L"_" + std::to_wstring(n);
    if (!copied) return false;
    // The backup is also the undo's copy: no second one in the session folder.
    m_kept[Lowered(path)] = target;
    Record(journal::kBackUp, {path, target});
    return true;
}

bool LiveEffects::SetAttributes(const std::wstring& path, DWORD attributes) {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    const DWORD old = ::GetFileAttributesW(path.c_str());
    if (old == INVALID_FILE_ATTRIBUTES) return false;
    // What a set changes that matters: the folder bit is not settable, and the archive bit (which only backup
    // programs read, and which a plan cannot know for a file it has not written) stays out of the comparison.
    constexpr DWORD kSettable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_ATTRIBUTE_TEMPORARY |
                                FILE_ATTRIBUTE_OFFLINE;
    const DWORD wanted = attributes == FILE_ATTRIBUTE_NORMAL ? 0 : (attributes & kSettable);
    if ((old & kSettable) == wanted) return true;
    if (!::SetFileAttributesW(path.c_str(), attributes)) return false;
    Record(journal::kSetAttributes, {path, HexField(old), HexField(attributes)});
    return true;
}

bool LiveEffects::Move(const std::wstring& from, const std::wstring& to, bool replace) {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    if (::GetFileAttributesW(from.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
    const DWORD existing = ::GetFileAttributesW(to.c_str());
    if (existing != INVALID_FILE_ATTRIBUTES) {
        // The file replaced is a deletion of its own, its bytes kept.
        if (!replace || (existing & FILE_ATTRIBUTE_DIRECTORY) || !DeleteFile(to)) return false;
    }
    if (!::MoveFileW(from.c_str(), to.c_str())) return false;
    Record(journal::kMove, {from, to});
    m_kept.erase(Lowered(from));
    m_kept.erase(Lowered(to));
    return true;
}

bool LiveEffects::CreateFolder(const std::wstring& path) {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    if (!::CreateDirectoryW(path.c_str(), nullptr)) return false;
    Record(journal::kCreateFolder, {path});
    return true;
}

bool LiveEffects::RemoveFolder(const std::wstring& path) {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    // The system's own error stays for the caller: a folder named like a device fails in its own way.
    if (!::RemoveDirectoryW(path.c_str())) return false;
    Record(journal::kRemoveFolder,
           {path, HexField(attributes == INVALID_FILE_ATTRIBUTES ? FILE_ATTRIBUTE_DIRECTORY : attributes)});
    return true;
}

bool LiveEffects::WriteNewFile(const std::wstring& path, const void* data, std::size_t size) {
    return ProduceFile(path, [&](const std::wstring& target) {
        FileHandle out(::CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        return out && ::WriteFile(out.Get(), data, DWORD(size), &written, nullptr) && written == size;
    });
}

bool LiveEffects::ProduceFile(const std::wstring& path, const std::function<bool(const std::wstring&)>& writer) {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    if (::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return false;  // never over a file
    if (!writer(path)) {
        // What a failed writer left is ours: the name was free before it ran.
        ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(path.c_str());
        return false;
    }
    Record(journal::kCreateFile, {path, Md5Of(path)});
    return true;
}

bool LiveEffects::EditFile(const std::wstring& path, const std::function<bool(const std::wstring&)>& editor) {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    const std::wstring before = Md5Of(path);
    const std::wstring kept = KeepCopy(path);
    if (kept.empty()) return false;
    const bool edited = editor(path);
    const std::wstring after = Md5Of(path);
    if (after != before) {
        Record(journal::kEditFile, {path, kept, after});
        m_kept.erase(Lowered(path));  // its bytes now are not the kept ones
    }
    return edited;
}

LONG ReadRegistryValue(HKEY root, const std::wstring& key, const std::wstring& name, DWORD& type, std::vector<std::uint8_t>& data,
                       REGSAM view) {
    RegKey k;
    LONG r = ::RegOpenKeyExW(root, key.c_str(), 0, KEY_QUERY_VALUE | view, k.Put());
    if (r != ERROR_SUCCESS) return r;
    for (int attempt = 0; attempt < 4; ++attempt) {  // the value may grow between the two queries
        DWORD size = 0;
        r = ::RegQueryValueExW(k.Get(), name.c_str(), nullptr, &type, nullptr, &size);
        if (r != ERROR_SUCCESS) return r;
        data.assign(size, 0);
        r = ::RegQueryValueExW(k.Get(), name.c_str(), nullptr, &type, data.data(), &size);
        if (r == ERROR_SUCCESS) {
            data.resize(size);
            return r;
        }
        if (r != ERROR_MORE_DATA) return r;
    }
    return r;
}

bool LiveEffects::SetRegistryValue(HKEY root, const std::wstring& key, const std::wstring& name, DWORD type,
                                   const void* data, DWORD size, REGSAM view) {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    DWORD oldType = 0;
    std::vector<std::uint8_t> old;
    const LONG read = ReadRegistryValue(root, key, name, oldType, old, view);
    // A value that is there but cannot be read is not changed: its undo would not know what to put back.
    if (read != ERROR_SUCCESS && read != ERROR_FILE_NOT_FOUND) return false;
    const bool existed = read == ERROR_SUCCESS;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    if (existed && oldType == type && old == std::vector<std::uint8_t>(bytes, bytes + size)) return true;
    RegKey k;
    if (::RegOpenKeyExW(root, key.c_str(), 0, KEY_SET_VALUE | view, k.Put()) != ERROR_SUCCESS ||
        ::RegSetValueExW(k.Get(), name.c_str(), 0, type, bytes, size) != ERROR_SUCCESS)
        return false;
    Record(journal::kSetValue, {RootName(root, view), key, name, existed ? HexField(oldType) : L"-", BytesField(old),
                                HexField(type), BytesField(std::vector<std::uint8_t>(bytes, bytes + size))});
    return true;
}

bool LiveEffects::DeleteRegistryValue(HKEY root, const std::wstring& key, const std::wstring& name, REGSAM view) {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    DWORD oldType = 0;
    std::vector<std::uint8_t> old;
    const LONG read = ReadRegistryValue(root, key, name, oldType, old, view);
    if (read == ERROR_FILE_NOT_FOUND) return true;  // no key or no value: nothing to delete
    if (read != ERROR_SUCCESS) return false;        // there but unreadable: its undo would not know it
    RegKey k;
    if (::RegOpenKeyExW(root, key.c_str(), 0, KEY_SET_VALUE | view, k.Put()) != ERROR_SUCCESS ||
        ::RegDeleteValueW(k.Get(), name.c_str()) != ERROR_SUCCESS)
        return false;
    Record(journal::kDeleteValue, {RootName(root, view), key, name, HexField(oldType), BytesField(old), L"-", L""});
    return true;
}

namespace {
// Registry keys nest at most 512 deep; the names live on the heap, not on the stack of each level.
constexpr int kMaxKeyDepth = 512;

bool SaveRegistryTreeAt(HKEY root, const std::wstring& key, std::vector<JournalEntry>& lines, REGSAM view, int depth) {
    if (depth > kMaxKeyDepth) return false;
    RegKey k;
    if (::RegOpenKeyExW(root, key.c_str(), 0, KEY_READ | view, k.Put()) != ERROR_SUCCESS) return false;
    lines.push_back(JournalEntry{"key", {key}});
    std::vector<wchar_t> buffer(16384);
    wchar_t* name = buffer.data();
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = 16384, type = 0, size = 0;
        const LONG r = ::RegEnumValueW(k.Get(), i, name, &nameLength, nullptr, &type, nullptr, &size);
        if (r == ERROR_NO_MORE_ITEMS) break;
        if (r != ERROR_SUCCESS) return false;
        std::vector<std::uint8_t> data;
        if (ReadRegistryValue(root, key, std::wstring(name, nameLength), type, data, view) != ERROR_SUCCESS) return false;
        lines.push_back(JournalEntry{"value", {key, std::wstring(name, nameLength), HexField(type), BytesField(data)}});
    }
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = 256;
        const LONG r = ::RegEnumKeyExW(k.Get(), i, name, &nameLength, nullptr, nullptr, nullptr, nullptr);
        if (r == ERROR_NO_MORE_ITEMS) break;
        if (r != ERROR_SUCCESS ||
            !SaveRegistryTreeAt(root, key + L"\\" + std::wstring(name, nameLength), lines, view, depth + 1))
            return false;
    }
    return true;
}

// A key tree in the given view, deepest keys first. SHDeleteKey knows only this program's own view, and
// RegDeleteKeyEx (which takes one) is there only where there are two views.
bool DeleteKeyTreeInView(HKEY root, const std::wstring& key, REGSAM view, int depth) {
    if (depth > kMaxKeyDepth) return false;
    typedef LONG(WINAPI * DeleteKeyExFn)(HKEY, LPCWSTR, REGSAM, DWORD);
    static const auto deleteKeyEx = reinterpret_cast<DeleteKeyExFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"advapi32.dll"), "RegDeleteKeyExW")));
    if (!deleteKeyEx) return false;
    {
        RegKey k;
        if (::RegOpenKeyExW(root, key.c_str(), 0, KEY_READ | view, k.Put()) != ERROR_SUCCESS) return false;
        std::vector<wchar_t> name(256);
        // Always the first subkey: each one is gone before the next is asked for.
        for (;;) {
            DWORD length = 256;
            const LONG r = ::RegEnumKeyExW(k.Get(), 0, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
            if (r == ERROR_NO_MORE_ITEMS) break;
            if (r != ERROR_SUCCESS ||
                !DeleteKeyTreeInView(root, key + L"\\" + std::wstring(name.data(), length), view, depth + 1))
                return false;
        }
    }
    return deleteKeyEx(root, key.c_str(), view, 0) == ERROR_SUCCESS;
}
}  // namespace

bool DeleteEmptyKey(HKEY root, const std::wstring& key, REGSAM view) {
    if (!view) return ::RegDeleteKeyW(root, key.c_str()) == ERROR_SUCCESS;
    return DeleteKeyTreeInView(root, key, view, kMaxKeyDepth);  // at the depth limit: this key only, no subkeys
}

bool SaveRegistryTree(HKEY root, const std::wstring& key, std::vector<JournalEntry>& lines, REGSAM view) {
    return SaveRegistryTreeAt(root, key, lines, view, 0);
}

bool RestoreRegistryTree(HKEY root, const std::wstring&, const std::vector<JournalEntry>& lines, REGSAM view) {
    bool ok = true;
    for (const auto& line : lines) {
        if (line.kind == "key" && line.fields.size() == 1) {
            RegKey k;
            ok = ::RegCreateKeyExW(root, line.fields[0].c_str(), 0, nullptr, 0, KEY_WRITE | view, nullptr, k.Put(), nullptr) ==
                     ERROR_SUCCESS && ok;
        } else if (line.kind == "value" && line.fields.size() == 4) {
            std::uint32_t type = 0;
            std::vector<std::uint8_t> data;
            RegKey k;
            ok = ParseHexField(line.fields[2], type) && ParseBytesField(line.fields[3], data) &&
                 ::RegOpenKeyExW(root, line.fields[0].c_str(), 0, KEY_SET_VALUE | view, k.Put()) == ERROR_SUCCESS &&
                 ::RegSetValueExW(k.Get(), line.fields[1].c_str(), 0, type, data.data(), DWORD(data.size())) ==
                     ERROR_SUCCESS &&
                 ok;
        } else {
            ok = false;
        }
    }
    return ok;
}

bool LiveEffects::DeleteRegistryKey(HKEY root, const std::wstring& key, REGSAM view) {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    std::vector<JournalEntry> lines;
    RegKey probe;
    const LONG opened = ::RegOpenKeyExW(root, key.c_str(), 0, KEY_READ | view, probe.Put());
    if (opened == ERROR_FILE_NOT_FOUND) return true;  // nothing there
    if (opened != ERROR_SUCCESS) return false;        // there, but not ours to read: not deleted either
    probe.Reset();
    // Saved before it goes; a key that cannot be saved whole is not deleted.
    const std::wstring folder = m_journal.Folder();
    if (folder.empty() || !SaveRegistryTree(root, key, lines, view)) return false;
    const std::wstring saved = folder + L"key-" + std::to_wstring(++m_copies) + L".txt";
    std::string text = std::string(kJournalHeader) + "\n";
    for (const auto& l : lines) text += EncodeJournalLine(l);
    {
        FileHandle out(::CreateFileW(saved.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        if (!out || !::WriteFile(out.Get(), text.data(), DWORD(text.size()), &written, nullptr) || written != text.size())
            return false;
        ::FlushFileBuffers(out.Get());
    }
    // Journaled even when the deletion stops half-way: whatever went is in the saved copy.
    const bool deleted = view ? DeleteKeyTreeInView(root, key, view, 0) : ::SHDeleteKeyW(root, key.c_str()) == ERROR_SUCCESS;
    Record(journal::kDeleteKey, {RootName(root, view), key, saved});
    return deleted;
}

bool LiveEffects::CreateRegistryKey(HKEY root, const std::wstring& key, REGSAM view) {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    RegKey probe;
    if (::RegOpenKeyExW(root, key.c_str(), 0, KEY_READ | view, probe.Put()) == ERROR_SUCCESS) return true;
    // The keys above it that are missing are made too, each journaled, so the undo takes them away again.
    const std::size_t slash = key.find_last_of(L'\\');
    if (slash != std::wstring::npos && !CreateRegistryKey(root, key.substr(0, slash), view)) return false;
    RegKey k;
    DWORD disposition = 0;
    if (::RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_READ | view, nullptr, k.Put(), &disposition) != ERROR_SUCCESS)
        return false;
    if (disposition == REG_CREATED_NEW_KEY) Record(journal::kCreateKey, {RootName(root, view), key});
    return true;
}

bool CopyFileOver(Effects& fx, const std::wstring& from, const std::wstring& to) {
    const DWORD there = fx.Attributes(to);
    if (there != INVALID_FILE_ATTRIBUTES && (there & FILE_ATTRIBUTE_DIRECTORY)) return false;
    if (there == INVALID_FILE_ATTRIBUTES)
        return fx.ProduceFile(to, [&](const std::wstring& path) { return ::CopyFileW(from.c_str(), path.c_str(), TRUE) != 0; });
    return fx.EditFile(to, [&](const std::wstring& path) {
        if (there & FILE_ATTRIBUTE_READONLY) ::SetFileAttributesW(path.c_str(), there & ~DWORD(FILE_ATTRIBUTE_READONLY));
        return ::CopyFileW(from.c_str(), path.c_str(), FALSE) != 0;
    });
}

bool LiveEffects::EndProcess(HANDLE process, DWORD processId, const std::wstring& image) {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    if (!EndProcessNow(process)) return false;
    Record(journal::kEndProcess, {HexField(processId), image});
    return true;
}

bool LiveEffects::RunProgram(const std::wstring& command, const std::function<bool()>& run) {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    if (!run()) return false;
    Record(journal::kRunProgram, {command});
    return true;
}

bool ReadServiceConfig(SC_HANDLE service, DWORD& start, std::wstring& image, std::wstring& group) {
    DWORD needed = 0;
    ::QueryServiceConfigW(service, nullptr, 0, &needed);
    if (!needed) return false;
    std::vector<BYTE> buffer(needed);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    if (!::QueryServiceConfigW(service, config, needed, &needed)) return false;
    start = config->dwStartType;
    image = config->lpBinaryPathName ? config->lpBinaryPathName : L"";
    group = config->lpLoadOrderGroup ? config->lpLoadOrderGroup : L"";
    return true;
}

bool LiveEffects::ConfigureDriverService(const std::wstring& name, DWORD startType, const std::wstring& image,
                                         const std::wstring& group) {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    ServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) return false;
    ServiceHandle service(::OpenServiceW(manager.Get(), name.c_str(), SERVICE_ALL_ACCESS));
    if (service) {
        DWORD oldStart = 0;
        std::wstring oldImage, oldGroup;
        if (!ReadServiceConfig(service.Get(), oldStart, oldImage, oldGroup)) return false;
        if (oldStart == startType && lstrcmpiW(oldImage.c_str(), image.c_str()) == 0 && oldGroup == group) return true;
        if (!::ChangeServiceConfigW(service.Get(), SERVICE_KERNEL_DRIVER, startType, SERVICE_ERROR_NORMAL, image.c_str(),
                                    group.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr))
            return false;
        Record(journal::kChangeService, {name, HexField(oldStart), oldImage, oldGroup, HexField(startType)});
        return true;
    }
    service.Reset(::CreateServiceW(manager.Get(), name.c_str(), name.c_str(), SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
                                   startType, SERVICE_ERROR_NORMAL, image.c_str(), group.c_str(), nullptr, nullptr,
                                   nullptr, nullptr));
    if (!service) return false;
    Record(journal::kCreateService, {name});
    return true;
}

bool ReadAt(HANDLE device, std::uint64_t offset, void* data, DWORD size) {
    LARGE_INTEGER at;
    at.QuadPart = LONGLONG(offset);
    DWORD read = 0;
    return ::SetFilePointerEx(device, at, nullptr, FILE_BEGIN) && ::ReadFile(device, data, size, &read, nullptr) &&
           read == size;
}

bool WriteAt(HANDLE device, std::uint64_t offset, const void* data, DWORD size) {
    LARGE_INTEGER at;
    at.QuadPart = LONGLONG(offset);
    DWORD written = 0;
    const bool ok = ::SetFilePointerEx(device, at, nullptr, FILE_BEGIN) &&
                    ::WriteFile(device, data, size, &written, nullptr) && written == size;
    ::FlushFileBuffers(device);
    return ok;
}

namespace {
// A name for a file in the session folder: only characters every file system takes.
std::wstring SafeFileName(const std::wstring& name) {
    std::wstring safe;
    for (wchar_t c : name) safe += (c < 0x20 || std::wcschr(L"\\/:*?\"<>|", c)) ? L'_' : c;
    return safe;
}
}  // namespace

bool LiveEffects::WriteSector(const SectorWrite& w) {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    if (w.size == 0 || !w.data) return false;
    FileHandle disk(::CreateFileW(w.device.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr));
    if (!disk) return false;
    const DWORD keep = w.keepSize > w.size ? w.keepSize : w.size;
    std::vector<std::uint8_t> before(keep);
    if (!ReadAt(disk.Get(), w.offset, before.data(), keep)) return false;
    // The bytes there before are kept, on the disk, before a byte of the sector changes.
    const std::wstring folder = m_journal.Folder();
    if (folder.empty()) return false;
    const std::wstring number = std::to_wstring(++m_copies);
    const std::wstring kept = folder + (w.keptName.empty() ? L"sector-" + number + L".bin"
                                                           : number + L"-" + SafeFileName(w.keptName));
    {
        FileHandle out(::CreateFileW(kept.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        if (!out || !::WriteFile(out.Get(), before.data(), keep, &written, nullptr) || written != keep ||
            !::FlushFileBuffers(out.Get()))
            return false;
    }
    DWORD ignored = 0;
    if (w.lockVolume) ::DeviceIoControl(disk.Get(), FSCTL_LOCK_VOLUME, nullptr, 0, nullptr, 0, &ignored, nullptr);
    const bool written = WriteAt(disk.Get(), w.offset, w.data, w.size);
    if (w.lockVolume) ::DeviceIoControl(disk.Get(), FSCTL_UNLOCK_VOLUME, nullptr, 0, nullptr, 0, &ignored, nullptr);
    if (!written) return false;
    const Md5Digest md5 = Md5(w.data, w.size);
    Record(journal::kWriteSector, {w.device, HexField(std::uint32_t(w.offset >> 32)) + L":" + HexField(std::uint32_t(w.offset)),
                                   kept, DigestHexWide(md5), HexField(w.size)});
    return true;
}
