#include "install/download_folder.h"

#include <windows.h>

#include <set>

#include "common/name_case.h"
#include "common/win32_handles.h"
#include "install/links.h"

namespace br {

const wchar_t kDownloadFolderName[] = L"brindle_update";

std::wstring downloadFolder(const std::wstring& installFolder) {
    return installFolder + L"\\" + kDownloadFolderName + L"\\";
}

std::wstring prepareTempFolder(const std::wstring& installFolder) {
    const std::wstring folder = downloadFolder(installFolder);
    const std::wstring withoutSlash = folder.substr(0, folder.size() - 1);
    CreateDirectoryW(withoutSlash.c_str(), nullptr);
    const DWORD attributes = GetFileAttributesW(withoutSlash.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
        isLink(withoutSlash)) {
        return std::wstring();
    }
    return folder;
}

namespace {

// The plain files directly in folder whose names kept has not, by their
// fileNameKey; never what a link or a subfolder holds.
void deleteFilesIn(const std::wstring& folder, const std::set<std::wstring>& kept) {
    WIN32_FIND_DATAW found;
    FindHandle search(FindFirstFileW((folder + L"\\*").c_str(), &found));
    if (!search) {
        return;
    }
    do {
        if ((found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0 &&
            kept.count(fileNameKey(std::wstring(found.cFileName))) == 0) {
            DeleteFileW((folder + L"\\" + found.cFileName).c_str());
        }
    } while (FindNextFileW(search.get(), &found));
}

}  // namespace

void removePartsExcept(const std::wstring& tempFolder, const std::vector<std::wstring>& wanted) {
    std::set<std::wstring> kept;
    for (const std::wstring& name : wanted) {
        kept.insert(fileNameKey(name));
    }
    deleteFilesIn(tempFolder.substr(0, tempFolder.size() - 1), kept);
}

void removeOldDownloadFolder() {
    wchar_t temp[MAX_PATH];
    const DWORD length = GetTempPathW(MAX_PATH, temp);
    if (length == 0 || length >= MAX_PATH) {
        return;
    }
    const std::wstring folder = std::wstring(temp, length) + kDownloadFolderName;
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 || isLink(folder)) {
        return;
    }
    deleteFilesIn(folder, {});
    RemoveDirectoryW(folder.c_str());
}

}  // namespace br
