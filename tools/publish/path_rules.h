#pragma once
// What a path in a release must look like for the launcher to install it on
// Windows, and how the path is written into a file's URL.

#include <string>
#include <utility>
#include <vector>

namespace br {

// Empty when the release path (UTF-8, "/" separated, relative) can be
// installed; otherwise a short reason. The launcher's own rules, in their
// plain spelling (common/path_rules.h).
std::string releasePathProblem(const std::string& path);

// Pairs of paths that would land on the same file or folder on Windows: the
// same name ignoring letter case as the file system ignores it, or a file
// whose name is that of a folder another path needs. Empty when there is none.
std::vector<std::pair<std::string, std::string>> caseConflicts(const std::vector<std::string>& paths);

// Each "/"-separated segment percent-encoded byte by byte; only the unreserved
// characters A-Z a-z 0-9 - . _ ~ stay as they are.
std::string percentEncodePath(const std::string& path);

}  // namespace br
