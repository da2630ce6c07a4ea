#pragma once
// Process image paths in the forms Windows reports them, made comparable.
#include <string>

// "\SystemRoot..." becomes the Windows folder; a leading "\??\" or "\\?\" is dropped. Expanding short
// ("~") names needs the file system and is left to the caller.
std::wstring NormalizeImagePath(const std::wstring& path, const std::wstring& windowsDir);

// The text after the last "\" or "/"; the whole path when there is neither (`found` tells which).
std::wstring FileNameOf(const std::wstring& path, bool* found = nullptr);

// Ten system processes that are never ended, under the given Windows folder.
std::wstring ProtectedProcessPath(const std::wstring& windowsDir, std::size_t index);
constexpr std::size_t kProtectedProcessCount = 10;

// Path substrings under which the companion checks never dispose of a file (ASCII letters in any case).
bool IsProtectedLocation(const std::wstring& path);
