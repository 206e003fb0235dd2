#pragma once
// What the uninstaller removes from one install folder, step by step, and
// what it could not remove. Only what the launcher made, never through a link,
// never outside the folder: the player's own files and the client's caches
// stay.

#include <string>
#include <vector>

#include "update/file_state.h"

namespace br {

struct Removal {
    std::wstring folder;                  // the install folder, without a trailing backslash
    std::wstring self;                    // the running uninstaller, removed last by its helper
    std::vector<std::wstring> notRemoved;  // what could not go, for the report
    std::vector<std::wstring> emptied;     // folders that files went out of
    StateCache remaining;                  // recorded files that could not go
};

// The programs that run from inside the folder (the launcher, the client),
// by their full paths; the uninstaller itself is left out.
std::vector<std::wstring> programsRunningFrom(const std::wstring& folder);

void removeRecordedFiles(Removal& removal);
void removeLauncherFiles(Removal& removal);    // the state file and brindle.exe
void removeDownloadFolder(Removal& removal);
void removeShortcut(Removal& removal);        // only one that points into this folder
void removeSettings(Removal& removal);        // only values that name this folder
void removeUninstallEntry(Removal& removal);  // only when it is this folder's
void removeEmptiedFolders(Removal& removal);

}  // namespace br
