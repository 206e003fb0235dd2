// Stand-in for the game ("GTA5.exe"): one visible window, 800 x 600 by
// default, titled "Grand Theft Auto V". It records every title its window
// carries ("title <text>": the first at once, later ones polled every 20 ms)
// and every WM_SETTEXT it gets ("settext <text>").
//
// Variants: --size=<w>x<h> (client area), --title=<text>, --untitled,
// --dialog (a window of the dialog class "#32770"), --no-window,
// --window-ms=<n> (the window goes after n ms, the process stays),
// --retitle-ms=<n> with --retitle-for-ms=<m> (puts its own title back every
// n ms during the first m ms, as a game that keeps resetting it),
// --hang-after-ms=<n> with --hang-for-ms=<m> (stops answering messages for m
// ms, n ms after its start, as a game that is "Not responding" while it
// loads; records "hung" and "answering").

#include "standin.h"

namespace {

HWND gameWindow = nullptr;
WNDPROC originalProc = nullptr;
std::wstring ownTitle;
std::wstring lastTitle;
ULONGLONG startTick = 0;
ULONGLONG windowEnd = 0;
ULONGLONG retitleEvery = 0;
ULONGLONG retitleUntil = 0;
ULONGLONG lastRetitle = 0;
ULONGLONG hangAt = 0;
DWORD hangFor = 0;

std::wstring currentTitle() {
    wchar_t title[256] = {};
    GetWindowTextW(gameWindow, title, 256);
    return title;
}

LRESULT CALLBACK recordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SETTEXT && lParam != 0) {
        standin::record(L"settext " + std::wstring(reinterpret_cast<const wchar_t*>(lParam)));
    }
    return CallWindowProcW(originalProc, window, message, wParam, lParam);
}

void CALLBACK tick(HWND, UINT, UINT_PTR, DWORD) {
    if (gameWindow == nullptr) {
        return;
    }
    ULONGLONG now = GetTickCount64();
    if (hangFor != 0 && now >= hangAt) {
        standin::record(L"hung");
        Sleep(hangFor);
        hangFor = 0;
        standin::record(L"answering");
        return;
    }
    if (windowEnd != 0 && now >= windowEnd) {
        // Recorded first: without a window manager, Wine takes two seconds
        // to return from destroying a shown window.
        standin::record(L"window gone");
        DestroyWindow(gameWindow);
        gameWindow = nullptr;
        return;
    }
    if (retitleEvery != 0 && now < retitleUntil && now - lastRetitle >= retitleEvery) {
        lastRetitle = now;
        if (currentTitle() != ownTitle) {
            SetWindowTextW(gameWindow, ownTitle.c_str());
        }
    }
    std::wstring title = currentTitle();
    if (title != lastTitle) {
        lastTitle = title;
        standin::record(L"title " + title);
    }
}

void createGameWindow(HINSTANCE instance, const standin::Options& options) {
    int width = 800;
    int height = 600;
    std::wstring size = options.text(L"size", L"800x600");
    swscanf(size.c_str(), L"%dx%d", &width, &height);

    const wchar_t* className = L"#32770";
    if (!options.has(L"dialog")) {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = instance;
        windowClass.lpszClassName = L"grcWindow";
        windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
        RegisterClassExW(&windowClass);
        className = L"grcWindow";
    }
    const DWORD style = WS_OVERLAPPEDWINDOW;
    RECT frame{0, 0, width, height};
    AdjustWindowRectEx(&frame, style, FALSE, 0);
    gameWindow = CreateWindowExW(0, className, ownTitle.c_str(), style, 40, 40, frame.right - frame.left,
                                 frame.bottom - frame.top, nullptr, nullptr, instance, nullptr);
    originalProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(gameWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(recordingProc)));
    ShowWindow(gameWindow, SW_SHOWNORMAL);

    RECT client{};
    GetClientRect(gameWindow, &client);
    standin::record(L"window " + std::to_wstring(client.right) + L"x" + std::to_wstring(client.bottom));
    // The starting title, before any message can change it: a watcher that is
    // already running may retitle the window before the first tick.
    lastTitle = currentTitle();
    standin::record(L"title " + lastTitle);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
    standin::Options options;
    standin::openRecord(options, L"GTA5.record");
    standin::endWhenTold(options);
    startTick = GetTickCount64();
    ownTitle = options.has(L"untitled") ? L"" : options.text(L"title", L"Grand Theft Auto V");
    int windowMs = options.number(L"window-ms", 0);
    windowEnd = windowMs > 0 ? startTick + static_cast<ULONGLONG>(windowMs) : 0;
    retitleEvery = static_cast<ULONGLONG>(options.number(L"retitle-ms", 0));
    retitleUntil = startTick + static_cast<ULONGLONG>(options.number(L"retitle-for-ms", 0));
    hangAt = startTick + static_cast<ULONGLONG>(options.number(L"hang-after-ms", 0));
    hangFor = static_cast<DWORD>(options.number(L"hang-for-ms", 0));

    if (!options.has(L"no-window")) {
        createGameWindow(instance, options);
    }
    SetTimer(nullptr, 0, 20, tick);
    standin::runMessageLoop();
    return 0;
}
