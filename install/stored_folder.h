#pragma once
// Which stored install folder a start may use without asking. The setting
// "brindle_path" lives where any program of the user can write it, while the
// elevated launcher writes into that folder and starts a program from it.

#include <string>

namespace br {

// A plain absolute folder on a drive, written the one way Windows writes it.
bool isUsableStoredFolder(const std::wstring& folder);

// The setting when it is usable; empty otherwise.
std::wstring storedInstallFolder();
// Whether a start may update the stored folder at once: it is usable and the
// uninstall entry, which only administrators can write, names it too.
bool hasStoredInstallFolder();
// What the install prompt offers: the stored folder when usable, else the default.
std::wstring storedOrDefaultInstallFolder();

}  // namespace br
