#pragma once
// Expansion of one folder placeholder ("%windir%\x") to this machine's folder.
#include <cstddef>
#include <string>

// Result codes: 0 success; -1 no placeholder, an overlong part, or (buffer form) no room; -2 the program-files
// lookup failed; -5 the profile lookup failed; -22/-23 the system temporary folder could not be had;
// otherwise the Windows error of the failed lookup. On success `out` receives the expansion; with no
// placeholder it is emptied; on a failed lookup it is left as it was.
int ExpandPathMacros(const wchar_t* text, std::wstring& out);
int ExpandPathMacrosTo(const wchar_t* text, wchar_t* buffer, std::size_t bufferChars);
