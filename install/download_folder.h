#pragma once
// The download folder: a folder of the install folder's own, so that a
// download sits under the folder's permissions until it is moved into place,
// and that move is a rename on one volume. Each download waits there as a
// ".part" file named after the SHA-256 of its content.

#include <string>

namespace br {

extern const wchar_t kDownloadFolderName[];  // "brindle_update"

// installFolder + "\brindle_update\" (with the backslash), not created.
std::wstring downloadFolder(const std::wstring& installFolder);
// The same, created; empty when it is a link (it would take every download
// elsewhere) or cannot be made.
std::wstring prepareTempFolder(const std::wstring& installFolder);

// Earlier versions downloaded into "brindle_update" in the user's temp folder:
// emptied of its files and removed, unless it is a link.
void removeOldDownloadFolder();

}  // namespace br
