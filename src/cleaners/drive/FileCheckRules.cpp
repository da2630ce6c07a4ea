#include "cleaners/drive/FileCheckRules.h"

#include <cstring>

#include "util/AsciiCase.h"

namespace {
const char* const kMd5Blacklist[] = {
    "01d8f359dcfdd8487ea4b53e6af32d8a", "0547f07c36cafd4cfcab4de4322a2330", "06c80f37650cdac5ee82d16610f53fd3",
    "1733d50e6fec5c14be9dffda85a2b125", "188f5327e87e3ef539b8cf4661482166", "1957422249ada1ed124eae024551181f",
    "33206a7d7aa2a8be4a6b9716eeb22045", "3ebc28a9280bcf9e6f00e4db583ddfff", "4349c67c4ccb04f2936910ae69e5f96e",
    "9955f1cc45f535c79c233e689210903a", "a2bc72fc9f5fbc9b94144960add682fd", "a317a77b4b837d28de116e0326874e58",
    "ab6e5646fac9099560c6933d9dfa8539", "bee4128f26c642a79869e89bf5ad465e", "cb210d8c111056ceb37080146833be47",
    "cc88908079352daed78e59d220b9203c", "e7fa478306d0c62602bbc94575ba9f9c", "eee17bb4f5fb4fc13416c61688a12395",
    "f4ae0213c084bc82b4c88e652c49b299",
};

bool ContainsNoCase(const std::wstring& text, const wchar_t* part) {
    return AsciiFindNoCase(text, std::wstring(part)) != std::wstring::npos;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
}  // namespace

bool IsBlacklistedMd5(const wchar_t* md5Text) {
    if (!md5Text) return false;
    const std::wstring text(md5Text);
    for (const char* entry : kMd5Blacklist)
        if (AsciiEqualsNoCase(text, std::wstring(entry, entry + std::strlen(entry)))) return true;
    return false;
}

bool IsOwnProductPath(const std::wstring& path) {
    return ContainsNoCase(path, L"\\velmora\\") || ContainsNoCase(path, L"\\zeb");
}

bool IsIconExempt(const std::wstring& path) {
    if (ContainsNoCase(path, L"mstsc.exe") || ContainsNoCase(path, L"nokia.ngr")) return true;
    const std::size_t dot = path.rfind(L'.');
    if (dot == std::wstring::npos || dot == 0) return false;
    const std::wstring extension = path.substr(dot);
    for (const wchar_t* exempt : {L".dll", L".cpl", L".ngr"})
        if (AsciiEqualsNoCase(extension, std::wstring(exempt))) return true;
    return false;
}

bool WalkUnhidesFile(const std::wstring& path) {
    static const wchar_t* const kParts[] = {L".doc", L".zeb", L".txt", L".exe", L".ppt", L".xls",
                                            L".rar", L".zip", L".gif", L".jpeg", L".jpg", L".bmp"};
    for (const wchar_t* part : kParts)
        if (path.find(part) != std::wstring::npos) return true;
    return false;
}

std::vector<std::string> DecodeFixedPathList(const char* hex, std::size_t length) {
    std::vector<std::string> entries;
    if (!hex) return entries;
    std::vector<std::uint8_t> bytes;
    bytes.reserve(length / 2);
    for (std::size_t i = 0; i + 1 < length; i += 2) {
        const int high = HexDigit(hex[i]), low = HexDigit(hex[i + 1]);
        if (high < 0 || low < 0) return entries;
        bytes.push_back(std::uint8_t(high << 4 | low));
    }
    if (bytes.size() < 24) return entries;
    // The check text at 16 and its copy at 20, compared as text of up to four characters.
    if (std::strncmp(reinterpret_cast<const char*>(&bytes[16]), reinterpret_cast<const char*>(&bytes[20]), 4) != 0)
        return entries;
    std::string text;
    for (std::size_t i = 24; i < bytes.size(); ++i) {
        const char c = char(bytes[i] ^ bytes[(i - 24) % 16] ^ kFixedPathScramble);
        if (c == 0) break;
        text += c;
    }
    std::size_t at = 0;
    while ((at = text.find('=', at)) != std::string::npos) {
        ++at;
        std::size_t end = text.find('\r', at);
        if (end == std::string::npos) end = text.size();
        const std::size_t size = end - at;
        if (size >= 3 && size <= 259) entries.push_back(text.substr(at, size));
        at = end;
    }
    return entries;
}
