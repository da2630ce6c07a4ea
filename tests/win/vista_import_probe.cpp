// Imports a function Windows XP lacks, for the test of the import check. Never shipped, never run.
#include <windows.h>

int main() {
    SRWLOCK lock;
    InitializeSRWLock(&lock);
    return 0;
}
