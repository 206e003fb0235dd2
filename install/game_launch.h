#pragma once

namespace br {

// Starts the client's start program in the install folder, then the hidden
// title watcher. False when the client could not be started.
bool launchGame();

}  // namespace br
