#include "support/MisalignedStack.h"

#include <windows.h>

#include <cstdio>

#if defined(__i386__)
extern "C" {
// int CallMisaligned(int (*body)(void*), void* arg): calls body(arg) so that on entry esp + 4 is 4 mod 16
// (GCC assumes 0 mod 16 there).
int CallMisaligned(int (*body)(void*), void* arg);
// The misalignment this function sees on entry: (esp + 4) mod 16.
unsigned EntryMisalignment(void*);
}
__asm__(
    ".text\n"
    ".globl _CallMisaligned\n"
    "_CallMisaligned:\n"
    "  pushl %ebp\n"
    "  movl %esp, %ebp\n"
    "  movl 8(%ebp), %eax\n"
    "  movl 12(%ebp), %ecx\n"
    "  andl $-16, %esp\n"
    "  subl $8, %esp\n"
    "  pushl %ecx\n"
    "  call *%eax\n"
    "  movl %ebp, %esp\n"
    "  popl %ebp\n"
    "  ret\n"
    ".globl _EntryMisalignment\n"
    "_EntryMisalignment:\n"
    "  leal 4(%esp), %eax\n"
    "  andl $15, %eax\n"
    "  ret\n");
#endif

namespace {

struct Job {
    int (*body)(void*);
    void* arg;
    int result;
};

DWORD WINAPI ThreadEntry(void* p) {
    auto* job = static_cast<Job*>(p);
#if defined(__i386__)
    const unsigned off = CallMisaligned(reinterpret_cast<int (*)(void*)>(&EntryMisalignment), nullptr);
    if (off != 4) {
        std::fprintf(stderr, "misaligned stack: expected an entry offset of 4, got %u\n", off);
        job->result = -1;
        return 0;
    }
    std::fprintf(stderr, "running on a stack aligned to 4 bytes only (entry offset %u)\n", off);
    job->result = CallMisaligned(job->body, job->arg);
#else
    job->result = job->body(job->arg);
#endif
    return 0;
}

}  // namespace

int RunOnMisalignedStack(int (*body)(void*), void* arg) {
    Job job{body, arg, -1};
    // Room for the deepest test; the main thread's 2 MiB would do as well, a new thread's default 1 MiB may not.
    HANDLE thread = ::CreateThread(nullptr, 16u << 20, &ThreadEntry, &job, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (!thread) return -1;
    ::WaitForSingleObject(thread, INFINITE);
    ::CloseHandle(thread);
    return job.result;
}
