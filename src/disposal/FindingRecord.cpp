#include "disposal/FindingRecord.h"

#include <atomic>

#include "log/LogFormat.h"
#include "log/VLogger.h"
#include "util/Wow64.h"

namespace {
std::atomic<FindingObserver*> g_observer{nullptr};
}

void SetFindingObserver(FindingObserver* observer) { g_observer = observer; }

HRESULT RecordFinding(VLogger& logger, const wchar_t* szMd5, DWORD crc, const wchar_t* path,
                      const wchar_t* outcome, DWORD threatType) {
    if (!path || !*path) return E_FAIL;
    // On 64-bit Windows the line names the folder the file is really in ("SysWOW64" or "system32").
    const std::wstring shown = NativeSystemPath(path);
    if (FindingObserver* observer = g_observer.load())
        observer->OnFinding(FindingEvent{shown, outcome ? outcome : L"", szMd5 ? szMd5 : L"", crc, threatType});
    // One data item, so the line carries exactly one stamp whatever the logger's state.
    logger << FormatFindingBody(shown.c_str(), outcome, threatType, szMd5, crc) << LogCtl_EndLine;
    return S_OK;
}

HRESULT RecordFinding(const wchar_t* szMd5, DWORD crc, const wchar_t* path, const wchar_t* outcome,
                      DWORD threatType) {
    return RecordFinding(ProcessLogger(), szMd5, crc, path, outcome, threatType);
}
