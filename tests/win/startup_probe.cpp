// A small program the start-up tests run in separate processes:
//   startup_probe version   exit code = GetWindowsVersionClass()
//   startup_probe edition   exit code = DetectEdition()
//   startup_probe sleep     waits a minute (a process for the hand-over to end, or not)
#include <windows.h>

#include <cwchar>

#include "app/Startup.h"

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 100;
    if (!std::wcscmp(argv[1], L"version")) return GetWindowsVersionClass();
    if (!std::wcscmp(argv[1], L"edition")) return DetectEdition();
    if (!std::wcscmp(argv[1], L"sleep")) {
        ::Sleep(60000);
        return 0;
    }
    return 101;
}
