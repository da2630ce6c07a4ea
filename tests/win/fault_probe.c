/* Faults on purpose: a crashing test program must end its test at once, not wait in a debugger. */
#include <stdio.h>

int main(void) {
    volatile int* volatile nowhere = (int*)0;
    fputs("fault_probe: about to fault\n", stderr);
    fflush(stderr);
    return *nowhere;
}
