#pragma once
// What the console scanner prints: the live progress line, and at the end of a run the summary table and the
// JSON report.
#include <cstdint>
#include <string>

#include "engine/JournalFormat.h"
#include "util/Utf8.h"
#include <vector>

#include "scan/ScanStats.h"

struct ReportFinding {
    std::wstring path;
    std::wstring outcome;  // the log's outcome text ("删除成功", "重启删除", "修复成功")
    std::uint32_t threatType = 0;
    std::wstring md5;  // empty when none could be taken
    std::uint32_t crc = 0;
};

// "delete", "delete at restart" or "repair" for an outcome text; "other" for anything else.
const char* ActionOf(const std::wstring& outcome);

// UTF-8 of wide text (UTF-16 where wchar_t has 16 bits); unpaired surrogates become U+FFFD.

// What a run took besides the counters.
struct RunTotals {
    double seconds = 0;
    std::uint64_t bytesRead = 0;
    std::uint32_t foldersWalked = 0;
};

// A finding's kind in words, by its threat-type number; a repaired finding is a document given back from the
// worm, whatever the number.
std::wstring ThreatKindName(std::uint32_t threatType, const std::wstring& outcome);
// The action in words: "删除", "重启后删除", "修复", or what would be done in a report-only run.
std::wstring ActionWords(const std::wstring& outcome, bool reportOnly);
// One finding line: "  [删除] U:\a.exe  自动运行病毒 (类型 4)", the drive letter in capitals so that a run
// spells it one way.
std::wstring FormatFindingLine(const ReportFinding& finding, bool reportOnly);

// The seven counters with Chinese labels, then the time, the data read and the folders walked; one per line.
std::wstring FormatSummary(const ScanStats& s, const RunTotals& totals);

// One JSON object (schema in the README): build, mode, reportOnly, counters, findings, and the changes made
// (or, report-only, planned) in order, each as its journal kind and what it is about.
// A bootkit the boot-record phase found: on which disk, which variant, whether sector 0 was rewritten.
struct BootRecordFinding {
    std::wstring device;
    int variant = 0;
    bool repaired = false;
};

// Its line in the console report.
std::wstring FormatBootRecordLine(const BootRecordFinding& found, bool planned);

// `bootRecord` is null when no bootkit was found (or none was looked for).
std::string FormatJsonReport(const std::string& build, int mode, bool reportOnly, const ScanStats& s,
                             const std::vector<ReportFinding>& findings, const std::vector<JournalEntry>& changes,
                             const BootRecordFinding* bootRecord = nullptr);

// What the progress line shows. `bytesTotal` is 0 when how far along cannot be known.
struct ProgressState {
    std::uint32_t files = 0;
    std::uint32_t threats = 0;
    std::uint64_t bytesDone = 0;
    std::uint64_t bytesTotal = 0;
    std::wstring folder;  // empty on the final line
};

// Console cells a character takes: 2 for East Asian wide and full-width characters, 1 for the rest.
unsigned CellWidth(wchar_t c);

// The progress line, starting with "\r" and filled with blanks to `columns - 1` cells so that it overwrites
// the previous one without wrapping; a long folder keeps its end ("..." + tail). The share done is shown
// only when known, and never as 100 % before the end.
std::wstring FormatProgressLine(const ProgressState& state, unsigned columns);
