// The blacklist text lives in the program image as resource "TEXTTYPE" 213.
#include <windows.h>

#include "disposal/CrcBlacklist.h"
#include "util/ModuleResource.h"

namespace {
constexpr WORD kCrcListResourceId = 213;
}

VResult CrcBlacklist::LoadCrcList() {
    const void* text = nullptr;
    DWORD size = 0;
    if (!FindProgramResource(kCrcListResourceId, L"TEXTTYPE", text, size)) return kResultFail;
    return LoadFromText(static_cast<const char*>(text), size);
}
