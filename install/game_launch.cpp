#include "install/game_launch.h"

// Placeholder until the game-launch work lands.

namespace br {

bool launchGame() {
    return false;
}

}  // namespace br
