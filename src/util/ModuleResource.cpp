#include "util/ModuleResource.h"

#include "util/WinHandle.h"

bool FindProgramResource(WORD id, const wchar_t* type, const void*& data, DWORD& size) {
    HRSRC info = ::FindResourceW(nullptr, MAKEINTRESOURCEW(id), type);
    size = info ? ::SizeofResource(nullptr, info) : 0;
    HGLOBAL loaded = size ? ::LoadResource(nullptr, info) : nullptr;
    data = loaded ? ::LockResource(loaded) : nullptr;
    return data != nullptr;
}

bool WriteProgramResource(WORD id, const wchar_t* type, const wchar_t* path, bool* created) {
    if (created) *created = false;
    const void* data = nullptr;
    DWORD size = 0;
    if (!path || !FindProgramResource(id, type, data, size)) return false;
    FileHandle file(::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    if (created) *created = true;
    DWORD written = 0;
    return ::WriteFile(file.Get(), data, size, &written, nullptr) && written == size;
}
