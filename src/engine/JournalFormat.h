#pragma once
// The text of a session journal: what a scan changed on the machine and what is needed to put it back.
//
// UTF-8, one change per line, lines ended by "\n". The first line is "veludisk journal 1". Every other line is
// the kind of change, its fields, and a check of the line, separated by tabs:
//     <kind> TAB <field> TAB ... TAB #<CRC-32 of everything before the "#", 8 lower-case hex digits>
// A field holding "%", a tab, CR or LF writes it as "%25", "%09", "%0D" or "%0A"; nothing else is escaped, so
// paths read as they are. A reader takes the lines whose check holds, in order, and stops at the first one
// that is cut off or damaged: what was written before a crash is never lost or misread.
#include <cstdint>
#include <string>
#include <vector>

#include "util/Utf8.h"

constexpr char kJournalHeader[] = "veludisk journal 1";

struct JournalEntry {
    std::string kind;
    std::vector<std::wstring> fields;
    bool operator==(const JournalEntry& o) const { return kind == o.kind && fields == o.fields; }
};

// What a change is about, for reports: the path, or the registry value or key, or the image of a process.
std::wstring JournalSubject(const JournalEntry& entry);

// One line, its "\n" included.
std::string EncodeJournalLine(const JournalEntry& entry);

struct JournalText {
    bool headerOk = false;
    std::vector<JournalEntry> entries;
    bool cutOff = false;  // something after the last good line: a line cut off or damaged
};
JournalText DecodeJournal(const std::string& text);


// Numbers in fields: hex without "0x".
std::wstring HexField(std::uint32_t value);
bool ParseHexField(const std::wstring& text, std::uint32_t& value);
// Bytes in fields (registry data): two lower-case hex digits each.
std::wstring BytesField(const std::vector<std::uint8_t>& bytes);
bool ParseBytesField(const std::wstring& text, std::vector<std::uint8_t>& bytes);
