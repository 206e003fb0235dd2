#pragma once
// The install folder belongs to administrators. The launcher, the client and
// the game run elevated from it, so only administrators may change what is in
// it: a folder the launcher makes, and one it takes over (empty, or an
// earlier install of its own), gets owner Administrators and a protected DACL
// that gives SYSTEM and Administrators full control and Users read and
// execute, inherited by everything below. Everything the launcher puts there
// afterwards is made inside it (downloads in its own download folder), so it
// inherits the same. A folder that held other things first (someone's
// "D:\Games") keeps the permissions it has.

#include <windows.h>
#include <aclapi.h>

#include <string>

#include "common/win32_handles.h"

namespace br {

// That descriptor, as SDDL.
extern const wchar_t kOwnedFolderSddl[];

// How the folder's security is stored, as Windows is asked for it. Wine keeps
// no descriptors to read back, so tests put recorders here.
using CreateFolderCall = decltype(&CreateDirectoryW);
using ResetTreeCall = decltype(&TreeResetNamedSecurityInfoW);
extern CreateFolderCall createFolderCall;  // CreateDirectoryW
extern ResetTreeCall resetTreeCall;        // TreeResetNamedSecurityInfoW

// Before a run reads or writes anything in the folder: the folder and every
// folder above it must be plain folders, not links. A missing folder is made
// (with its parents), then the folder is taken as this run's: held open in
// hold until the run ends, so that it cannot be renamed, deleted or replaced
// meanwhile. False, with nothing written in it, when it is or lies under a
// link or cannot be made or opened.
bool prepareInstallFolder(const std::wstring& folder, UniqueHandle& hold);

}  // namespace br
