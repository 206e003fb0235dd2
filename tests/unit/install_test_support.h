#pragma once
// Shared by the install tests: throwaway folders and the registry keys that
// the whole Wine prefix shares. Whole-file reads and writes: temp_folder.h.

#include <windows.h>

#include <string>

#include "common/win32_handles.h"
#include "support/temp_folder.h"

namespace br {
namespace test {

inline const wchar_t kSettingsKey[] = L"Software\\RAGE-MP";
inline const wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Brindle";

inline bool isFolder(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// A new, empty folder under the user's temp folder, unique to this process.
inline std::wstring makeTempFolder(const std::wstring& tag) {
    static int counter = 0;
    wchar_t temp[MAX_PATH];
    DWORD length = GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp, length) + L"brindle-test-" + tag + L"-" +
                          std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter);
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

inline void removeTree(const std::wstring& path) {
    if (!isFolder(path)) {
        DeleteFileW(path.c_str());
        return;
    }
    WIN32_FIND_DATAW found;
    FindHandle search(FindFirstFileW((path + L"\\*").c_str(), &found));
    if (search) {
        do {
            std::wstring name = found.cFileName;
            if (name != L"." && name != L"..") {
                removeTree(path + L"\\" + name);
            }
        } while (FindNextFileW(search.get(), &found));
    }
    search.reset();
    RemoveDirectoryW(path.c_str());
}

// One registry value exactly as stored: its type and raw bytes.
struct RawValue {
    bool found = false;
    DWORD type = REG_NONE;
    std::string bytes;
};

inline RawValue readRawValue(HKEY hive, const wchar_t* key, const wchar_t* name) {
    RawValue value;
    RegKey opened;
    if (RegOpenKeyExW(hive, key, 0, KEY_QUERY_VALUE, opened.put()) != ERROR_SUCCESS) {
        return value;
    }
    DWORD size = 0;
    if (RegQueryValueExW(opened.get(), name, nullptr, &value.type, nullptr, &size) != ERROR_SUCCESS) {
        return value;
    }
    value.bytes.resize(size);
    value.found = RegQueryValueExW(opened.get(), name, nullptr, &value.type,
                                   reinterpret_cast<BYTE*>(value.bytes.data()), &size) == ERROR_SUCCESS;
    value.bytes.resize(size);
    return value;
}

// UTF-16 text as registry bytes, with as many terminating NULs as asked for.
inline std::string wideBytes(const std::wstring& text, size_t nuls = 1) {
    std::wstring padded = text + std::wstring(nuls, L'\0');
    return std::string(reinterpret_cast<const char*>(padded.data()), padded.size() * sizeof(wchar_t));
}

inline void writeRawSetting(const wchar_t* name, DWORD type, const std::string& bytes) {
    RegKey key;
    RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr,
                    key.put(), nullptr);
    RegSetValueExW(key.get(), name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                   static_cast<DWORD>(bytes.size()));
}

// Launchers started on this prefix must find no stored folder, so every test
// that writes the settings key removes it again.
inline void clearSettingsKey() {
    RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsKey);
}

inline void clearUninstallKey() {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kUninstallKey);
}

}  // namespace test
}  // namespace br
