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

unsigned CellWidth(wchar_t c) {
    const unsigned u = unsigned(c);
    const bool wide = (u >= 0x1100 && u <= 0x115F) || (u >= 0x2E80 && u <= 0x303E) || (u >= 0x3041 && u <= 0x33FF) ||
                      (u >= 0x3400 && u <= 0x4DBF) || (u >= 0x4E00 && u <= 0x9FFF) || (u >= 0xA000 && u <= 0xA4CF) ||
                      (u >= 0xAC00 && u <= 0xD7A3) || (u >= 0xF900 && u <= 0xFAFF) || (u >= 0xFE30 && u <= 0xFE4F) ||
                      (u >= 0xFF00 && u <= 0xFF60) || (u >= 0xFFE0 && u <= 0xFFE6) ||
                      (u >= 0xD800 && u <= 0xDBFF);  // the lead of a pair: supplementary ideographs
    return wide ? 2 : ((u >= 0xDC00 && u <= 0xDFFF) ? 0 : 1);
}

namespace {
unsigned Cells(const std::wstring& text) {
    unsigned n = 0;
    for (wchar_t c : text) n += CellWidth(c);
    return n;
}
}  // namespace

std::wstring FormatProgressLine(const ProgressState& state, unsigned columns) {
    wchar_t head[128];
    std::swprintf(head, 128, L"已检查 %u 个文件，发现 %u 个威胁", unsigned(state.files), unsigned(state.threats));
    std::wstring line = head;
    if (state.bytesTotal > 0 && !state.folder.empty()) {
        // Below the total the quotient is at most 99; at or past it (files grew) 99 until the end.
        const std::uint64_t percent =
            state.bytesDone >= state.bytesTotal ? 99 : state.bytesDone * 100 / state.bytesTotal;
        line += L"，约 " + std::to_wstring(percent) + L"%";
    }
    const unsigned width = columns > 1 ? columns - 1 : 0;
    if (!state.folder.empty() && Cells(line) + 2 + 4 <= width) {
        // Keep the folder's end, the part that changes: "..." and as many trailing characters as fit.
        const unsigned room = width - Cells(line) - 2;
        std::wstring folder = state.folder;
        if (Cells(folder) > room) {
            std::size_t start = folder.size();
            unsigned used = 3;
            while (start > 0 && used + CellWidth(folder[start - 1]) <= room) used += CellWidth(folder[--start]);
            if (start < folder.size() && folder[start] >= 0xDC00 && folder[start] <= 0xDFFF) ++start;  // no half pair
            folder = L"..." + folder.substr(start);
        }
        line += L"  " + folder;
    }
    // A line longer than the console (a very narrow one) is cut rather than wrapped.
    std::wstring fitted;
    unsigned used = 0;
    for (wchar_t c : line) {
        if (used + CellWidth(c) > width) break;
        used += CellWidth(c);
        fitted += c;
    }
    if (!fitted.empty() && fitted.back() >= 0xD800 && fitted.back() <= 0xDBFF) {
        fitted.pop_back();
        used -= 2;
    }
    return L"\r" + fitted + std::wstring(width - used, L' ');
}
