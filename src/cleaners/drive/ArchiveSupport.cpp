#include "cleaners/drive/ArchiveSupport.h"

#include <mutex>

#include "util/ModuleResource.h"

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
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, temp);
    if (length == 0 || length > MAX_PATH) return std::wstring();
    std::wstring path(temp, length);
    if (path.back() != L'\\') path += L'\\';
    return path + L"KillSola.dll";
}

bool LoadArchiveSupport() {
    static std::once_flag once;
    static bool ready = false;
    std::call_once(once, [] {
        const std::wstring path = ArchiveLibraryPath();
        if (path.empty()) return;
        ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(path.c_str());
        if (!WriteProgramResource(kArchiveLibraryResourceId, L"BINARYTYPE", path.c_str())) return;
        ready = SharedArchiveSupport().Load(path);
    });
    return ready;
}
