// Does to the launcher's window what a player or the system would, from
// another process, and reports the window's state, for the end-to-end tests:
//   brindle_window_tool.exe state     prints "iconic visible enabled x y width height"
//   brindle_window_tool.exe minimise  minimises it, as the taskbar would
//   brindle_window_tool.exe cover     puts a topmost window over the whole screen for 30 s
// The window is found by its class. Output goes to stdout; exit code 1 when
// there is no launcher window.

#include <windows.h>

#include <cstdio>
#include <cwchar>

namespace {

HWND launcherWindow() {
    return FindWindowW(L"BrindleUpdaterCls", nullptr);
}

LRESULT CALLBACK coverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window, message, wParam, lParam);
}

int cover() {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = coverProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"BrindleTestCover";
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    RegisterClassW(&windowClass);
    HWND window = CreateWindowExW(WS_EX_TOPMOST, windowClass.lpszClassName, L"cover", WS_POPUP | WS_VISIBLE, 0, 0,
                                  GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), nullptr, nullptr,
                                  windowClass.hInstance, nullptr);
    const ULONGLONG end = GetTickCount64() + 30000;
    while (GetTickCount64() < end) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&message);
        }
        Sleep(20);
    }
    DestroyWindow(window);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        return 2;
    }
    if (std::wcscmp(argv[1], L"cover") == 0) {
        return cover();
    }
    HWND window = launcherWindow();
    if (window == nullptr) {
        return 1;
    }
    if (std::wcscmp(argv[1], L"minimise") == 0) {
        ShowWindow(window, SW_MINIMIZE);
        return 0;
    }
    RECT frame{};
    GetWindowRect(window, &frame);
    std::printf("%d %d %d %ld %ld %ld %ld\n", IsIconic(window) ? 1 : 0, IsWindowVisible(window) ? 1 : 0,
                IsWindowEnabled(window) ? 1 : 0, frame.left, frame.top, frame.right - frame.left,
                frame.bottom - frame.top);
    return 0;
}
