// Path-list entries are our own data today, but the splitter must take any text: a split puts the pieces back
// together exactly, within their limits, and the join never loses the folder or the rest.
#include <cstdlib>

#include "util/PathMacro.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::wstring text;
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        const wchar_t c = wchar_t(data[i] | data[i + 1] << 8);
        if (!c) break;
        text += c;
    }
    PathMacroParts parts;
    const MacroSplit r = SplitPathMacro(text, parts);
    if (r == MacroSplit::Ok) {
        if (parts.prefix + L'%' + parts.name + L'%' + parts.rest != text) std::abort();
        if (parts.name.empty() || parts.prefix.size() > kMacroPrefixMax || parts.name.size() > kMacroNameMax ||
            parts.rest.size() > kMacroRestMax)
            std::abort();
        // The closing "%" or any later one must not open a placeholder of its own: the last one is taken.
        const std::wstring tail = L"%" + parts.rest;
        if (tail.rfind(L'%') >= 2) std::abort();
        const int index = FindMacroName(parts.name);
        if (index < -1 || index >= kMacroNameCount) std::abort();
        const std::wstring joined = JoinMacroExpansion(parts.prefix, L"C:\\folder", parts.rest);
        if (joined.size() < parts.prefix.size() + 9 + parts.rest.size() - 1) std::abort();
    } else if (r == MacroSplit::NoPlaceholder && !text.empty()) {
        // No "%" followed two or more characters later by another.
        const auto first = text.find(L'%');
        if (first != std::wstring::npos && text.rfind(L'%') >= first + 2) std::abort();
    }
    return 0;
}
