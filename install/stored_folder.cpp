#include "install/stored_folder.h"

#include <windows.h>

#include "install/install_paths.h"
#include "install/run_folder.h"
#include "install/settings.h"

namespace br {

bool isUsableStoredFolder(const std::wstring& folder) {
    if (folder.size() < 4 || !((folder[0] >= L'A' && folder[0] <= L'Z') || (folder[0] >= L'a' && folder[0] <= L'z')) ||
        folder[1] != L':' || folder[2] != L'\\' || folder[3] == L'\\') {
        return false;  // also every "\\server\share" and "\\?\" form, and relative paths
    }
    for (size_t i = 2; i < folder.size(); ++i) {
        wchar_t c = folder[i];
        if (c < 0x20 || c == L'"' || c == L':' || c == L'*' || c == L'?' || c == L'<' || c == L'>' || c == L'|') {
            return false;
        }
    }
    // No ".", "..", "/" or trailing dots and spaces: the full path is the folder itself.
    return fullPath(folder) == folder && folder.size() < MAX_PATH;
}

std::wstring storedInstallFolder() {
    std::wstring stored = readSetting(kInstallFolderSetting);
    return isUsableStoredFolder(stored) ? stored : std::wstring();
}

bool hasStoredInstallFolder() {
    const std::wstring stored = storedInstallFolder();
    return !stored.empty() && namesFolder(readMachineText(kInstallLocationValue), stored);
}

std::wstring storedOrDefaultInstallFolder() {
    std::wstring stored = storedInstallFolder();
    return stored.empty() ? std::wstring(kDefaultInstallFolder) : stored;
}

}  // namespace br
