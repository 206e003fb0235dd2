#include "install/install_location.h"

#include <windows.h>
#include <shlobj.h>

#include "common/name_case.h"
#include "common/path_rules.h"
#include "common/text_encoding.h"
#include "common/win32_handles.h"

namespace br {

const wchar_t kDefaultInstallFolder[] = L"C:\\Brindle";

// Never destroyed: at exit the shell leaves a running update to itself, and
// static destruction must not free what the worker may still read or write.
std::wstring& chosenInstallFolder = *new std::wstring();

namespace {

// The multiplayer client's own settings key; the launcher adds its values there.
const wchar_t kSettingsKey[] = L"Software\\RAGE-MP";
const wchar_t kProductFolderName[] = L"Brindle";
const char kBrowseTitle[] = "Chọn nơi cài đặt Brindle";

constexpr DWORD kSettingBufferBytes = 2048;
constexpr DWORD kPathUnits = MAX_PATH;

bool shortcutChoice = true;

wchar_t foldAsciiCase(wchar_t c) {
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

bool sameIgnoringAsciiCase(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (foldAsciiCase(a[i]) != foldAsciiCase(b[i])) {
            return false;
        }
    }
    return true;
}

bool isSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

}  // namespace

// ---- settings -----------------------------------------------------------------

std::wstring readSetting(const std::wstring& name) {
    RegKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) {
        return std::wstring();
    }
    wchar_t buffer[kSettingBufferBytes / sizeof(wchar_t)];
    DWORD type = 0;
    DWORD size = sizeof(buffer);
    LONG status =
        RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    // Environment references in an expandable string are kept as written.
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return std::wstring();
    }
    std::wstring text(buffer, size / sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0') {
        text.pop_back();
    }
    return text;
}

long writeSetting(const std::wstring& name, const std::wstring& value) {
    RegKey key;
    LONG status = RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_SET_VALUE, nullptr, key.put(), nullptr);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    RegSetValueExW(key.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    return RegCloseKey(key.release());
}

// Any program of the user can write the setting, and the elevated launcher
// writes into the folder it names and starts a program from it: only a plain
// absolute folder on a drive counts, written the one way Windows writes it.
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
    return fullPath(folder) == folder && folder.size() < kPathUnits;
}

std::wstring storedInstallFolder() {
    std::wstring stored = readSetting(L"brindle_path");
    return isUsableStoredFolder(stored) ? stored : std::wstring();
}

bool hasStoredInstallFolder() {
    return !storedInstallFolder().empty();
}

std::wstring storedOrDefaultInstallFolder() {
    std::wstring stored = storedInstallFolder();
    return stored.empty() ? std::wstring(kDefaultInstallFolder) : stored;
}

// ---- the folder of this run -----------------------------------------------------

std::wstring installFolder() {
    return chosenInstallFolder.empty() ? std::wstring(kDefaultInstallFolder) : chosenInstallFolder;
}

void setInstallFolder(const std::wstring& folder) {
    if (!folder.empty()) {
        chosenInstallFolder = folder;
    }
}

bool shortcutWanted() {
    return shortcutChoice;
}

void setShortcutWanted(bool wanted) {
    shortcutChoice = wanted;
}

// ---- choosing a folder ----------------------------------------------------------

std::wstring browseForFolder() {
    // S_FALSE (already initialised on this thread) counts as success and is paired too.
    ComApartment com(COINIT_APARTMENTTHREADED);
    const std::wstring title = utf8ToWide(kBrowseTitle);

    BROWSEINFOW browse = {};
    browse.hwndOwner = nullptr;
    browse.pidlRoot = nullptr;
    browse.pszDisplayName = nullptr;
    browse.lpszTitle = title.c_str();
    browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    browse.lpfn = nullptr;

    std::wstring chosen;
    PIDLIST_ABSOLUTE items = SHBrowseForFolderW(&browse);
    if (items != nullptr) {
        wchar_t path[kPathUnits];
        if (SHGetPathFromIDListW(items, path)) {
            chosen = path;
        }
        CoTaskMemFree(items);
    }
    return chosen;
}

std::wstring chooseInstallFolder() {
    std::wstring picked = browseForFolder();
    return picked.empty() ? picked : normaliseChosenFolder(picked);
}

// A picked parent folder gets the product folder appended, so installing into
// "D:\Games" never spreads files over "D:\Games" itself.
std::wstring normaliseChosenFolder(const std::wstring& folder) {
    std::wstring trimmed = folder;
    while (!trimmed.empty() && isSeparator(trimmed.back())) {
        trimmed.pop_back();
    }
    if (trimmed.empty()) {
        return kDefaultInstallFolder;
    }
    size_t separator = trimmed.find_last_of(L"\\/");
    std::wstring last = separator == std::wstring::npos ? trimmed : trimmed.substr(separator + 1);
    if (sameIgnoringAsciiCase(last, kProductFolderName)) {
        return trimmed;
    }
    return trimmed + L"\\" + kProductFolderName;
}

// ---- path rules -------------------------------------------------------------------

std::wstring fullPath(const std::wstring& path) {
    wchar_t buffer[kPathUnits];
    DWORD length = GetFullPathNameW(path.c_str(), kPathUnits, buffer, nullptr);
    if (length == 0 || length >= kPathUnits) {
        return path;
    }
    return std::wstring(buffer, length);
}

std::wstring runningExecutablePath() {
    wchar_t buffer[kPathUnits];
    DWORD length = GetModuleFileNameW(nullptr, buffer, kPathUnits);
    // A path that filled the buffer was cut short.
    if (length == 0 || length >= kPathUnits) {
        return std::wstring();
    }
    return std::wstring(buffer, length);
}

bool isOwnExecutable(const std::wstring& path) {
    std::wstring own = runningExecutablePath();
    if (own.empty()) {
        return false;
    }
    return sameFileName(fullPath(own), fullPath(path));
}

// The rules themselves are common/path_rules.cpp's, over UTF-8. The path is
// first read the way Windows reads it (invalid UTF-8 becomes U+FFFD), so that
// the rules judge exactly the name that would be created.
std::wstring resolveInstallPath(const std::wstring& base, const std::string& relativePathUtf8) {
    std::string cleaned;
    if (!installSpelling(wideToUtf8(utf8ToWide(relativePathUtf8)), cleaned)) {
        return std::wstring();
    }
    return base + L"\\" + utf8ToWide(cleaned);
}

namespace {

unsigned long systemFileAttributes(const wchar_t* path) {
    return GetFileAttributesW(path);
}

}  // namespace

AttributeLookup fileAttributes = systemFileAttributes;

bool isLink(const std::wstring& path) {
    unsigned long attributes = fileAttributes(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool linkOnTheWay(const std::wstring& folder, const std::wstring& target) {
    for (size_t at = target.find(L'\\', folder.size() + 1); at != std::wstring::npos;
         at = target.find(L'\\', at + 1)) {
        if (isLink(target.substr(0, at))) {
            return true;
        }
    }
    return isLink(target);
}

// Every folder from the root down to the file's own folder, outermost first,
// since CreateDirectoryW makes one level at a time.
std::vector<std::wstring> parentFoldersToCreate(const std::wstring& path) {
    std::vector<std::wstring> folders;
    size_t lastSeparator = path.rfind(L'\\');
    if (lastSeparator == std::wstring::npos) {
        return folders;
    }
    const std::wstring folderPart = path.substr(0, lastSeparator);
    std::wstring prefix;
    for (size_t i = 0; i < folderPart.size(); ++i) {
        prefix += folderPart[i];
        bool boundary = folderPart[i] == L'\\' || i + 1 == folderPart.size();
        if (boundary && prefix.size() >= 2) {
            folders.push_back(prefix);
        }
    }
    return folders;
}

void createParentDirectories(const std::wstring& path) {
    for (const std::wstring& folder : parentFoldersToCreate(path)) {
        CreateDirectoryW(folder.c_str(), nullptr);
    }
}

// Empty when the user's temp folder is unknown or does not fit the buffer:
// a relative "brindle_update\" would put downloads wherever the current
// folder happens to be.
std::wstring downloadFolder() {
    wchar_t buffer[kPathUnits];
    DWORD length = GetTempPathW(kPathUnits, buffer);
    if (length == 0 || length >= kPathUnits) {
        return std::wstring();
    }
    return std::wstring(buffer, length) + L"brindle_update\\";
}

std::wstring prepareTempFolder() {
    std::wstring folder = downloadFolder();
    if (folder.empty()) {
        return folder;
    }
    CreateDirectoryW(folder.c_str(), nullptr);
    // A link there would send every download somewhere else.
    if (isLink(folder.substr(0, folder.size() - 1))) {
        return std::wstring();
    }
    return folder;
}

}  // namespace br
