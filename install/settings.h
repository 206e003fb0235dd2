#pragma once
// The registry values the launcher keeps: per user under the multiplayer
// client's own settings key, per machine in the uninstall entry. Each name is
// written here once, for the launcher and the uninstaller alike.

#include <cstdint>
#include <string>

namespace br {

// HKEY_CURRENT_USER: any program of the user can write these.
extern const wchar_t kSettingsKey[];           // "Software\RAGE-MP", the client's own key
extern const wchar_t kInstallFolderSetting[];  // "brindle_path"
extern const wchar_t kClientFolderSetting[];   // "rage_path"
extern const wchar_t kLanguageSetting[];       // "lang"

// HKEY_LOCAL_MACHINE: only administrators can write these.
extern const wchar_t kUninstallKey[];          // "...\CurrentVersion\Uninstall\Brindle"
extern const wchar_t kInstallLocationValue[];  // "InstallLocation"
// An install folder that was not the launcher's when it first installed
// there, whose permissions therefore stay as they were.
extern const wchar_t kSharedFolderValue[];     // "SharedInstallFolder"
// The highest manifest sequence a signed build has accepted on this machine.
extern const wchar_t kSequenceValue[];         // "ManifestSequence", REG_QWORD
// The SHA-256 of a launcher that was put in place and did not come up.
extern const wchar_t kRefusedLauncherValue[];  // "RefusedLauncher"

// REG_SZ (or REG_EXPAND_SZ, taken literally) values of at most 1023 units;
// empty when anything fails.
std::wstring readSetting(const std::wstring& name);
long writeSetting(const std::wstring& name, const std::wstring& value);

std::wstring readMachineText(const std::wstring& name);
void writeMachineText(const std::wstring& name, const std::wstring& value);
void writeMachineNumber(const std::wstring& name, uint32_t value);
// REG_QWORD; false when missing or of another type.
bool readMachineQword(const std::wstring& name, uint64_t& value);
void writeMachineQword(const std::wstring& name, uint64_t value);
void deleteMachineValue(const std::wstring& name);

}  // namespace br
