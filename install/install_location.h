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

// The stored "brindle_path" when it is a plain absolute folder on a drive;
// empty otherwise (missing, unreadable or not such a folder).
bool isUsableStoredFolder(const std::wstring& folder);
std::wstring storedInstallFolder();
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

// Links. A junction or symbolic link that a user placed in the install folder
// would send the elevated launcher's writes and deletes anywhere on the
// machine, so nothing is written or deleted through one.
using AttributeLookup = unsigned long (*)(const wchar_t* path);  // as GetFileAttributesW
extern AttributeLookup fileAttributes;  // GetFileAttributesW; tests put their own here
bool isLink(const std::wstring& path);
// Whether a folder on the way from folder (not itself) to target, or target
// itself, is a link. target lies inside folder.
bool linkOnTheWay(const std::wstring& folder, const std::wstring& target);
void createParentDirectories(const std::wstring& path);
std::wstring downloadFolder();     // the same path, not created; empty when unknown
std::wstring prepareTempFolder();  // empty when the user's temp folder is unknown

}  // namespace br
