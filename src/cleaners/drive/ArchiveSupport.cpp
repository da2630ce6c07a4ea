#include "cleaners/drive/ArchiveSupport.h"

#include <cstdint>
#include <cstring>
#include <mutex>
#include <vector>

#include "util/ModuleResource.h"
#include "util/ProgramPath.h"

namespace {
constexpr WORD kArchiveLibraryResourceId = 227;

template <typename Fn>
Fn Bind(HMODULE library, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(library, name)));
}
}  // namespace

bool ArchiveSupport::Load(const std::wstring& path) {
    *this = ArchiveSupport();
    ModuleHandle library(::LoadLibraryW(path.c_str()));
    if (!library) return false;
    m_open = Bind<OpenArchiveFn>(library.Get(), "RAROpenArchive");
    m_readHeader = Bind<ReadHeaderFn>(library.Get(), "RARReadHeader");
    m_processFile = Bind<ProcessFileFn>(library.Get(), "RARProcessFile");
    m_close = Bind<CloseArchiveFn>(library.Get(), "RARCloseArchive");
    m_setCallback = Bind<SetCallbackFn>(library.Get(), "RARSetCallback");
    if (!Ready()) {
        *this = ArchiveSupport();  // unloads the library as `library` goes
        return false;
    }
    m_library = std::move(library);
    return true;
}

ArchiveSupport& SharedArchiveSupport() {
    static ArchiveSupport support;
    return support;
}

std::wstring ArchiveLibraryPath() {
    const std::wstring temp = TempFolder();
    return temp.empty() ? temp : temp + L"KillSola.dll";
}

bool LoadVerifiedLibrary(ArchiveSupport& support, const std::wstring& path, const void* image, DWORD size) {
    // Held without write or delete sharing until the library is loaded: from the check on, nobody can change,
    // rename or replace the file. A file someone holds open for writing does not open at all.
    FileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER length = {};
    if (!file || !::GetFileSizeEx(file.Get(), &length) || length.QuadPart != LONGLONG(size)) return false;
    std::vector<std::uint8_t> bytes(size);
    DWORD read = 0;
    if (size && (!::ReadFile(file.Get(), bytes.data(), size, &read, nullptr) || read != size)) return false;
    if (size && std::memcmp(bytes.data(), image, size) != 0) return false;
    return support.Load(path);
}

bool LoadArchiveSupport() {
    static std::once_flag once;
    static bool ready = false;
    std::call_once(once, [] {
        const std::wstring path = ArchiveLibraryPath();
        const void* image = nullptr;
        DWORD size = 0;
        if (path.empty() || !FindProgramResource(kArchiveLibraryResourceId, L"BINARYTYPE", image, size)) return;
        ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(path.c_str());
        if (!WriteProgramResource(kArchiveLibraryResourceId, L"BINARYTYPE", path.c_str())) return;
        ready = LoadVerifiedLibrary(SharedArchiveSupport(), path, image, size);
    });
    return ready;
}
