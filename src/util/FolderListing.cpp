#include "util/FolderListing.h"

#include "util/WinHandle.h"

FolderListing ListFolder(const std::wstring& folder, const wchar_t* pattern) {
    FolderListing listing;
    const std::wstring base = !folder.empty() && folder.back() == L'\\' ? folder : folder + L'\\';
    WIN32_FIND_DATAW found;
    FindHandle find(::FindFirstFileW((base + pattern).c_str(), &found));
    if (!find) {
        // A folder with nothing that matches (a drive's root has no "." entry to match "*.*"): listed, empty.
        if (::GetLastError() == ERROR_FILE_NOT_FOUND) listing.started = listing.complete = true;
        return listing;
    }
    listing.started = true;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        listing.entries.push_back(FolderEntry{name, found.cAlternateFileName, found.dwFileAttributes});
    } while (::FindNextFileW(find.Get(), &found));
    listing.complete = ::GetLastError() == ERROR_NO_MORE_FILES;
    return listing;
}

bool IsFolderLink(const std::wstring& path) {
    const DWORD a = ::GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) && (a & FILE_ATTRIBUTE_REPARSE_POINT);
}
