#pragma once

#include <string>

namespace br {

// Starts the client's start program in the install folder, then the hidden
// title watcher. False when the client could not be started (then no watcher
// is started either).
bool launchGame();
bool launchGameFrom(const std::wstring& folder);

// The file name of the client's start program, which the launch starts from
// the top of the install folder (kept out of the program's plain text).
std::wstring clientProgramFileName();

// A started watcher that ends within this many milliseconds failed to start.
inline constexpr unsigned long watcherLivenessWait = 150;

// Starts this program again, hidden, with "--watch-title"; up to three
// attempts. Reports nothing but a debugger text when all of them fail.
void startTitleWatcher(unsigned long livenessWait = watcherLivenessWait);

}  // namespace br
