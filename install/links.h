#pragma once
// Links. A junction or symbolic link that a user placed in or above the
// install folder would send the elevated launcher's writes and deletes
// anywhere on the machine, so nothing is written or deleted through one.

#include <string>

namespace br {

using AttributeLookup = unsigned long (*)(const wchar_t* path);  // as GetFileAttributesW
extern AttributeLookup fileAttributes;  // GetFileAttributesW; tests put their own here

bool isLink(const std::wstring& path);
// Whether the folder itself or a folder above it is a link.
bool linkAtOrAbove(const std::wstring& folder);
// Whether a folder on the way from folder (not itself) to target, or target
// itself, is a link. target lies inside folder.
bool linkOnTheWay(const std::wstring& folder, const std::wstring& target);

}  // namespace br
