#include "install/registration.h"

#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstdint>

#include "common/product.h"
#include "common/text_encoding.h"
#include "install/folder_ownership.h"
#include "install/install_paths.h"
#include "install/run_folder.h"
#include "install/settings.h"
#include "install/stored_folder.h"

namespace br {

const wchar_t kInstalledCopyName[] = L"brindle.exe";
const wchar_t kUninstallerName[] = L"uninstall.exe";

namespace {

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

// The version block of the running program, so that Windows shows the
// version of the launcher that registered last, whichever build that was.
std::wstring runningVersionText() {
    HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(VS_VERSION_INFO), RT_VERSION);
    HGLOBAL loaded = found != nullptr ? LoadResource(nullptr, found) : nullptr;
    const void* block = loaded != nullptr ? LockResource(loaded) : nullptr;
    const std::string text =
        block != nullptr ? versionTextOf(static_cast<const unsigned char*>(block), SizeofResource(nullptr, found))
                         : std::string();
    return text.empty() ? BRINDLE_WIDE(BRINDLE_VERSION_TEXT) : utf8ToWide(text);
}

}  // namespace

// VS_FIXEDFILEINFO starts with its signature on a 32-bit boundary; the file
// version follows as two 32-bit halves, each of two 16-bit numbers.
std::string versionTextOf(const unsigned char* block, size_t size) {
    auto word32 = [&](size_t at) {
        return static_cast<uint32_t>(block[at]) | static_cast<uint32_t>(block[at + 1]) << 8 |
               static_cast<uint32_t>(block[at + 2]) << 16 | static_cast<uint32_t>(block[at + 3]) << 24;
    };
    for (size_t at = 0; at + 16 <= size; at += 4) {
        if (word32(at) == 0xFEEF04BDu) {
            const uint32_t high = word32(at + 8);
            const uint32_t low = word32(at + 12);
            return std::to_string(high >> 16) + "." + std::to_string(high & 0xFFFF) + "." +
                   std::to_string(low >> 16) + "." + std::to_string(low & 0xFFFF);
        }
    }
    return std::string();
}

bool registerInstallation(UniqueHandle& hold) {
    // Read before anything is written: it tells whether an earlier run registered.
    const bool registeredBefore = !readSetting(kInstallFolderSetting).empty();
    if (chosenInstallFolder.empty()) {
        // A stored value that is no usable folder counts as none.
        const std::wstring stored = storedInstallFolder();
        chosenInstallFolder = stored.empty() ? std::wstring(kDefaultInstallFolder) : stored;
    }
    if (!prepareInstallFolder(installFolder(), hold)) {
        return false;
    }

    writeSetting(kInstallFolderSetting, installFolder());
    writeSetting(kClientFolderSetting, installFolder());
    if (!registeredBefore) {
        writeSetting(kLanguageSetting, L"vi");  // the client's language, set once and then left to the user
    }

    // A copy that fails (the installed copy is running) keeps the old copy; a
    // later run tries again.
    const std::wstring own = fullPath(runningExecutablePath());
    const std::wstring target = fullPath(installFolder() + L"\\" + kInstalledCopyName);
    if (!own.empty() && !isOwnExecutable(target)) {
        CopyFileW(own.c_str(), target.c_str(), FALSE);
    }

    if (shortcutWanted()) {
        createDesktopShortcut(target);
    }
    writeUninstallEntry();
    return true;
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
    writeMachineText(L"DisplayName", L"Brindle");
    writeMachineText(L"DisplayVersion", runningVersionText());
    writeMachineText(L"Publisher", BRINDLE_WIDE(BRINDLE_BRAND));
    writeMachineText(kInstallLocationValue, folder);
    writeMachineText(L"DisplayIcon", folder + L"\\" + kInstalledCopyName);
    writeMachineText(L"UninstallString", L"\"" + folder + L"\\" + kUninstallerName + L"\"");
    writeMachineNumber(L"NoModify", 1);
    writeMachineNumber(L"NoRepair", 1);
}

}  // namespace br
