#include "install/install_location.h"

namespace br {

bool hasStoredInstallFolder() {
    return false;
}

std::wstring storedOrDefaultInstallFolder() {
    return L"C:\\Brindle";
}

}  // namespace br
