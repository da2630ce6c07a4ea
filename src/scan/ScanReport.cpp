#include "scan/ScanReport.h"

#include <cstdio>
#include <cwchar>

namespace {
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

std::wstring ThreatKindName(std::uint32_t threatType, const std::wstring& outcome) {
    // 从病毒中恢复的文档: a document given back from the worm that carried or infected it
    if (std::string(ActionOf(outcome)) == "repair") return L"\u4ece\u75c5\u6bd2\u4e2d\u6062\u590d\u7684\u6587\u6863";
    switch (threatType) {
        case 1: return L"CRC\u9ed1\u540d\u5355\u75c5\u6bd2";                             // CRC黑名单病毒
        case 2: return L"\u5df2\u77e5\u75c5\u6bd2\u8def\u5f84";                         // 已知病毒路径
        case 3: return L"\u4f2a\u88c5\u6210\u6587\u4ef6\u5939\u7684\u7a0b\u5e8f";   // 伪装成文件夹的程序
        case 4: return L"\u81ea\u52a8\u8fd0\u884c\u75c5\u6bd2";                         // 自动运行病毒
        case 5: return L"\u9690\u85cf\u6587\u4ef6\u5939\u4f34\u968f\u75c5\u6bd2";   // 隐藏文件夹伴随病毒
        case 6: return L"\u9a7b\u7559\u6728\u9a6c";                                       // 驻留木马
        case 7: return L"\u75c5\u6bd2\u7a0b\u5e8f";                                       // 病毒程序
        case 8: return L"Delphi\u611f\u67d3\u75c5\u6bd2";                                 // Delphi感染病毒
        case 9: return L"\u811a\u672c\u6216\u5feb\u6377\u65b9\u5f0f\u75c5\u6bd2";   // 脚本或快捷方式病毒
        case 10: return L"\u75c5\u6bd2\u6b8b\u7559";                                      // 病毒残留
        case 11: return L"\u6346\u7ed1\u6587\u6863\u7684\u75c5\u6bd2";                // 捆绑文档的病毒
        case 12: return L"\u643a\u5e26\u538b\u7f29\u5305\u7684\u75c5\u6bd2";         // 携带压缩包的病毒
        case 13: return L"\u75c5\u6bd2\u81ea\u542f\u52a8\u9879";                        // 病毒自启动项
        case 22: return L"\u5f15\u5bfc\u533a\u75c5\u6bd2\u91ca\u653e\u5668";         // 引导区病毒释放器
        default: return L"\u5a01\u80c1";                                                     // 威胁
    }
}

std::wstring ActionWords(const std::wstring& outcome, bool reportOnly) {
    const std::string action = ActionOf(outcome);
    std::wstring words = action == "delete"              ? L"\u5220\u9664"                  // 删除
                         : action == "delete at restart" ? L"\u91cd\u542f\u540e\u5220\u9664"  // 重启后删除
                         : action == "repair"            ? L"\u4fee\u590d"                  // 修复
                                                         : L"\u5904\u7406";                 // 处理
    return reportOnly ? L"\u5c06" + words : words;  // 将…
}

std::wstring FormatFindingLine(const ReportFinding& f, bool reportOnly) {
    std::wstring path = f.path;
    if (path.size() >= 2 && path[1] == L':' && path[0] >= L'a' && path[0] <= L'z') path[0] = wchar_t(path[0] - 32);
    return L"  [" + ActionWords(f.outcome, reportOnly) + L"] " + path + L"  " + ThreatKindName(f.threatType, f.outcome) +
           L" (\u7c7b\u578b " + std::to_wstring(f.threatType) + L")\n";  // (类型 n)
}

std::wstring FormatBootRecordLine(const BootRecordFinding& found, bool planned) {
    // [已修复] / [将修复] / [未能修复] DEVICE  鬼影引导区病毒（变种 N）
    const wchar_t* action = !found.repaired ? L"\u672a\u80fd\u4fee\u590d" : planned ? L"\u5c06\u4fee\u590d" : L"\u5df2\u4fee\u590d";
    return L"  [" + std::wstring(action) + L"] " + found.device +
           L"  \u9b3c\u5f71\u5f15\u5bfc\u533a\u75c5\u6bd2\uff08\u53d8\u79cd " + std::to_wstring(found.variant) + L"\uff09\n";
}

std::wstring FormatSummary(const ScanStats& s, const RunTotals& totals) {
    static const wchar_t* const kLabels[] = {
        L"\u5df2\u68c0\u67e5\u6587\u4ef6",      // 已检查文件
        L"\u53d1\u73b0\u5a01\u80c1",             // 发现威胁
        L"\u514d\u75ab",                          // 免疫
        L"\u4fee\u590d",                          // 修复
        L"\u4f2a\u88c5",                          // 伪装
        L"\u5df2\u5220\u9664",                    // 已删除
        L"\u5f85\u91cd\u542f\u5220\u9664",      // 待重启删除
    };
    std::wstring out;
    const auto row = [&out](const std::wstring& label, const std::wstring& value) {
        // Labels padded to 12 console cells (a Chinese character takes two), values right-aligned in 12.
        const auto cellsOf = [](const std::wstring& text) {
            unsigned cells = 0;
            for (wchar_t c : text) cells += CellWidth(c);
            return cells;
        };
        const unsigned labelCells = cellsOf(label), valueCells = cellsOf(value);
        std::wstring line = L"  " + label;
        line.append(labelCells < 12 ? 12 - labelCells : 1, L' ');
        line.append(valueCells < 12 ? 12 - valueCells : 1, L' ');
        out += line + value + L"\n";
    };
    std::size_t i = 0;
    for (const auto& c : kCounters) row(kLabels[i++], std::to_wstring(unsigned(s.*c.field)));
    wchar_t text[64];
    std::swprintf(text, 64, L"%.1f \u79d2", totals.seconds);  // 秒
    row(L"\u7528\u65f6", text);                               // 用时
    std::swprintf(text, 64, L"%.1f MB", double(totals.bytesRead) / (1024.0 * 1024.0));
    row(L"\u8bfb\u53d6\u6570\u636e", text);                   // 读取数据
    row(L"\u904d\u5386\u6587\u4ef6\u5939", std::to_wstring(totals.foldersWalked));  // 遍历文件夹
    return out;
}

std::string FormatJsonReport(const std::string& build, int mode, bool reportOnly, const ScanStats& s,
                             const std::vector<ReportFinding>& findings, const std::vector<JournalEntry>& changes,
                             const BootRecordFinding* bootRecord) {
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
    out += findings.empty() ? "]," : "\n  ],";
    if (bootRecord)
        out += "\n  \"bootRecord\": {\"device\": " + JsonString(ToUtf8(bootRecord->device)) +
               ", \"variant\": " + std::to_string(bootRecord->variant) +
               ", \"repaired\": " + (bootRecord->repaired ? "true" : "false") + "},";
    out += "\n  \"changes\": [";
    first = true;
    for (const auto& c : changes) {
        out += std::string(first ? "" : ",") + "\n    {\"kind\": " + JsonString(c.kind) +
               ", \"subject\": " + JsonString(ToUtf8(JournalSubject(c))) + "}";
        first = false;
    }
    return out + (changes.empty() ? "]\n}\n" : "\n  ]\n}\n");
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
