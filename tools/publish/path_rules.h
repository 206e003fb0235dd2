#pragma once
// What a path in a release must look like for the launcher to install it on
// Windows, and how the path is written into a file's URL.

#include <string>
#include <utility>
#include <vector>

namespace br {

// Empty when the release path (UTF-8, "/" separated, relative) can be
// installed; otherwise a short reason.
std::string releasePathProblem(const std::string& path);

bool isValidUtf8(const std::string& text);

// Folds letter case the way Windows file systems compare names, for the
// letters a game's file names use: Latin (Vietnamese included), Greek and
// Cyrillic. Valid UTF-8 in, UTF-8 out.
std::string foldCase(const std::string& text);

// Pairs of paths that would land on the same file or folder on Windows: equal
// ignoring letter case, or a file whose name equals (ignoring case) a folder
// that another path needs. Empty when there is none.
std::vector<std::pair<std::string, std::string>> caseConflicts(const std::vector<std::string>& paths);

// Each "/"-separated segment percent-encoded byte by byte; only the unreserved
// characters A-Z a-z 0-9 - . _ ~ stay as they are.
std::string percentEncodePath(const std::string& path);

}  // namespace br
