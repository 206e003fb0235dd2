#include "install/install_location.h"

// Placeholder until the install-location work lands: the launcher always shows
// the install prompt and uses the default folder.

namespace br {

const wchar_t kDefaultInstallFolder[] = L"C:\\Brindle";

bool hasStoredInstallFolder() {
    return false;
}

std::wstring storedOrDefaultInstallFolder() {
    return kDefaultInstallFolder;
}

std::wstring installFolder() {
    return kDefaultInstallFolder;
}

}  // namespace br
