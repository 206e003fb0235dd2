#pragma once
// The manifest text of a release, checked with the launcher's own reader.

#include <string>
#include <vector>

#include "tools/publish/release_walk.h"

namespace br {

// baseUrl ends with "/"; each file's URL is baseUrl + its percent-encoded path.
std::string manifestText(const std::vector<ReleaseFile>& files, const std::string& baseUrl,
                         const std::vector<std::string>& deletes);

// Reads text back with the launcher's parser and compares every entry with
// what was meant to be written. False with a reason on any difference.
bool launcherReadsBack(const std::string& text, const std::vector<ReleaseFile>& files, const std::string& baseUrl,
                       const std::vector<std::string>& deletes, std::string& reason);

}  // namespace br
