#pragma once

namespace br {

// The "--watch-title" mode: tidies the game client's windows, then returns.
void runTitleWatcher();

}  // namespace br
