#pragma once

#include <string>

namespace br {

// True when an install folder has been stored by an earlier run.
bool hasStoredInstallFolder();
// The stored install folder, or the default one when none is stored.
std::wstring storedOrDefaultInstallFolder();

}  // namespace br
