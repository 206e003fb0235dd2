#include "install/title_watcher.h"

#include <shellapi.h>
#include <tlhelp32.h>

#include <cwchar>

#include "common/product.h"
#include "common/win32_handles.h"

namespace br {

const wchar_t brandTitle[] = BRINDLE_WIDE(BRINDLE_BRAND);

const WatcherLimits watcherLimits = {
    1800000,  // overall
    60000,    // processesGone
    30000,    // titleSettled
    30000,    // windowGone
    1500,     // passWait
};

namespace {

// The multiplayer client, its anti-cheat launcher and the game: while any of
// them runs, the game may still bring up its window.
const wchar_t clientProgram[] = BRINDLE_WIDE(BRINDLE_CLIENT_EXE);
const wchar_t* const watchedProcesses[] = {clientProgram, L"EACLauncher.exe", L"GTA5.exe"};
const wchar_t gameProgram[] = L"gta5.exe";
const wchar_t clientDialogTitle[] = L"RAGE Multiplayer";
const wchar_t dialogClass[] = L"#32770";
const LONG smallestGameWidth = 640;
const LONG smallestGameHeight = 360;
const UINT messageTimeout = 1000;

const int classBufferSize = 32;
const int dialogTitleBufferSize = 128;
const int gameTitleBufferSize = 64;
const int buttonTextBufferSize = 32;

bool sameIgnoringCase(const wchar_t* a, const wchar_t* b) {
    return _wcsicmp(a, b) == 0;
}

}  // namespace

static void scanWindows(TitleWatcher& watcher);
static ProcessScan scanProcesses();
static bool checkGameWindow(TitleWatcher& watcher, uint64_t now, const WatcherLimits& limits);
static void waitForMessages(DWORD passWait);

bool startedAsTitleWatcher(const wchar_t* commandLine) {
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(commandLine, &count);
    bool found = false;
    for (int i = 1; arguments != nullptr && i < count; ++i) {
        found = found || std::wcscmp(arguments[i], L"--watch-title") == 0;
    }
    LocalFree(arguments);
    return found;
}

void runTitleWatcher() {
    runTitleWatcherWith(watcherLimits);
}

// One pass: the processes, then the game window, then a wait and a new scan of
// the windows. Every end condition is checked in that order.
void runTitleWatcherWith(const WatcherLimits& limits) {
    WinEventHook hook(SetWinEventHook(EVENT_OBJECT_SHOW, EVENT_OBJECT_SHOW, nullptr, onWindowShown, 0, 0,
                                      WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS));
    TitleWatcher watcher;
    watcher.start = GetTickCount64();

    scanWindows(watcher);
    uint64_t now = GetTickCount64();
    while (now - watcher.start < limits.overall) {
        if (noteProcesses(watcher, scanProcesses(), now, limits)) {
            break;
        }
        if (checkGameWindow(watcher, now, limits)) {
            break;
        }
        waitForMessages(limits.passWait);
        scanWindows(watcher);
        now = GetTickCount64();
    }
}

static void scanWindows(TitleWatcher& watcher) {
    EnumWindows(dismissClientDialog, 0);
    watcher.gameWindow = nullptr;
    EnumWindows(findGameWindow, reinterpret_cast<LPARAM>(&watcher.gameWindow));
}

// Presses the client's message dialog away: its OK button first, then
// WM_CLOSE; each message gives up after a second on a hung dialog. Returns
// FALSE, which ends an enumeration, once the dialog is gone.
BOOL CALLBACK dismissClientDialog(HWND window, LPARAM) {
    if (!IsWindowVisible(window)) {
        return TRUE;
    }
    wchar_t className[classBufferSize] = {};
    wchar_t title[dialogTitleBufferSize] = {};
    GetClassNameW(window, className, classBufferSize);
    GetWindowTextW(window, title, dialogTitleBufferSize);
    if (!sameIgnoringCase(title, clientDialogTitle) || std::wcscmp(className, dialogClass) != 0 ||
        !windowBelongsToProgram(window, clientProgram)) {
        return TRUE;
    }

    HWND okButton = nullptr;
    EnumChildWindows(window, findOkButton, reinterpret_cast<LPARAM>(&okButton));
    DWORD_PTR answer = 0;
    if (okButton != nullptr) {
        SendMessageTimeoutW(okButton, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, messageTimeout, &answer);
        if (!IsWindow(window)) {
            return FALSE;
        }
    }
    SendMessageTimeoutW(window, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, messageTimeout, &answer);
    if (!IsWindow(window)) {
        return FALSE;
    }
    PostMessageW(window, WM_CLOSE, 0, 0);
    return TRUE;
}

BOOL CALLBACK findOkButton(HWND window, LPARAM result) {
    if (!IsWindowVisible(window) || !IsWindowEnabled(window)) {
        return TRUE;
    }
    wchar_t className[classBufferSize] = {};
    GetClassNameW(window, className, classBufferSize);
    if (!sameIgnoringCase(className, L"Button")) {
        return TRUE;
    }
    wchar_t text[buttonTextBufferSize] = {};
    GetWindowTextW(window, text, buttonTextBufferSize);
    if (!sameIgnoringCase(text, L"OK")) {
        return TRUE;
    }
    *reinterpret_cast<HWND*>(result) = window;
    return FALSE;
}

// The game's main window: visible, titled, not a dialog, big enough, and
// owned by the game. The first one in Z order wins.
BOOL CALLBACK findGameWindow(HWND window, LPARAM result) {
    // GetWindowTextW reads another program's title without asking its window,
    // which may not be answering; the length query may wait on it.
    wchar_t title[2] = {};
    if (!IsWindowVisible(window) || GetWindowTextW(window, title, 2) < 1) {
        return TRUE;
    }
    wchar_t className[classBufferSize] = {};
    GetClassNameW(window, className, classBufferSize);
    if (std::wcscmp(className, dialogClass) == 0) {
        return TRUE;
    }
    RECT client{};
    if (!GetClientRect(window, &client) || client.right - client.left < smallestGameWidth ||
        client.bottom - client.top < smallestGameHeight) {
        return TRUE;
    }
    if (!windowBelongsToProgram(window, gameProgram)) {
        return TRUE;
    }
    *reinterpret_cast<HWND*>(result) = window;
    return FALSE;
}

// A process that cannot be opened or asked (a protected one, say) owns nothing.
bool windowBelongsToProgram(HWND window, const wchar_t* name) {
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process) {
        return false;
    }
    wchar_t path[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    if (!QueryFullProcessImageNameW(process.get(), 0, path, &size)) {
        return false;
    }
    const wchar_t* slash = std::wcsrchr(path, L'\\');
    return sameIgnoringCase(slash == nullptr ? path : slash + 1, name);
}

// Most dialogs are caught here the moment they are shown; the scans catch
// whatever the event missed, and do all the work where no such events come.
void CALLBACK onWindowShown(HWINEVENTHOOK, DWORD event, HWND window, LONG objectId, LONG childId, DWORD, DWORD) {
    if (event == EVENT_OBJECT_SHOW && window != nullptr && objectId == OBJID_WINDOW && childId == CHILDID_SELF) {
        dismissClientDialog(window, 0);
    }
}

static ProcessScan scanProcesses() {
    UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) {
        return ProcessScan::unreadable;
    }
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    if (!Process32FirstW(snapshot.get(), &entry)) {
        return ProcessScan::unreadable;
    }
    do {
        for (const wchar_t* name : watchedProcesses) {
            if (sameIgnoringCase(entry.szExeFile, name)) {
                return ProcessScan::found;
            }
        }
    } while (Process32NextW(snapshot.get(), &entry));
    return ProcessScan::missing;
}

// A snapshot that cannot be read counts as the processes being there.
bool noteProcesses(TitleWatcher& watcher, ProcessScan scan, uint64_t now, const WatcherLimits& limits) {
    if (scan == ProcessScan::unreadable) {
        watcher.clientGoneSince = 0;
        return false;
    }
    if (scan == ProcessScan::found) {
        watcher.clientSeen = true;
        watcher.clientGoneSince = 0;
        return false;
    }
    if (!watcher.clientSeen) {
        return false;
    }
    if (watcher.clientGoneSince == 0) {
        watcher.clientGoneSince = now;
    }
    return now - watcher.clientGoneSince >= limits.processesGone;
}

static bool checkGameWindow(TitleWatcher& watcher, uint64_t now, const WatcherLimits& limits) {
    bool titleIsBrand = false;
    if (watcher.gameWindow != nullptr) {
        wchar_t title[gameTitleBufferSize] = {};
        GetWindowTextW(watcher.gameWindow, title, gameTitleBufferSize);
        titleIsBrand = std::wcscmp(title, brandTitle) == 0;
    }
    bool setTitle = false;
    bool done = noteGameWindow(watcher, titleIsBrand, now, limits, setTitle);
    if (setTitle) {
        // SetWindowTextW would wait for as long as the game does not answer,
        // which is common while it loads. A title that did not go through is
        // found different on the next pass and sent again.
        DWORD_PTR answer = 0;
        SendMessageTimeoutW(watcher.gameWindow, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(brandTitle),
                            SMTO_ABORTIFHUNG, messageTimeout, &answer);
    }
    return done;
}

// A game that keeps resetting its own title gets it back on every pass; the
// settle time counts from the last time it was set, and runs on while the
// window is missing.
bool noteGameWindow(TitleWatcher& watcher, bool titleIsBrand, uint64_t now, const WatcherLimits& limits,
                    bool& setTitle) {
    setTitle = false;
    if (watcher.gameWindow != nullptr) {
        watcher.windowSeen = true;
        watcher.windowGoneSince = 0;
        if (!titleIsBrand) {
            setTitle = true;
            watcher.titleSince = now;
        } else if (watcher.titleSince == 0) {
            watcher.titleSince = now;
        }
        return now - watcher.titleSince >= limits.titleSettled;
    }
    if (!watcher.windowSeen) {
        return false;
    }
    if (watcher.windowGoneSince == 0) {
        watcher.windowGoneSince = now;
    }
    return now - watcher.windowGoneSince >= limits.windowGone;
}

// Sleeps until something arrives in the queue or the pass wait is over, then
// handles everything queued; the event hook's calls happen here.
static void waitForMessages(DWORD passWait) {
    MsgWaitForMultipleObjectsEx(0, nullptr, passWait, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

}  // namespace br
