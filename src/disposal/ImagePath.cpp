#include "disposal/ImagePath.h"

#include "util/AsciiCase.h"

namespace {

const wchar_t* const kProtectedSuffixes[kProtectedProcessCount] = {
    L"\\system32\\csrss.exe",   L"\\system32\\lsass.exe",   L"\\system32\\lsm.exe",
    L"\\system32\\services.exe", L"\\system32\\smss.exe",    L"\\system32\\spoolsv.exe",
    L"\\system32\\svchost.exe", L"\\system32\\winlogon.exe", L"\\system32\\wininit.exe",
    L"\\explorer.exe",
};

const wchar_t* const kProtectedLocations[] = {
    L"\\windows\\",
    L"\\program files\\common files\\",
    L"\\orvaguardsvc\\",
    L"\\winnt\\system32\\",
    L"\\program files\\microsoft office\\",
    L"\\office2000\\system\\",
    L"\\program files\\microsoft web designer tools\\",
    L"\\program files\\microsoft office2",
};

}  // namespace

std::wstring NormalizeImagePath(const std::wstring& path, const std::wstring& windowsDir) {
    const std::wstring systemRoot = L"\\SystemRoot";
    const std::size_t at = AsciiFindNoCase(path, systemRoot);
    if (at != std::wstring::npos) return windowsDir + path.substr(at + systemRoot.size());
    if (path.compare(0, 4, L"\\??\\") == 0 || path.compare(0, 4, L"\\\\?\\") == 0) return path.substr(4);
    return path;
}

std::wstring FileNameOf(const std::wstring& path, bool* found) {
    const std::size_t slash = path.find_last_of(L"\\/");
    if (found) *found = slash != std::wstring::npos;
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring ProtectedProcessPath(const std::wstring& windowsDir, std::size_t index) {
    return index < kProtectedProcessCount ? windowsDir + kProtectedSuffixes[index] : std::wstring();
}

bool IsProtectedLocation(const std::wstring& path) {
    // Paths arrive in their own case (a shortcut's target, an autorun value), not only lowered by the walk.
    for (const wchar_t* location : kProtectedLocations)
        if (AsciiFindNoCase(path, std::wstring(location)) != std::wstring::npos) return true;
    return false;
}
