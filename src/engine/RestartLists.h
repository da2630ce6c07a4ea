#pragma once
// The system's list of deletions at the next restart (PendingFileRenameOperations).
#include <string>

// Takes the deletions of `path` off the list, the renames on it kept; true when the list changed.
bool TakeOffPendingRenames(const std::wstring& path);
// Whether the list still names a deletion of `path` (true also when the list cannot be read).
bool PendingDeletionListed(const std::wstring& path);
