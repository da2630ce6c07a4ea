#pragma once
// The live binding: makes each change, then appends it to the session journal in "BackFiles\<start time>\"
// beside the program, with what is needed to undo it. The session folder is made at the first change of a
// session, so a run that changes nothing leaves none.
#include <map>
#include <mutex>
#include <vector>

#include "engine/Effects.h"
#include "util/WinHandle.h"

// Where sessions live: "BackFiles" beside the program, or, when that cannot be written, "VeludiskBackFiles" in
// the temporary folder.
std::wstring SessionsFolder();
std::wstring FallbackSessionsFolder();
std::vector<std::wstring> AllSessionsFolders();

class SessionJournal {
public:
    SessionJournal(std::wstring sessionsFolder, std::wstring fallbackFolder)
        : m_sessions(std::move(sessionsFolder)), m_fallback(std::move(fallbackFolder)) {}
    // Starts a new session at the next change.
    void Begin();
    // Closes the session's journal; the next change after Begin opens a new one.
    void End();
    // The session's folder (with "\"), made on first use; empty when it cannot be made.
    std::wstring Folder();
    // Appends one line and flushes it to the disk before the change after it is made.
    bool Append(const JournalEntry& entry);
    std::vector<JournalEntry> Entries() const { return m_entries; }
    const std::wstring& MadeFolder() const { return m_folder; }

private:
    std::wstring m_sessions;
    std::wstring m_fallback;  // used when the sessions folder cannot be written; empty for none
    std::wstring m_folder;
    FileHandle m_file;
    bool m_failed = false;
    std::vector<JournalEntry> m_entries;
};

class LiveEffects final : public Effects {
public:
    explicit LiveEffects(std::wstring sessionsFolder = SessionsFolder(),
                         std::wstring fallbackFolder = FallbackSessionsFolder())
        : m_journal(std::move(sessionsFolder), std::move(fallbackFolder)) {}

    void BeginSession() override;
    void EndSession() override;
    // The session's folder, once its first change made it; empty before.
    std::wstring SessionFolder() const override { return m_journal.MadeFolder(); }

    DWORD Attributes(const std::wstring& path) override;
    FolderListing List(const std::wstring& folder, const wchar_t* pattern) override;
    std::wstring ReadablePath(const std::wstring& path) override { return path; }

    bool DeleteFile(const std::wstring& path) override;
    bool DeleteAtRestart(const std::wstring& path) override;
    bool DeleteAtBoot(const std::wstring& path) override;
    void ForgetRestartDeletion(const std::wstring& path) override;
    bool BackUpFile(const std::wstring& path) override;
    bool SetAttributes(const std::wstring& path, DWORD attributes) override;
    bool Move(const std::wstring& from, const std::wstring& to, bool replace) override;
    bool CreateFolder(const std::wstring& path) override;
    bool RemoveFolder(const std::wstring& path) override;
    bool WriteNewFile(const std::wstring& path, const void* data, std::size_t size) override;
    bool ProduceFile(const std::wstring& path, const std::function<bool(const std::wstring&)>& writer) override;
    bool EditFile(const std::wstring& path, const std::function<bool(const std::wstring&)>& editor) override;
    bool SetRegistryValue(HKEY root, const std::wstring& key, const std::wstring& name, DWORD type, const void* data,
                          DWORD size, REGSAM view = 0) override;
    bool DeleteRegistryValue(HKEY root, const std::wstring& key, const std::wstring& name, REGSAM view = 0) override;
    bool DeleteRegistryKey(HKEY root, const std::wstring& key, REGSAM view = 0) override;
    bool CreateRegistryKey(HKEY root, const std::wstring& key, REGSAM view = 0) override;
    bool EndProcess(HANDLE process, DWORD processId, const std::wstring& image) override;
    bool RunProgram(const std::wstring& command, const std::function<bool()>& run) override;
    bool WriteSector(const SectorWrite& write) override;
    bool ConfigureDriverService(const std::wstring& name, DWORD startType, const std::wstring& image,
                                const std::wstring& group) override;

    std::vector<JournalEntry> Entries() const override;

private:
    // A copy of the file's bytes for the undo: the threat's backup when it has one, else one in the session
    // folder. Empty when the bytes cannot be read.
    std::wstring KeepCopy(const std::wstring& path);
    void Record(const char* kind, std::vector<std::wstring> fields);

    mutable std::recursive_mutex m_lock;
    SessionJournal m_journal;
    std::map<std::wstring, std::wstring> m_kept;  // lower-case path -> kept copy, this session
    unsigned m_copies = 0;
};

// Reads or writes `size` bytes at `offset` of an open disk, volume or file; false unless all of them.
bool ReadAt(HANDLE device, std::uint64_t offset, void* data, DWORD size);
bool WriteAt(HANDLE device, std::uint64_t offset, const void* data, DWORD size);

// A registry value: ERROR_SUCCESS with it, ERROR_FILE_NOT_FOUND when there is none, another error when it cannot
// be read (the key or the value).
LONG ReadRegistryValue(HKEY root, const std::wstring& key, const std::wstring& name, DWORD& type,
                       std::vector<std::uint8_t>& data, REGSAM view = 0);

// The start type, image and group of a service; false when they cannot be read.
bool ReadServiceConfig(SC_HANDLE service, DWORD& start, std::wstring& image, std::wstring& group);

// The key `root\key` with its values and subkeys, as lines a SavedKey file holds; and back.
bool SaveRegistryTree(HKEY root, const std::wstring& key, std::vector<JournalEntry>& lines, REGSAM view = 0);
// Deletes a key that has no subkeys, in the given view.
bool DeleteEmptyKey(HKEY root, const std::wstring& key, REGSAM view = 0);
bool RestoreRegistryTree(HKEY root, const std::wstring& key, const std::vector<JournalEntry>& lines, REGSAM view = 0);
