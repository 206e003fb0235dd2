#include "install/registration.h"

#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "common/product.h"
#include "common/win32_handles.h"
#include "install/install_location.h"

namespace br {

const wchar_t kInstalledCopyName[] = L"brindle.exe";
const wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Brindle";
const wchar_t kUninstallerName[] = L"uninstall.exe";

namespace {

struct UninstallValue {
    const wchar_t* name;
    DWORD type;
    std::wstring text;  // REG_SZ
    DWORD number;       // REG_DWORD
};

std::wstring folderOf(const std::wstring& path) {
    size_t separator = path.find_last_of(L"\\/");
    return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator);
}

std::wstring desktopFolder() {
    PWSTR desktop = nullptr;
    HRESULT result = SHGetKnownFolderPath(FOLDERID_Desktop, 0, nullptr, &desktop);
    std::wstring folder = SUCCEEDED(result) && desktop != nullptr ? desktop : L"";
    CoTaskMemFree(desktop);  // owed on failure too
    return folder;
}

void writeUninstallValue(const UninstallValue& value) {
    RegKey key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                        nullptr, key.put(), nullptr) != ERROR_SUCCESS) {
        return;
    }
    if (value.type == REG_DWORD) {
        RegSetValueExW(key.get(), value.name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value.number),
                       sizeof(value.number));
    } else {
        RegSetValueExW(key.get(), value.name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.text.c_str()),
                       static_cast<DWORD>((value.text.size() + 1) * sizeof(wchar_t)));
    }
}

}  // namespace

void registerInstallation() {
    // Read before anything is written: it tells whether an earlier run registered.
    const std::wstring stored = readSetting(L"brindle_path");
    const bool registeredBefore = !stored.empty();
    if (chosenInstallFolder.empty()) {
        // A stored value that is no usable folder counts as none.
        const std::wstring usable = isUsableStoredFolder(stored) ? stored : std::wstring();
        chosenInstallFolder = usable.empty() ? std::wstring(kDefaultInstallFolder) : usable;
    }

    // One level only: the worker creates the parents of each file it installs.
    CreateDirectoryW(installFolder().c_str(), nullptr);
    writeSetting(L"brindle_path", installFolder());
    writeSetting(L"rage_path", installFolder());
    if (!registeredBefore) {
        writeSetting(L"lang", L"vi");  // the client's language, set once and then left to the user
    }

    // A copy that fails (the installed copy is running, its folder is missing)
    // keeps the old copy; a later run tries again.
    const std::wstring own = fullPath(runningExecutablePath());
    const std::wstring target = fullPath(installFolder() + L"\\" + kInstalledCopyName);
    if (!own.empty() && !isOwnExecutable(target)) {
        CopyFileW(own.c_str(), target.c_str(), FALSE);
    }

    if (shortcutWanted()) {
        createDesktopShortcut(target);
    }
    writeUninstallEntry();
}

std::wstring desktopShortcutPath() {
    const std::wstring desktop = desktopFolder();
    return desktop.empty() ? desktop : desktop + L"\\Brindle.lnk";
}

void createDesktopShortcut(const std::wstring& target) {
    const std::wstring linkPath = desktopShortcutPath();
    if (linkPath.empty()) {
        return;
    }
    // Whatever already carries the name stays: a user's own shortcut is never replaced.
    if (GetFileAttributesW(linkPath.c_str()) != INVALID_FILE_ATTRIBUTES) {
        return;
    }

    ComApartment com(COINIT_APARTMENTTHREADED);
    ComRef<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                link.putVoid()))) {
        return;
    }
    link->SetPath(target.c_str());
    link->SetWorkingDirectory(folderOf(target).c_str());
    link->SetDescription(L"Brindle");

    ComRef<IPersistFile> file;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, file.putVoid()))) {
        file->Save(linkPath.c_str(), TRUE);
    }
}

void writeUninstallEntry() {
    const std::wstring folder = installFolder();
    // Windows runs the uninstall command as a command line, so a folder with
    // spaces needs the quotes; the icon path is read as a plain path.
    const UninstallValue values[] = {
        {L"DisplayName", REG_SZ, L"Brindle", 0},
        {L"DisplayVersion", REG_SZ, BRINDLE_WIDE(BRINDLE_VERSION_TEXT), 0},
        {L"Publisher", REG_SZ, BRINDLE_WIDE(BRINDLE_BRAND), 0},
        {L"InstallLocation", REG_SZ, folder, 0},
        {L"DisplayIcon", REG_SZ, folder + L"\\" + kInstalledCopyName, 0},
        {L"UninstallString", REG_SZ, L"\"" + folder + L"\\" + kUninstallerName + L"\"", 0},
        {L"NoModify", REG_DWORD, L"", 1},
        {L"NoRepair", REG_DWORD, L"", 1},
    };
    // Each value opens the key on its own, so one failure skips only that value.
    for (const UninstallValue& value : values) {
        writeUninstallValue(value);
    }
}

}  // namespace br
