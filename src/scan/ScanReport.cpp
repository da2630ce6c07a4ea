#include "scan/ScanReport.h"

#include <cstdio>

namespace {
void AppendUtf8(std::string& out, std::uint32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

std::string JsonString(const std::string& utf8) {
    std::string out = "\"";
    for (unsigned char c : utf8) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += char(c);
        }
    }
    return out + "\"";
}

struct Counter {
    const char* name;
    std::uint32_t ScanStats::*field;
};
const Counter kCounters[] = {
    {"FilesExamined", &ScanStats::FilesExamined}, {"ThreatsFound", &ScanStats::ThreatsFound},
    {"Immunized", &ScanStats::Immunized},         {"Repaired", &ScanStats::Repaired},
    {"Disguised", &ScanStats::Disguised},         {"Deleted", &ScanStats::Deleted},
    {"RebootPending", &ScanStats::RebootPending},
};
}  // namespace

const char* ActionOf(const std::wstring& outcome) {
    if (outcome == L"\u5220\u9664\u6210\u529f") return "delete";             // 删除成功
    if (outcome == L"\u91cd\u542f\u5220\u9664") return "delete at restart";  // 重启删除
    if (outcome == L"\u4fee\u590d\u6210\u529f") return "repair";             // 修复成功
    return "other";
}

std::string ToUtf8(const std::wstring& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t c = std::uint32_t(text[i]);
        if (sizeof(wchar_t) == 2 && c >= 0xD800 && c <= 0xDFFF) {
            const bool pair = c <= 0xDBFF && i + 1 < text.size() && std::uint32_t(text[i + 1]) >= 0xDC00 &&
                              std::uint32_t(text[i + 1]) <= 0xDFFF;
            c = pair ? 0x10000 + ((c - 0xD800) << 10) + (std::uint32_t(text[++i]) - 0xDC00) : 0xFFFD;
        } else if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            c = 0xFFFD;
        }
        AppendUtf8(out, c);
    }
    return out;
}

std::string FormatSummary(const ScanStats& s) {
    std::string out;
    for (const auto& c : kCounters) {
        char line[64];
        std::snprintf(line, sizeof line, "  %-14s %10u\n", c.name, unsigned(s.*c.field));
        out += line;
    }
    return out;
}

std::string FormatJsonReport(const std::string& build, int mode, bool reportOnly, const ScanStats& s,
                             const std::vector<ReportFinding>& findings) {
    std::string out = "{\n  \"build\": " + JsonString(build) + ",\n  \"mode\": " + std::to_string(mode) +
                      ",\n  \"reportOnly\": " + (reportOnly ? "true" : "false") + ",\n  \"counters\": {";
    bool first = true;
    for (const auto& c : kCounters) {
        out += std::string(first ? "" : ",") + "\n    \"" + c.name + "\": " + std::to_string(s.*c.field);
        first = false;
    }
    out += "\n  },\n  \"findings\": [";
    first = true;
    for (const auto& f : findings) {
        char crc[16];
        std::snprintf(crc, sizeof crc, "%08X", unsigned(f.crc));
        out += std::string(first ? "" : ",") + "\n    {\"path\": " + JsonString(ToUtf8(f.path)) +
               ", \"outcome\": " + JsonString(ToUtf8(f.outcome)) + ", \"action\": " + JsonString(ActionOf(f.outcome)) +
               ", \"threatType\": " + std::to_string(f.threatType) + ", \"md5\": " +
               (f.md5.empty() ? std::string("null") : JsonString(ToUtf8(f.md5))) + ", \"crc32\": \"" + crc + "\"}";
        first = false;
    }
    return out + (findings.empty() ? "]\n}\n" : "\n  ]\n}\n");
}
