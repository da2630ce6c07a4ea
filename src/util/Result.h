#pragma once
// Result codes in the COM style, shared by portable and Windows code (the values equal S_OK, S_FALSE and E_FAIL).
#include <cstdint>

using VResult = std::int32_t;
constexpr VResult kResultOk = 0;
constexpr VResult kResultDeclined = 1;
constexpr VResult kResultFail = static_cast<VResult>(0x80004005u);
// Two positive codes that are not success: SUCCEEDED() would read them as success, so a caller that needs to
// know whether something was done compares with kResultOk (ResultDone). Being positive, they do not end a
// scan's step sequence either.
constexpr VResult kResultNothingToDo = 3;    // nothing there to check (ERROR_PATH_NOT_FOUND)
constexpr VResult kResultInvalidDrive = 15;  // no drive of the requested kind (ERROR_INVALID_DRIVE)
constexpr bool ResultDone(VResult result) { return result == kResultOk; }
