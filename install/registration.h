#pragma once
// Makes the install folder a registered installation: settings, the launcher's
// own copy, the desktop shortcut and the uninstall entry. Best effort throughout.

#include <string>

namespace br {

// Runs on the update worker thread at the start of every run.
void registerInstallation();
// Makes "Brindle.lnk" on the user's desktop, only when nothing has that name yet.
void createDesktopShortcut(const std::wstring& target);
void writeUninstallEntry();

}  // namespace br
