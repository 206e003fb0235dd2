#include "install/install_location.h"

// Stand-ins so the install prompt links until the install-location work lands;
// delete this file when it does.

namespace br {

void setInstallFolder(const std::wstring&) {}

void setShortcutWanted(bool) {}

std::wstring chooseInstallFolder() {
    return std::wstring();
}

}  // namespace br
