#pragma once

#include <cstdint>

namespace br {

// Counts frames after a successful run before the game starts; reset by
// startUpdateWorker so that every run can launch once.
extern bool autoLaunchDone;
extern int32_t successFrameCount;

// Everything the launcher shows, drawn once per frame.
void drawLauncherFrame();

}  // namespace br
