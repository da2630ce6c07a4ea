#pragma once
// Runs code as Windows runs 32-bit threads and callbacks: on a stack aligned to 4 bytes only, which GCC's
// default i686 code does not expect (an SSE value it keeps on the stack then faults). On x86-64 the platform
// always aligns the stack to 16 bytes, and the code simply runs on a thread of its own.

// Runs body(arg) on a new thread, with the stack 4 bytes off 16-byte alignment on i686; returns its result,
// or -1 when the thread could not run or the stack could not be set up as intended (the misalignment is
// measured, not assumed).
int RunOnMisalignedStack(int (*body)(void*), void* arg);
