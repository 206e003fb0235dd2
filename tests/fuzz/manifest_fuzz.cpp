// Any bytes as a manifest body: the parser must return, never crash, hang or
// throw, and keep its promises about what it hands the update run.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "update/manifest.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string body(reinterpret_cast<const char*>(data), size);
    br::Manifest manifest;
    manifest.deletes.push_back("left alone");

    if (!br::parseManifest(body, manifest)) {
        // A refused document changes nothing.
        if (!manifest.files.empty() || manifest.deletes.size() != 1 || manifest.deletes[0] != "left alone") {
            std::abort();
        }
        return 0;
    }
    // An accepted one has files, and every one of them is complete.
    if (manifest.files.empty()) {
        std::abort();
    }
    for (const br::ManifestEntry& entry : manifest.files) {
        if (entry.path.empty() || entry.sha256.empty() || entry.url.empty()) {
            std::abort();
        }
    }
    return 0;
}
