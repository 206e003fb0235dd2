#pragma once
// Makes the install folder a registered installation: settings, the launcher's
// own copy, the desktop shortcut and the uninstall entry. Best effort throughout.

#include <string>

namespace br {

// What the registration makes, for the uninstaller to find again.
extern const wchar_t kInstalledCopyName[];  // "brindle.exe" in the install folder
extern const wchar_t kUninstallKey[];       // under HKEY_LOCAL_MACHINE
extern const wchar_t kUninstallerName[];    // "uninstall.exe", which the entry names
// The desktop shortcut's path ("...\Brindle.lnk"); empty without a desktop.
std::wstring desktopShortcutPath();

// Runs on the update worker thread at the start of every run.
void registerInstallation();
// Makes "Brindle.lnk" on the user's desktop, only when nothing has that name yet.
void createDesktopShortcut(const std::wstring& target);
void writeUninstallEntry();

}  // namespace br
