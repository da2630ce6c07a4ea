#include "disposal/FindingRecord.h"

#include "log/LogFormat.h"
#include "log/VLogger.h"

HRESULT RecordFinding(VLogger& logger, const wchar_t* szMd5, DWORD crc, const wchar_t* path,
                      const wchar_t* outcome, DWORD threatType) {
    if (!path || !*path) return E_FAIL;
    // One data item, so the line carries exactly one stamp whatever the logger's state.
    logger << FormatFindingBody(path, outcome, threatType, szMd5, crc) << LogCtl_EndLine;
    return S_OK;
}

HRESULT RecordFinding(const wchar_t* szMd5, DWORD crc, const wchar_t* path, const wchar_t* outcome,
                      DWORD threatType) {
    return RecordFinding(g_Logger, szMd5, crc, path, outcome, threatType);
}
