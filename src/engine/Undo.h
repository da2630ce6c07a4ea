#pragma once
// Putting a scan session's changes back, from its journal, last change first.
#include <set>
#include <string>
#include <vector>

#include "engine/JournalFormat.h"

struct SessionInfo {
    std::wstring name;    // the folder's name: the session's start time
    std::wstring folder;  // with "\"
    JournalText journal;
    bool undone = false;  // an undo has put everything back
    std::set<std::size_t> reversedLines;  // journal lines an undo that left something has already reversed
};

// The sessions under `sessionsFolder` ("BackFiles\"), oldest first; folders without a journal are not sessions.
std::vector<SessionInfo> ListSessions(const std::wstring& sessionsFolder);

enum class UndoResult {
    Restored,       // as it was before the scan
    RestoredBeside, // something is at the old place now: the copy was put under a free name beside it
    NothingToDo,    // the change needs no undo (a backup, a restart list taken off again)
    NotReversible,  // by design: an ended process is not restarted, a started program not unrun
    Failed,         // it could not be put back; `detail` says why
};

struct UndoStep {
    JournalEntry entry;
    UndoResult result = UndoResult::Failed;
    std::wstring path;    // what the step is about
    std::wstring detail;  // the other name, or why it failed
};

// Reverses the session's changes in reverse order; with `planOnly` nothing changes and the steps say what
// would be done. A disk sector is written back only with `sectorsConfirmed` (the user said yes), and only when
// it still holds exactly what the session wrote. A session undone whole is marked so and refused afterwards;
// after an undo that left something, the next one takes only what is left.
std::vector<UndoStep> UndoSession(const SessionInfo& session, bool planOnly, bool sectorsConfirmed = false);
// Whether the session wrote a disk sector (an undo asks first).
bool SessionWroteSectors(const SessionInfo& session);

// A line of the undo report, in the program's words.
std::wstring DescribeUndoStep(const UndoStep& step, bool planOnly);
// "删除 3，属性 2，改名 1，注册表 1" for a session list.
std::wstring DescribeSessionChanges(const JournalText& journal);
