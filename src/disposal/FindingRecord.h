#pragma once
// One activity-log line for every object a cleaner disposes of or repairs.
#include <windows.h>

#include <string>

class VLogger;

// Outcome texts.
constexpr const wchar_t* kOutcomeDeleted = L"删除成功";
constexpr const wchar_t* kOutcomeRebootDelete = L"重启删除";
constexpr const wchar_t* kOutcomeRepaired = L"修复成功";

// Threat-type numbers carried by a finding line.
enum ThreatType : DWORD {
    kThreatMd5 = 0,
    kThreatCrc = 1,
    kThreatFixedPath = 2,
    kThreatDisguised = 3,
    kThreatAutorun = 4,
    kThreatFolderCompanion = 5,
    kThreatResidentTrojan = 6,
    kThreatNoTermination = 7,
    kThreatDelphi = 8,
    kThreatScript = 9,
    kThreatSilent = 10,
    kThreatExeInfectorRepaired = 11,
    kThreatArchiveInfector = 12,
    kThreatPersistence = 13,
    kThreatBootDropper = 22,
};

// Writes stamp ",," path ",," outcome ",," type ",," md5 ",," crc through the process's logger. E_FAIL, with nothing
// written, for a null or empty path; a null md5 is written as eighteen zeros.
HRESULT RecordFinding(const wchar_t* szMd5, DWORD crc, const wchar_t* path, const wchar_t* outcome,
                      DWORD threatType);
HRESULT RecordFinding(VLogger& logger, const wchar_t* szMd5, DWORD crc, const wchar_t* path,
                      const wchar_t* outcome, DWORD threatType);

// Told of every finding as it is recorded (on the scan worker thread), whether or not a log line is written:
// the console scanner's report. One process-wide observer; null for none.
struct FindingEvent {
    std::wstring path, outcome, md5;
    DWORD crc = 0;
    DWORD threatType = 0;
};
class FindingObserver {
public:
    virtual ~FindingObserver() = default;
    virtual void OnFinding(const FindingEvent& finding) = 0;
};
void SetFindingObserver(FindingObserver* observer);
