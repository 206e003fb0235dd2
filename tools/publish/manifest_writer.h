#pragma once
// The manifest text of a release, checked with the launcher's own reader.

#include <string>
#include <vector>

#include "tools/publish/release_walk.h"

namespace br {

// What goes into one manifest.
struct ManifestContent {
    std::vector<ReleaseFile> files;
    std::string baseUrl;  // ends with "/"; each file's URL is baseUrl + its percent-encoded path
    std::vector<std::string> deletes;
    uint64_t sequence = 0;  // the release's place in the order of releases
};

std::string manifestText(const ManifestContent& content);

// Reads text back with the launcher's parser and compares every entry with
// what was meant to be written. False with a reason on any difference.
bool launcherReadsBack(const std::string& text, const ManifestContent& content, std::string& reason);

}  // namespace br
