#include "ui/screens.h"

namespace br {

bool autoLaunchDone = false;
int32_t successFrameCount = 0;

void drawLauncherFrame() {}

}  // namespace br
