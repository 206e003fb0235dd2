#pragma once

#include <string>

namespace br {

// Starts the client's start program in the install folder, then the hidden
// title watcher. False when the client could not be started (then no watcher
// is started either).
bool launchGame();
bool launchGameFrom(const std::wstring& folder);

// Starts this program again, hidden, with "--watch-title"; up to three
// attempts. Reports nothing but a debugger text when all of them fail.
void startTitleWatcher();

}  // namespace br
