#pragma once
// The download folder: a folder of the install folder's own, so that a
// download sits under the folder's permissions until it is moved into place,
// and that move is a rename on one volume. Each download waits there as a
// ".part" file named after the SHA-256 of its content.

#include <string>
#include <vector>

namespace br {

extern const wchar_t kDownloadFolderName[];  // "brindle_update"

// installFolder + "\brindle_update\" (with the backslash), not created.
std::wstring downloadFolder(const std::wstring& installFolder);
// The same, created; empty when it is a link (it would take every download
// elsewhere) or cannot be made.
std::wstring prepareTempFolder(const std::wstring& installFolder);

// Deletes the files in the prepared tempFolder that wanted does not name: the
// parts of files that no release to come is likely to list again.
void removePartsExcept(const std::wstring& tempFolder, const std::vector<std::wstring>& wanted);

// Earlier versions downloaded into "brindle_update" in the user's temp folder:
// emptied of its files and removed, unless it is a link.
void removeOldDownloadFolder();

}  // namespace br
