#include "install/settings.h"

#include <windows.h>

#include "common/win32_handles.h"

namespace br {

const wchar_t kSettingsKey[] = L"Software\\RAGE-MP";
const wchar_t kInstallFolderSetting[] = L"brindle_path";
const wchar_t kClientFolderSetting[] = L"rage_path";
const wchar_t kLanguageSetting[] = L"lang";

const wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Brindle";
const wchar_t kInstallLocationValue[] = L"InstallLocation";
const wchar_t kSharedFolderValue[] = L"SharedInstallFolder";
const wchar_t kSequenceValue[] = L"ManifestSequence";
const wchar_t kRefusedLauncherValue[] = L"RefusedLauncher";

namespace {

constexpr DWORD kTextBufferBytes = 2048;

std::wstring readText(HKEY hive, const wchar_t* keyName, const std::wstring& name) {
    RegKey key;
    if (RegOpenKeyExW(hive, keyName, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) {
        return std::wstring();
    }
    wchar_t buffer[kTextBufferBytes / sizeof(wchar_t)];
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

LONG openForWriting(HKEY hive, const wchar_t* keyName, RegKey& key) {
    return RegCreateKeyExW(hive, keyName, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, key.put(),
                           nullptr);
}

void setText(HKEY key, const std::wstring& name, const std::wstring& value) {
    RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

}  // namespace

std::wstring readSetting(const std::wstring& name) {
    return readText(HKEY_CURRENT_USER, kSettingsKey, name);
}

long writeSetting(const std::wstring& name, const std::wstring& value) {
    RegKey key;
    LONG status = openForWriting(HKEY_CURRENT_USER, kSettingsKey, key);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    setText(key.get(), name, value);
    return RegCloseKey(key.release());
}

std::wstring readMachineText(const std::wstring& name) {
    return readText(HKEY_LOCAL_MACHINE, kUninstallKey, name);
}

// Each value opens the key on its own, so one failure skips only that value.
void writeMachineText(const std::wstring& name, const std::wstring& value) {
    RegKey key;
    if (openForWriting(HKEY_LOCAL_MACHINE, kUninstallKey, key) == ERROR_SUCCESS) {
        setText(key.get(), name, value);
    }
}

void writeMachineNumber(const std::wstring& name, uint32_t value) {
    RegKey key;
    if (openForWriting(HKEY_LOCAL_MACHINE, kUninstallKey, key) == ERROR_SUCCESS) {
        const DWORD number = value;
        RegSetValueExW(key.get(), name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                       sizeof(number));
    }
}

bool readMachineQword(const std::wstring& name, uint64_t& value) {
    uint64_t number = 0;
    DWORD size = sizeof(number);
    if (RegGetValueW(HKEY_LOCAL_MACHINE, kUninstallKey, name.c_str(), RRF_RT_REG_QWORD, nullptr, &number, &size) !=
        ERROR_SUCCESS) {
        return false;
    }
    value = number;
    return true;
}

void writeMachineQword(const std::wstring& name, uint64_t value) {
    RegKey key;
    if (openForWriting(HKEY_LOCAL_MACHINE, kUninstallKey, key) == ERROR_SUCCESS) {
        RegSetValueExW(key.get(), name.c_str(), 0, REG_QWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
    }
}

void deleteMachineValue(const std::wstring& name) {
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kUninstallKey, name.c_str());
}

}  // namespace br
