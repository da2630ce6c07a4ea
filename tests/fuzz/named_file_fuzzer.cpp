// A path a stick names (a shortcut's target, an autorun value) as any text: whatever it says, it is cleared
// for disposal only when Windows itself resolves it to a file on the naming drive, outside every protected
// location, and a path the system guards or trusts is never cleared. Windows code: replayed under Wine.
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "disposal/ImagePath.h"
#include "disposal/Safeguards.h"

namespace {

class NothingGuarded final : public SystemFileGuard {
public:
    bool IsProtected(const wchar_t*) override { return false; }
};
class EverythingGuarded final : public SystemFileGuard {
public:
    bool IsProtected(const wchar_t*) override { return true; }
};
class NothingTrusted final : public TrustVerifier {
public:
    LONG Verify(const wchar_t*) override { return 1; }
};
class EverythingTrusted final : public TrustVerifier {
public:
    LONG Verify(const wchar_t*) override { return 0; }
};

// The input as UTF-16 units, as a shortcut or an autorun value holds text.
std::wstring AsPath(const std::uint8_t* data, std::size_t size) {
    std::wstring path;
    for (std::size_t i = 0; i + 1 < size; i += 2) path += wchar_t(data[i] | data[i + 1] << 8);
    const std::size_t nul = path.find(L'\0');
    return nul == std::wstring::npos ? path : path.substr(0, nul);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::wstring path = AsPath(data, size);
    NothingGuarded open;
    EverythingGuarded guarded;
    NothingTrusted untrusted;
    EverythingTrusted trusted;
    if (MayDisposeNamedFile(path, L"U:", guarded, untrusted)) std::abort();
    if (MayDisposeNamedFile(path, L"U:\\", open, trusted)) std::abort();
    if (!MayDisposeNamedFile(path, L"U:", open, untrusted)) return 0;
    wchar_t full[MAX_PATH] = {};
    const DWORD n = ::GetFullPathNameW(path.c_str(), MAX_PATH, full, nullptr);
    if (n == 0 || n >= MAX_PATH) std::abort();
    const std::wstring resolved(full, n);
    if (resolved.size() < 4 || (resolved[0] != L'U' && resolved[0] != L'u') || resolved.compare(1, 2, L":\\") != 0)
        std::abort();
    std::wstring lower = resolved;
    ::CharLowerBuffW(&lower[0], DWORD(lower.size()));
    if (lower.find(L"\\windows\\") != std::wstring::npos || IsProtectedLocation(resolved)) std::abort();
    return 0;
}
