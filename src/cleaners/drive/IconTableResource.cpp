// The folder and document icons the disguised-executable check compares with: resources "BINARYTYPE" 215
// (index) and 214 (images), made at build time by tools/pack_icons.py.
#include <windows.h>

#include "cleaners/drive/IconMatch.h"
#include "util/ModuleResource.h"

namespace {
constexpr WORD kIconImagesResourceId = 214;
constexpr WORD kIconIndexResourceId = 215;
}  // namespace

bool LoadShippedIconTable(IconTable& table) {
    const void* index = nullptr;
    const void* images = nullptr;
    DWORD indexSize = 0, imagesSize = 0;
    if (!FindProgramResource(kIconIndexResourceId, L"BINARYTYPE", index, indexSize) ||
        !FindProgramResource(kIconImagesResourceId, L"BINARYTYPE", images, imagesSize)) {
        table.Clear();
        return false;
    }
    return table.Load(static_cast<const std::uint8_t*>(index), indexSize, static_cast<const std::uint8_t*>(images),
                      imagesSize);
}
