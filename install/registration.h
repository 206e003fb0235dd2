#pragma once
// Makes the install folder a registered installation: settings, the launcher's
// own copy, the desktop shortcut and the uninstall entry.

#include <cstddef>
#include <string>

#include "common/win32_handles.h"

namespace br {

// What the registration makes, for the uninstaller to find again.
extern const wchar_t kInstalledCopyName[];  // "brindle.exe" in the install folder
extern const wchar_t kUninstallerName[];    // "uninstall.exe", which the entry names
// The desktop shortcut's path ("...\Brindle.lnk"); empty without a desktop.
std::wstring desktopShortcutPath();

// Runs on the update worker thread at the start of every run. Fixes the
// install folder of the run (the prompt's, else the stored one, else the
// default) and makes it ready (folder_ownership.h), holding it in hold; false
// when the folder is refused, and nothing is registered then. The rest is best
// effort and reports nothing.
bool registerInstallation(UniqueHandle& hold);
// Makes "Brindle.lnk" on the user's desktop, only when nothing has that name yet.
void createDesktopShortcut(const std::wstring& target);
void writeUninstallEntry();

// "major.minor.patch.build" of the file version in a version resource's
// bytes; empty when they hold none.
std::string versionTextOf(const unsigned char* block, size_t size);

}  // namespace br
