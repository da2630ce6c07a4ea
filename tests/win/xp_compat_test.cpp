#include <gtest/gtest.h>

#include "util/XpCompat.h"

extern "C" {
#if defined(__i386__)
extern ULONGLONG(WINAPI* g_impGetTickCount64)() __asm__("__imp__GetTickCount64@0");
#else
extern ULONGLONG(WINAPI* g_impGetTickCount64)() __asm__("__imp_GetTickCount64");
#endif
}

namespace {

TEST(XpCompat, ImportSlotResolvesAtFirstCall) {
    const ULONGLONG first = g_impGetTickCount64();
    const DWORD now = ::GetTickCount();
    EXPECT_LT(static_cast<DWORD>(now - static_cast<DWORD>(first)), 1000u) << "agrees with GetTickCount";
    const ULONGLONG second = g_impGetTickCount64();
    EXPECT_GE(second, first);
}

TEST(XpCompat, FallbackFollowsGetTickCountMonotonically) {
    ULONGLONG last = XpTickCount64Fallback();
    EXPECT_LT(static_cast<DWORD>(::GetTickCount() - static_cast<DWORD>(last)), 1000u);
    for (int i = 0; i < 1000; ++i) {
        const ULONGLONG next = XpTickCount64Fallback();
        ASSERT_GE(next, last);
        last = next;
    }
}

}  // namespace
