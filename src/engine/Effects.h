#pragma once
// The one way the engine changes the machine. The cleaners, the disposal layer and the scan make every change
// through an Effects object and read what they change back through it too:
// - the live binding (LiveEffects) acts, and writes each change to the session journal with what is needed to
//   put it back (velscan --undo);
// - the plan binding (PlanEffects) changes nothing, records what would be done, and answers the reads as the
//   machine would be after the changes so far, so a planned run meets each file as the real run would.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/JournalFormat.h"
#include "util/FolderListing.h"

// `size` bytes of `data` written at byte `offset` of `device`. The `keepSize` bytes from `offset` (at least
// `size`; the sectors around it a repair read) are kept before, as `keptName` in the session's folder.
struct SectorWrite {
    std::wstring device;
    std::uint64_t offset = 0;
    const void* data = nullptr;
    DWORD size = 0;
    DWORD keepSize = 0;
    std::wstring keptName;
    // The volume lock is asked for around the write (its answers do not decide anything).
    bool lockVolume = false;
};

// The 64-bit registry view, for the 32-bit program on 64-bit Windows.
constexpr REGSAM kRegistry64 = KEY_WOW64_64KEY;

class Effects {
public:
    virtual ~Effects() = default;

    // A scan session: the live binding's journal and kept copies belong to one.
    virtual void BeginSession() {}
    virtual void EndSession() {}

    // --- What is there now (after the changes made or planned so far).
    // INVALID_FILE_ATTRIBUTES when nothing is there.
    virtual DWORD Attributes(const std::wstring& path) = 0;
    virtual FolderListing List(const std::wstring& folder, const wchar_t* pattern = L"*") = 0;
    // Where the bytes now at `path` can be read; empty when there are none to read (a planned file).
    virtual std::wstring ReadablePath(const std::wstring& path) = 0;

    // --- Changes. Each returns whether it happened (or, planned, would happen).
    // Deletes a file now; nothing there (or a folder) counts as gone.
    virtual bool DeleteFile(const std::wstring& path) = 0;
    // The deletion is left to the next restart (the system's pending renames) or to the boot-clean driver.
    virtual bool DeleteAtRestart(const std::wstring& path) = 0;
    virtual bool DeleteAtBoot(const std::wstring& path) = 0;
    // Takes `path` off both restart lists again (a repair wrote it back).
    virtual void ForgetRestartDeletion(const std::wstring& path) = 0;
    // The copy "BackFiles\<name>_<tick count>" a threat gets before it is removed.
    virtual bool BackUpFile(const std::wstring& path) = 0;
    virtual bool SetAttributes(const std::wstring& path, DWORD attributes) = 0;
    // Renames or moves a file or folder; with `replace` a file at `to` is replaced (its bytes kept).
    virtual bool Move(const std::wstring& from, const std::wstring& to, bool replace = false) = 0;
    virtual bool CreateFolder(const std::wstring& path) = 0;
    virtual bool RemoveFolder(const std::wstring& path) = 0;
    // A new file, never over an existing one.
    virtual bool WriteNewFile(const std::wstring& path, const void* data, std::size_t size) = 0;
    // A new file that `writer` writes to the path it is given (an archive library's extraction); a partial
    // file of a failed writer is removed.
    virtual bool ProduceFile(const std::wstring& path, const std::function<bool(const std::wstring&)>& writer) = 0;
    // Changes a file in place through `editor`, which gets the path to edit; the bytes before are kept.
    virtual bool EditFile(const std::wstring& path, const std::function<bool(const std::wstring&)>& editor) = 0;
    // Registry changes name a view: 0 for this program's own, kRegistry64 for the 64-bit one that a 32-bit
    // program on 64-bit Windows does not see by default (its "Software" is redirected).
    virtual bool SetRegistryValue(HKEY root, const std::wstring& key, const std::wstring& name, DWORD type,
                                  const void* data, DWORD size, REGSAM view = 0) = 0;
    // Deletes a value; nothing there counts as done.
    virtual bool DeleteRegistryValue(HKEY root, const std::wstring& key, const std::wstring& name, REGSAM view = 0) = 0;
    // Deletes a key with everything below it; nothing there counts as done.
    virtual bool DeleteRegistryKey(HKEY root, const std::wstring& key, REGSAM view = 0) = 0;
    // Makes a key (and the keys above it) that is not there; one that is there counts as done.
    virtual bool CreateRegistryKey(HKEY root, const std::wstring& key, REGSAM view = 0) = 0;
    // Writes to a disk or volume (a device path such as "\\.\PhysicalDrive0", or an image file). The bytes
    // there before are kept first; nothing is written when they cannot be.
    virtual bool WriteSector(const SectorWrite& write) = 0;
    // Creates a kernel-driver service, or changes an existing one to this start type, image and group.
    virtual bool ConfigureDriverService(const std::wstring& name, DWORD startType, const std::wstring& image,
                                        const std::wstring& group) = 0;
    // Starts a program that changes files of its own (a compiler rebuilding a unit); `run` starts it.
    virtual bool RunProgram(const std::wstring& command, const std::function<bool()>& run) = 0;
    // Ends a running process (never restarted by an undo).
    virtual bool EndProcess(HANDLE process, DWORD processId, const std::wstring& image) = 0;

    // What this session changed (or would change), in order.
    virtual std::vector<JournalEntry> Entries() const = 0;
    // Where the session's journal is; empty when there is none (nothing changed, or only planned).
    virtual std::wstring SessionFolder() const { return std::wstring(); }
};

// Journal kinds, as they stand in the journal's lines.
namespace journal {
constexpr char kDeleteFile[] = "delete-file";          // path, kept copy, attributes
constexpr char kDeleteAtRestart[] = "restart-delete";  // path, kept copy ("" when unreadable)
constexpr char kDeleteAtBoot[] = "boot-delete";        // path, kept copy
constexpr char kForgetRestart[] = "forget-restart";    // path
constexpr char kBackUp[] = "backup";                   // path, backup
constexpr char kSetAttributes[] = "set-attributes";    // path, old, new
constexpr char kMove[] = "move";                       // from, to
constexpr char kCreateFolder[] = "create-folder";      // path
constexpr char kRemoveFolder[] = "remove-folder";      // path, attributes
constexpr char kCreateFile[] = "create-file";          // path, MD5 of what was written
constexpr char kEditFile[] = "edit-file";              // path, kept copy, MD5 after
constexpr char kSetValue[] = "registry-set";           // root, key, name, old type or "-", old data, new type, new data
constexpr char kDeleteValue[] = "registry-delete-value";  // root, key, name, old type, old data, "-", ""
constexpr char kDeleteKey[] = "registry-delete-key";   // root, key, saved copy
constexpr char kCreateKey[] = "registry-create-key";   // root, key
constexpr char kEndProcess[] = "end-process";          // process id, image
constexpr char kRunProgram[] = "run-program";          // command line
constexpr char kWriteSector[] = "write-sector";        // device, offset, kept copy, MD5 of what was written, size
constexpr char kCreateService[] = "service-create";    // name
constexpr char kChangeService[] = "service-change";    // name, old start type, old image, old group, new start type
}  // namespace journal

// Copies the file `from` to `to`: a new file, or over the one there (whose bytes are kept first).
bool CopyFileOver(Effects& fx, const std::wstring& from, const std::wstring& to);

// The fields as the journal keeps them: a file named through a WoW64 alias ("Sysnative", or "system32" under
// redirection) is named where it really is, as the findings name it.
std::vector<std::wstring> AsJournaled(const char* kind, std::vector<std::wstring> fields);

// "HKLM", "HKCU", "HKCR", "HKU" in the journal; "HKLM64" and so on for the 64-bit view.
std::wstring RootName(HKEY root, REGSAM view = 0);
HKEY RootNamed(const std::wstring& name, REGSAM* view = nullptr);
