/* A harmless program that carries a folder icon, as the worms' look-alikes do. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command, int show) {
    (void)instance, (void)previous, (void)command, (void)show;
    return 0;
}
