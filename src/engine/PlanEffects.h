#pragma once
// The plan binding (velscan --report-only): nothing on the machine changes. Each change is recorded as the
// journal line the live binding would write, and the reads answer as the machine would be after the changes
// planned so far: a file planned away is no longer listed, a folder planned visible lists as visible, a
// renamed folder lists under its new name. So the planned run meets every file once, as the real run would.
#include <map>
#include <mutex>

#include "engine/Effects.h"

class PlanEffects final : public Effects {
public:
    DWORD Attributes(const std::wstring& path) override;
    FolderListing List(const std::wstring& folder, const wchar_t* pattern) override;
    std::wstring ReadablePath(const std::wstring& path) override;

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
    // Whether the plan makes this key.
    bool PlannedKey(HKEY root, const std::wstring& key, REGSAM view) const;
    // What the plan has made of a path so far.
    struct Node {
        bool exists = true;
        DWORD attributes = 0;
        std::wstring real;  // where its bytes are on the machine; empty for a planned new file or folder
        std::wstring name;  // its own name, in its case
    };
    // The planned state of `path`: from the node of the path itself or of its nearest planned ancestor, else
    // the machine's own.
    struct View {
        bool exists = false;
        DWORD attributes = INVALID_FILE_ATTRIBUTES;
        std::wstring real;
    };
    View Resolve(const std::wstring& path) const;
    void Record(const char* kind, std::vector<std::wstring> fields);

    mutable std::recursive_mutex m_lock;
    std::map<std::wstring, Node> m_nodes;  // lower-case path without a trailing "\" -> its planned state
    std::vector<JournalEntry> m_entries;
    bool m_driverPlanned = false;
};
