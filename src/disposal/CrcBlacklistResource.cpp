// The blacklist text lives in the program image as resource "TEXTTYPE" 213.
#include <windows.h>

#include "disposal/CrcBlacklist.h"

namespace {
constexpr WORD kCrcListResourceId = 213;
}

VResult CrcBlacklist::LoadCrcList() {
    HRSRC info = ::FindResourceW(nullptr, MAKEINTRESOURCEW(kCrcListResourceId), L"TEXTTYPE");
    if (!info) return kResultFail;
    const DWORD size = ::SizeofResource(nullptr, info);
    HGLOBAL loaded = size ? ::LoadResource(nullptr, info) : nullptr;
    const void* text = loaded ? ::LockResource(loaded) : nullptr;
    if (!text) return kResultFail;
    // Resources stay mapped as long as the process: nothing to free.
    return LoadFromText(static_cast<const char*>(text), size);
}
