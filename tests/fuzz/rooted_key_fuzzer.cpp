// Rooted key paths come from our own lists today; the parser still takes any text without reading past it,
// and a parsed subkey is always the text after the first backslash.
#include <cstdlib>

#include "engine/BootDeleteList.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::wstring path;
    for (std::size_t i = 0; i + 1 < size; i += 2) path += wchar_t(data[i] | data[i + 1] << 8);
    RegistryRoot root;
    std::wstring subkey;
    if (ParseRootedKeyPath(path, root, subkey)) {
        const auto slash = path.find(L'\\');
        if (slash == std::wstring::npos ? !subkey.empty() : subkey != path.substr(slash + 1)) std::abort();
        if (path.size() < 10) std::abort();  // the shortest root name is HKEY_USERS
    }
    return 0;
}
