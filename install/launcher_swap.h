#pragma once
// A new launcher takes the running one's place: the running file goes aside
// under a fixed name in the same folder, the new file takes its name; a new
// launcher that does not come up gives the name back and is not taken again.

#include <string>

namespace br {

// The install folder's launcher copy (folder\brindle.exe) and its place aside
// (folder\brindle.exe.old).
std::wstring launcherCopyPath(const std::wstring& folder);
std::wstring asideLauncherPath(const std::wstring& folder);
bool isLauncherCopy(const std::wstring& target, const std::wstring& folder);

// Two renames back to back: launcher to aside, replacement to launcher. When
// the second fails, the first is undone. False when the launcher kept its file.
bool swapInLauncher(const std::wstring& replacement, const std::wstring& folder);
// The file aside back under the launcher's name, over the new one, which the
// state file then no longer records.
bool putLauncherBack(const std::wstring& folder);
// Left by a launcher that has handed over; it stays while something still runs it.
void removeAsideLauncher(const std::wstring& folder);

// The SHA-256 of a launcher that did not come up, kept where only
// administrators can write.
void refuseLauncher(const std::string& sha256);
bool isRefusedLauncher(const std::string& sha256);

// The SHA-256 of the launcher this process's run put in place; empty when it
// put none. Written by the worker, read once the run has ended.
void setReplacedLauncher(const std::string& sha256);
std::string replacedLauncher();

}  // namespace br
