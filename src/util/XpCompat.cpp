// Windows XP lacks GetTickCount64, which the posix-model threading runtime imports. This file defines the
// import slot itself, so the program carries no load-time import of it: the first call looks the function
// up in kernel32 and rewrites the slot to the real one, or to a GetTickCount-based fallback on XP.
// Linked as an object into every program, ahead of the import libraries.
#include "util/XpCompat.h"

#include "util/TickExtend.h"

namespace {

typedef ULONGLONG(WINAPI* TickCount64Fn)();

volatile unsigned long long g_lastTick = 0;

ULONGLONG WINAPI FirstTickCount64Call();

}  // namespace

extern "C" {
#if defined(__i386__)
TickCount64Fn g_impGetTickCount64 __asm__("__imp__GetTickCount64@0") = FirstTickCount64Call;
#else
TickCount64Fn g_impGetTickCount64 __asm__("__imp_GetTickCount64") = FirstTickCount64Call;
#endif
}

ULONGLONG WINAPI XpTickCount64Fallback() {
    for (;;) {
        const unsigned long long last = __atomic_load_n(&g_lastTick, __ATOMIC_ACQUIRE);
        const unsigned long long next = ExtendTickCount(last, ::GetTickCount());
        // A stale reading from a thread that was overtaken is returned as it is, never stored.
        if (next <= last) return next;
        unsigned long long expected = last;
        if (__atomic_compare_exchange_n(&g_lastTick, &expected, next, false, __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE))
            return next;
    }
}

namespace {

ULONGLONG WINAPI FirstTickCount64Call() {
    TickCount64Fn real = nullptr;
    if (HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll"))
        real = reinterpret_cast<TickCount64Fn>(reinterpret_cast<void*>(::GetProcAddress(kernel, "GetTickCount64")));
    TickCount64Fn chosen = real ? real : XpTickCount64Fallback;
    __atomic_store_n(&g_impGetTickCount64, chosen, __ATOMIC_RELEASE);
    return chosen();
}

}  // namespace
