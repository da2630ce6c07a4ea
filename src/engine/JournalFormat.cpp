#include "engine/JournalFormat.h"

#include "disposal/Digest.h"

namespace {

const char kHex[] = "0123456789abcdef";

std::string Escaped(const std::string& utf8) {
    std::string out;
    for (const char c : utf8) {
        if (c == '%' || c == '\t' || c == '\r' || c == '\n') {
            static const char kUpper[] = "0123456789ABCDEF";
            out += '%';
            out += kUpper[(unsigned char)c >> 4];
            out += kUpper[c & 15];
        } else {
            out += c;
        }
    }
    return out;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool Unescaped(const std::string& text, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return false;
        const int hi = HexDigit(text[i + 1]), lo = HexDigit(text[i + 2]);
        if (hi < 0 || lo < 0) return false;
        out += char(hi << 4 | lo);
        i += 2;
    }
    return true;
}

std::string LineCheck(const std::string& body) {
    const std::uint32_t crc = Crc32(0, reinterpret_cast<const std::uint8_t*>(body.data()), body.size());
    std::string hex(8, '0');
    for (int i = 0; i < 8; ++i) hex[7 - i] = kHex[(crc >> (4 * i)) & 15];
    return hex;
}

}  // namespace

std::string EncodeJournalLine(const JournalEntry& entry) {
    std::string body = Escaped(entry.kind);
    for (const auto& f : entry.fields) body += '\t' + Escaped(ToUtf8(f));
    body += '\t';
    return body + '#' + LineCheck(body) + '\n';
}

JournalText DecodeJournal(const std::string& text) {
    JournalText out;
    std::size_t at = 0;
    const std::size_t first = text.find('\n');
    if (first == std::string::npos) {
        out.cutOff = !text.empty();
        return out;
    }
    std::string header = text.substr(0, first);
    if (!header.empty() && header.back() == '\r') header.pop_back();
    out.headerOk = header == kJournalHeader;
    if (!out.headerOk) return out;
    at = first + 1;
    while (at < text.size()) {
        const std::size_t end = text.find('\n', at);
        if (end == std::string::npos) {
            out.cutOff = true;  // the last line was not written whole
            return out;
        }
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        const std::size_t hash = line.rfind("\t#");
        if (hash == std::string::npos || line.size() - hash != 10 || LineCheck(line.substr(0, hash + 1)) != line.substr(hash + 2)) {
            out.cutOff = true;
            return out;
        }
        JournalEntry entry;
        std::vector<std::string> parts;
        std::size_t start = 0;
        const std::string body = line.substr(0, hash);
        for (std::size_t i = 0; i <= body.size(); ++i) {
            if (i < body.size() && body[i] != '\t') continue;
            parts.push_back(body.substr(start, i - start));
            start = i + 1;
        }
        std::string kind;
        if (parts.empty() || !Unescaped(parts[0], kind) || kind.empty()) {
            out.cutOff = true;
            return out;
        }
        entry.kind = kind;
        for (std::size_t i = 1; i < parts.size(); ++i) {
            std::string field;
            if (!Unescaped(parts[i], field)) {
                out.cutOff = true;
                return out;
            }
            entry.fields.push_back(FromUtf8(field));
        }
        out.entries.push_back(entry);
    }
    return out;
}

std::wstring HexField(std::uint32_t value) {
    std::wstring out;
    do {
        out.insert(out.begin(), wchar_t(kHex[value & 15]));
        value >>= 4;
    } while (value);
    return out;
}

bool ParseHexField(const std::wstring& text, std::uint32_t& value) {
    if (text.empty() || text.size() > 8) return false;
    value = 0;
    for (const wchar_t c : text) {
        const int d = c < 128 ? HexDigit(char(c)) : -1;
        if (d < 0) return false;
        value = value << 4 | std::uint32_t(d);
    }
    return true;
}

std::wstring BytesField(const std::vector<std::uint8_t>& bytes) {
    std::wstring out;
    for (const std::uint8_t b : bytes) {
        out += wchar_t(kHex[b >> 4]);
        out += wchar_t(kHex[b & 15]);
    }
    return out;
}

bool ParseBytesField(const std::wstring& text, std::vector<std::uint8_t>& bytes) {
    bytes.clear();
    if (text.size() % 2) return false;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int hi = text[i] < 128 ? HexDigit(char(text[i])) : -1, lo = text[i + 1] < 128 ? HexDigit(char(text[i + 1])) : -1;
        if (hi < 0 || lo < 0) return false;
        bytes.push_back(std::uint8_t(hi << 4 | lo));
    }
    return true;
}

std::wstring JournalSubject(const JournalEntry& entry) {
    const auto& f = entry.fields;
    if ((entry.kind == "registry-set" || entry.kind == "registry-delete-value") && f.size() >= 3) return f[0] + L"\\" + f[1] + L"\\" + f[2];
    if ((entry.kind == "registry-delete-key" || entry.kind == "registry-create-key") && f.size() >= 2) return f[0] + L"\\" + f[1];
    if (entry.kind == "end-process" && f.size() >= 2) return f[1];
    return f.empty() ? std::wstring() : f[0];
}
