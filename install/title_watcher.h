#pragma once
// The "--watch-title" mode: a hidden copy of the launcher that, while the game
// starts up, presses away the multiplayer client's message dialog and gives
// the game's window the community's title, then ends by itself.

#include <windows.h>

#include <cstdint>

namespace br {

extern const wchar_t brandTitle[];  // "BRINDLEHUB"

// How long the watcher keeps going, in milliseconds.
struct WatcherLimits {
    uint64_t overall;        // from its start, whatever happens
    uint64_t processesGone;  // after the client and the game processes were first found missing
    uint64_t titleSettled;   // after the title was last set, or first found set
    uint64_t windowGone;     // after the game window was first found missing
    DWORD passWait;          // longest wait between two passes
};

extern const WatcherLimits watcherLimits;  // 30 min, 60 s, 30 s, 30 s, 1.5 s

// Whether a command line asks for the watcher: "--watch-title" as one of its
// arguments, as CommandLineToArgvW splits it (the program's own path, which
// may hold any text, never counts).
bool startedAsTitleWatcher(const wchar_t* commandLine);

// Runs the watcher with `watcherLimits`; returns when it is done.
void runTitleWatcher();
void runTitleWatcherWith(const WatcherLimits& limits);

// The watcher's state for one run. Times are GetTickCount64 values, 0 for none.
struct TitleWatcher {
    uint64_t start = 0;
    bool clientSeen = false;
    uint64_t clientGoneSince = 0;
    bool windowSeen = false;
    uint64_t windowGoneSince = 0;
    uint64_t titleSince = 0;
    HWND gameWindow = nullptr;
};

// One pass's decisions, over what the pass found. Each returns true when the
// watcher is done.
enum class ProcessScan { unreadable, found, missing };
bool noteProcesses(TitleWatcher& watcher, ProcessScan scan, uint64_t now, const WatcherLimits& limits);
// `setTitle` tells the caller to give the game window `brandTitle`.
bool noteGameWindow(TitleWatcher& watcher, bool titleIsBrand, uint64_t now, const WatcherLimits& limits,
                    bool& setTitle);

// The window callbacks of the scans and of the event hook.
BOOL CALLBACK dismissClientDialog(HWND window, LPARAM unused);
BOOL CALLBACK findGameWindow(HWND window, LPARAM result);
BOOL CALLBACK findOkButton(HWND window, LPARAM result);
bool windowBelongsToProgram(HWND window, const wchar_t* name);
void CALLBACK onWindowShown(HWINEVENTHOOK hook, DWORD event, HWND window, LONG objectId, LONG childId,
                            DWORD threadId, DWORD time);

}  // namespace br
