// Stands in for the client's start program in the start-up benchmark, which
// notes when this process appears. It lingers a moment so that it is seen.

#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    Sleep(2000);
    return 0;
}
