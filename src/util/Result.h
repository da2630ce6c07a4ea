#pragma once
// Result codes in the COM style, shared by portable and Windows code (the values equal S_OK, S_FALSE and E_FAIL).
#include <cstdint>

using VResult = std::int32_t;
constexpr VResult kResultOk = 0;
constexpr VResult kResultDeclined = 1;
constexpr VResult kResultFail = static_cast<VResult>(0x80004005u);
