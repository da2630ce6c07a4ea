/* Reads a 16-byte SSE operand from its stack without aligning the stack first: on a thread whose stack is
   aligned to 4 bytes it faults, and the stack-alignment check must refuse it. Never run. */
__attribute__((noinline, target("sse2"))) int ReadsAlignedStack(void) {
    int r;
    __asm__ volatile("sub $32, %%esp\n\t"
                     "pxor %%xmm3, %%xmm3\n\t"
                     "pand 0x10(%%esp), %%xmm3\n\t"
                     "add $32, %%esp\n\t"
                     "movd %%xmm3, %0"
                     : "=r"(r)::"xmm3", "memory");
    return r;
}

int main(void) { return ReadsAlignedStack(); }
