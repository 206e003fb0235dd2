// Stand-in for the multiplayer client ("ragemp_v.exe"): shows the standard
// message box titled "RAGE Multiplayer" with its "OK" button and records how
// the box was dealt with ("ok" for its button, "close" for WM_CLOSE).
//
// Variants: --ok=disabled|hidden|none changes the box's button; --class=<name>
// shows a plain window of that class with the same title and an "OK" button
// instead of the box; --title=<text> changes the title; --delay-ms=<n> waits
// before showing anything.

#include "standin.h"

namespace {

WNDPROC originalBoxProc = nullptr;
HHOOK creationHook = nullptr;
std::wstring okVariant;

// Records the two ways the box can be dismissed, then lets it go on as usual.
LRESULT CALLBACK recordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND && LOWORD(wParam) == IDOK && HIWORD(wParam) == BN_CLICKED && lParam != 0) {
        standin::record(L"ok");
    } else if (message == WM_CLOSE) {
        standin::record(L"close");
        // The box's own handling of WM_CLOSE depends on its buttons; always end it.
        EndDialog(window, IDCANCEL);
        return 0;
    }
    WNDPROC next = originalBoxProc != nullptr ? originalBoxProc : DefWindowProcW;
    return CallWindowProcW(next, window, message, wParam, lParam);
}

void changeOkButton(HWND box) {
    HWND ok = GetDlgItem(box, IDOK);
    if (ok == nullptr) {
        ok = FindWindowExW(box, nullptr, L"Button", nullptr);
    }
    if (ok == nullptr) {
        return;
    }
    if (okVariant == L"disabled") {
        EnableWindow(ok, FALSE);
    } else if (okVariant == L"hidden") {
        ShowWindow(ok, SW_HIDE);
    } else if (okVariant == L"none") {
        DestroyWindow(ok);
    }
}

// Catches the box as it is activated, before anyone outside can see it.
LRESULT CALLBACK watchBoxCreation(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE && originalBoxProc == nullptr) {
        HWND box = reinterpret_cast<HWND>(wParam);
        changeOkButton(box);
        originalBoxProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(recordingProc)));
        standin::record(L"shown");
    }
    return CallNextHookEx(creationHook, code, wParam, lParam);
}

int showMessageBox(const std::wstring& title) {
    creationHook = SetWindowsHookExW(WH_CBT, watchBoxCreation, nullptr, GetCurrentThreadId());
    int result = MessageBoxW(nullptr, L"Không thể kết nối tới máy chủ.", title.c_str(), MB_OK);
    UnhookWindowsHookEx(creationHook);
    return result;
}

LRESULT CALLBACK plainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
        standin::record(L"ok");
        DestroyWindow(window);
        return 0;
    }
    if (message == WM_CLOSE) {
        standin::record(L"close");
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void showPlainWindow(HINSTANCE instance, const std::wstring& className, const std::wstring& title) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = plainWindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = className.c_str();
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    RegisterClassExW(&windowClass);
    HWND window = CreateWindowExW(0, className.c_str(), title.c_str(), WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU,
                                  200, 200, 320, 160, nullptr, nullptr, instance, nullptr);
    CreateWindowExW(0, L"Button", L"OK", WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON, 120, 70, 80, 26, window,
                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDOK)), instance, nullptr);
    ShowWindow(window, SW_SHOWNORMAL);
    standin::record(L"shown");
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
    standin::Options options;
    standin::openRecord(options, L"ragemp_v.record");
    standin::endWhenTold(options);
    okVariant = options.text(L"ok", L"");
    const std::wstring title = options.text(L"title", L"RAGE Multiplayer");

    Sleep(static_cast<DWORD>(options.number(L"delay-ms", 0)));
    if (options.has(L"class")) {
        showPlainWindow(instance, options.text(L"class", L"RageDialog"), title);
    } else {
        standin::record(L"result " + std::to_wstring(showMessageBox(title)));
    }
    // The client keeps running after its message, as the real one does.
    standin::runMessageLoop();
    return 0;
}
