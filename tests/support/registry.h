#pragma once
// The registry keys that the whole Wine prefix shares: the client's settings
// key and the uninstall entry, read and written raw.

#include <windows.h>

#include <string>

#include "common/win32_handles.h"
#include "install/settings.h"

namespace br {
namespace test {

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
