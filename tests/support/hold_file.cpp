// Holds a file open with no sharing at all, as another program (a virus
// scanner, a running game) can, so that tests see what the launcher does with
// a file it cannot replace.
//   brindle_hold_file.exe FILE MARKER
// Once FILE is held, MARKER is created; the holder then waits until it is
// ended, or two minutes at most.

#include <windows.h>

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        return 2;
    }
    HANDLE held = CreateFileW(argv[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (held == INVALID_HANDLE_VALUE) {
        return 1;
    }
    HANDLE marker = CreateFileW(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (marker != INVALID_HANDLE_VALUE) {
        CloseHandle(marker);
    }
    Sleep(120000);
    CloseHandle(held);
    return 0;
}
