#include "install/title_watcher.h"

namespace br {

void runTitleWatcher() {}

}  // namespace br
