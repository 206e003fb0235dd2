#pragma once
// Where the game files live, the settings shared with the multiplayer client,
// and the path rules that map manifest paths into the install folder.

#include <string>
#include <vector>

namespace br {

extern const wchar_t kDefaultInstallFolder[];  // "C:\Brindle"

// The install folder of this run once one is known; empty at start. Written by
// the install prompt (through setInstallFolder) and by the registration step.
// It lives to the end of the process, past static destruction.
extern std::wstring& chosenInstallFolder;

// Per-user settings under HKCU "Software\RAGE-MP".
std::wstring readSetting(const std::wstring& name);
long writeSetting(const std::wstring& name, const std::wstring& value);

bool hasStoredInstallFolder();
std::wstring storedOrDefaultInstallFolder();

// The install folder of this run; never empty.
std::wstring installFolder();
void setInstallFolder(const std::wstring& folder);
bool shortcutWanted();
void setShortcutWanted(bool wanted);

// The folder dialog behind "Chọn..."; empty when cancelled.
std::wstring browseForFolder();
std::wstring chooseInstallFolder();

// Path rules.
std::wstring normaliseChosenFolder(const std::wstring& folder);
std::wstring fullPath(const std::wstring& path);
std::wstring runningExecutablePath();  // empty when it does not fit 260 units
bool isOwnExecutable(const std::wstring& path);
std::wstring resolveInstallPath(const std::wstring& base, const std::string& relativePathUtf8);
std::vector<std::wstring> parentFoldersToCreate(const std::wstring& path);
void createParentDirectories(const std::wstring& path);
std::wstring prepareTempFolder();  // empty when the user's temp folder is unknown

}  // namespace br
