#pragma once

#include <string>

namespace br {

// Starts the client's start program in the install folder, then the hidden
// title watcher. Only a start program whose bytes are the verified ones is
// started (see setVerifiedStartProgram). False when the client was not
// started (then no watcher is started either).
bool launchGame();
bool launchGameFrom(const std::wstring& folder);

// The start program's SHA-256 as the current run verified it (found right, or
// installed); empty until then. Without it the launch takes the hash that the
// state file records, for "Vẫn khởi động" after a run that failed before its
// check.
void setVerifiedStartProgram(const std::string& sha256);

// The file name of the client's start program, which the launch starts from
// the top of the install folder (kept out of the program's plain text).
std::wstring clientProgramFileName();

// A started watcher that ends within this many milliseconds failed to start.
inline constexpr unsigned long watcherLivenessWait = 150;

// Starts this program again, hidden, with "--watch-title"; up to three
// attempts. Reports nothing but a debugger text when all of them fail.
void startTitleWatcher(unsigned long livenessWait = watcherLivenessWait);

}  // namespace br
