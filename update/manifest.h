#pragma once
// The server's description of one release: every file of the install folder
// with its SHA-256, size and URL, and the files to remove.

#include <cstdint>
#include <string>
#include <vector>

namespace br {

struct ManifestEntry {
    std::string path;    // relative to the install folder, "/" or "\" separated
    std::string sha256;  // 64 lower-case hex digits
    std::string url;     // absolute http(s) URL of the content
    uint64_t size = 0;
};

struct Manifest {
    std::vector<ManifestEntry> files;  // document order
    std::vector<std::string> deletes;  // document order
    // The release's place in the order of releases: a signed build never goes
    // back to a lower one. An unsigned integer; absent (or of another type),
    // hasSequence is false.
    bool hasSequence = false;
    uint64_t sequence = 0;
};

// Where the manifest lives; built in at compile time and kept scrambled in
// the executable.
std::wstring manifestUrl();

// False when the body is not a usable manifest (invalid JSON, a wrong-typed
// field, or no usable file entry at all); manifest is left untouched then.
bool parseManifest(const std::string& body, Manifest& manifest);

}  // namespace br
