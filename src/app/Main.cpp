// veludisk.exe entry point. The start-up sequence (command line, risk statement, single instance, main window)
// is still to come; until then the program only loads its detection data and exits with 0 when it is sound.
#include <windows.h>

#include "disposal/CrcBlacklist.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    CrcBlacklist blacklist;
    return blacklist.LoadCrcList() == kResultOk ? 0 : 1;
}
