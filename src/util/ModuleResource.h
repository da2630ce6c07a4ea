#pragma once
// Data resources of the running program: detection lists and the helper images it extracts.
#include <windows.h>

// The bytes of resource `id` of `type` in the program image. They stay mapped as long as the process.
bool FindProgramResource(WORD id, const wchar_t* type, const void*& data, DWORD& size);

// Writes the resource to `path`, replacing any file there. False when the resource is missing or the file
// could not be written whole; `created` tells whether a file was created (and so is the caller's to remove).
bool WriteProgramResource(WORD id, const wchar_t* type, const wchar_t* path, bool* created = nullptr);
