#pragma once
#include <string>

class VLogger;

// True when the file exists, can be opened for reading and is not empty. Paths of two characters or fewer
// have no content.
bool LogHasContent(const wchar_t* path);

// At window close: an empty "Cleaner.log" in the program folder is deleted, closing the logger first when it
// still holds the file. A log with content stays. The folder is the program's; the parameters serve tests.
void CleanUpEmptyLog();
void CleanUpEmptyLog(VLogger& logger, const std::wstring& programFolder);
