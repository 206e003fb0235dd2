#include "uninstall/removal.h"

#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <tlhelp32.h>

#include <algorithm>

#include "common/name_case.h"
#include "common/win32_handles.h"
#include "install/download_folder.h"
#include "install/install_paths.h"
#include "install/launcher_swap.h"
#include "install/links.h"
#include "install/registration.h"
#include "install/settings.h"
#include "update/file_state.h"

namespace br {

namespace {

std::wstring folderOf(const std::wstring& path) {
    size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

// A file of the folder, never through a link: false when it is still there.
bool removeFile(Removal& removal, const std::wstring& path) {
    if (linkOnTheWay(removal.folder, path)) {
        return true;  // not the launcher's to remove
    }
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return true;
    }
    if (!DeleteFileW(path.c_str())) {
        removal.notRemoved.push_back(path);
        return false;
    }
    removal.emptied.push_back(folderOf(path));
    return true;
}

}  // namespace

std::vector<std::wstring> programsRunningFrom(const std::wstring& folder) {
    std::vector<std::wstring> running;
    const std::wstring inside = fileNameKey(withoutTrailingSeparators(folder) + L"\\");
    UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    if (!snapshot || !Process32FirstW(snapshot.get(), &entry)) {
        return running;
    }
    do {
        if (entry.th32ProcessID == GetCurrentProcessId()) {
            continue;
        }
        UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
        wchar_t image[MAX_PATH] = {};
        DWORD size = MAX_PATH;
        if (process && QueryFullProcessImageNameW(process.get(), 0, image, &size) &&
            fileNameKey(std::wstring(image, size)).rfind(inside, 0) == 0) {
            running.emplace_back(image, size);
        }
    } while (Process32NextW(snapshot.get(), &entry));
    return running;
}

// The files the launcher recorded, by the launcher's own path rules: a
// recorded path that would leave the folder resolves to nothing.
void removeRecordedFiles(Removal& removal) {
    for (const auto& record : readStateFile(removal.folder)) {
        const std::wstring target = resolveInstallPath(removal.folder, record.first);
        if (!target.empty() && !sameFileName(fullPath(target), fullPath(removal.self)) &&
            !removeFile(removal, target)) {
            removal.remaining[record.first] = record.second;
        }
    }
}

// The state file goes, unless files it records are still there: it then
// records just those, so that the next run can finish the job.
void removeLauncherFiles(Removal& removal) {
    if (!removal.remaining.empty()) {
        writeStateFile(removal.folder, removal.remaining);
    } else {
        removeFile(removal, stateFilePath(removal.folder));
    }
    removeFile(removal, stateFilePath(removal.folder) + L".new");
    removeFile(removal, removal.folder + L"\\" + kInstalledCopyName);
    removeFile(removal, asideLauncherPath(removal.folder));  // left by a hand-over
}

// The launcher's downloads only: the .part files, then the folder. A link
// there is removed as the link it is.
void removeDownloadFolder(Removal& removal) {
    const std::wstring downloads = downloadFolder(removal.folder);
    const std::wstring folder = downloads.substr(0, downloads.size() - 1);
    DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return;
    }
    if (!isLink(folder)) {
        WIN32_FIND_DATAW found;
        FindHandle search(FindFirstFileW((downloads + L"*.part").c_str(), &found));
        if (search) {
            do {
                if ((found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0 &&
                    !DeleteFileW((downloads + found.cFileName).c_str())) {
                    removal.notRemoved.push_back(downloads + found.cFileName);
                }
            } while (FindNextFileW(search.get(), &found));
        }
    }
    if (!RemoveDirectoryW(folder.c_str())) {
        removal.notRemoved.push_back(folder);
    }
}

void removeShortcut(Removal& removal) {
    const std::wstring link = desktopShortcutPath();
    if (link.empty() || GetFileAttributesW(link.c_str()) == INVALID_FILE_ATTRIBUTES) {
        return;
    }
    std::wstring target;
    {
        ComApartment com(COINIT_APARTMENTTHREADED);
        ComRef<IShellLinkW> shellLink;
        ComRef<IPersistFile> file;
        wchar_t path[MAX_PATH] = {};
        if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                       shellLink.putVoid())) &&
            SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, file.putVoid())) &&
            SUCCEEDED(file->Load(link.c_str(), STGM_READ))) {
            // Through the item list: the path text of a link can be a narrow
            // copy that lost letters outside the code page (Wine keeps one so).
            PIDLIST_ABSOLUTE items = nullptr;
            if (SUCCEEDED(shellLink->GetIDList(&items)) && items != nullptr && SHGetPathFromIDListW(items, path)) {
                target = path;
            }
            CoTaskMemFree(items);
        }
    }
    // Someone else's shortcut of that name, or one to another install, stays.
    if (namesFolder(target, removal.folder + L"\\" + kInstalledCopyName) && !DeleteFileW(link.c_str())) {
        removal.notRemoved.push_back(link);
    }
}

// "brindle_path" and "rage_path", when they name this folder; "lang" is the
// client's own.
void removeSettings(Removal& removal) {
    for (const wchar_t* name : {kInstallFolderSetting, kClientFolderSetting}) {
        if (namesFolder(readSetting(name), removal.folder)) {
            LONG status = RegDeleteKeyValueW(HKEY_CURRENT_USER, kSettingsKey, name);
            if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
                removal.notRemoved.push_back(std::wstring(L"HKCU\\") + kSettingsKey + L" " + name);
            }
        }
    }
}

void removeUninstallEntry(Removal& removal) {
    if (!namesFolder(readMachineText(kInstallLocationValue), removal.folder)) {
        return;  // none, or another install's
    }
    if (RegDeleteTreeW(HKEY_LOCAL_MACHINE, kUninstallKey) != ERROR_SUCCESS) {
        removal.notRemoved.push_back(std::wstring(L"HKLM\\") + kUninstallKey);
    }
}

// Deepest first: a folder goes only once nothing is left in it, so a
// player's file keeps its folder. The install folder itself goes last, with
// the uninstaller.
void removeEmptiedFolders(Removal& removal) {
    std::vector<std::wstring> folders;
    const std::wstring top = fileNameKey(removal.folder);
    for (std::wstring folder : removal.emptied) {
        while (folder.size() > removal.folder.size() && fileNameKey(folder).rfind(top + L"\\", 0) == 0) {
            folders.push_back(folder);
            folder = folderOf(folder);
        }
    }
    std::sort(folders.begin(), folders.end(), [](const std::wstring& a, const std::wstring& b) {
        return a.size() != b.size() ? a.size() > b.size() : a < b;
    });
    folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
    for (const std::wstring& folder : folders) {
        if (!isLink(folder)) {
            RemoveDirectoryW(folder.c_str());
        }
    }
}

}  // namespace br
