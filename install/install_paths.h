#pragma once
// Path rules on Windows paths: absolute forms, the running launcher's own
// file, manifest paths mapped into the install folder, and the folders on the
// way to a file.

#include <string>
#include <vector>

namespace br {

// The absolute form (260-unit buffer); the path unchanged when that fails.
std::wstring fullPath(const std::wstring& path);
std::wstring runningExecutablePath();  // empty when it does not fit 260 units
bool isOwnExecutable(const std::wstring& path);
// The path without separators at its end; a drive's root ("C:\") keeps its own.
std::wstring withoutTrailingSeparators(std::wstring path);
// Whether the text names this folder, in any spelling Windows reads as it.
bool namesFolder(const std::wstring& text, const std::wstring& folder);

// base + "\" + the launcher's one spelling of the manifest path; empty when
// the path rules (common/path_rules.h) refuse it.
std::wstring resolveInstallPath(const std::wstring& base, const std::string& relativePathUtf8);

// Every folder from the root down to the file's own folder, outermost first.
std::vector<std::wstring> parentFoldersToCreate(const std::wstring& path);
void createParentDirectories(const std::wstring& path);

}  // namespace br
