#pragma once
// Listing a folder, for every walk, tree removal and folder scan. A drive's content is hostile: a junction or
// symbolic link on a stick may point anywhere on the machine, so no walk ever enters one. A folder entry that is
// a reparse point is reported as such and left alone by every caller (not entered, deleted or re-attributed).
#include <windows.h>

#include <string>
#include <vector>

// How many folder levels below its start any walk goes; deeper ones are left alone. Real trees stay far
// below it, and a stick nesting folders without end must not exhaust the stack or the scan's time.
constexpr int kMaxFolderDepth = 64;

struct FolderEntry {
    std::wstring name;
    std::wstring shortName;  // the 8.3 alias, empty when there is none
    DWORD attributes = 0;
    bool IsFolder() const { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
    // A junction or symbolic link to a folder: never entered.
    bool IsFolderLink() const { return IsFolder() && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }
    bool IsRealFolder() const { return IsFolder() && !IsFolderLink(); }
};

struct FolderListing {
    std::vector<FolderEntry> entries;
    bool started = false;   // the folder could be searched (an empty result included)
    bool complete = false;  // it ended with "no more files"
};

// The entries of `folder` (with or without a trailing "\") that match `pattern`, "." and ".." left out; the
// whole listing is taken before the caller changes anything in the folder.
FolderListing ListFolder(const std::wstring& folder, const wchar_t* pattern = L"*.*");

// Whether `path` is a folder that is a junction or symbolic link.
bool IsFolderLink(const std::wstring& path);
