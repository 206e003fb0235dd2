#pragma once
// The install folder of this run, and the prompt's shortcut choice: values of
// the process, written by the interface before it starts a run and by the
// registration step, read by the worker and the launch.

#include <string>

namespace br {

extern const wchar_t kDefaultInstallFolder[];  // "C:\Brindle"

// Empty at start. It lives to the end of the process, past static
// destruction, since a detached worker may still read it.
extern std::wstring& chosenInstallFolder;

// chosenInstallFolder, or the default while none is set; never empty.
std::wstring installFolder();
// An empty folder changes nothing; any other is kept exactly as given.
void setInstallFolder(const std::wstring& folder);

bool shortcutWanted();  // true until the prompt says otherwise
void setShortcutWanted(bool wanted);

}  // namespace br
