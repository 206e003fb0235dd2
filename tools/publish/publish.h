#pragma once
// One publishing run: release folder in, manifest file out.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace br {

struct PublishOptions {
    std::filesystem::path releaseFolder;
    std::string baseUrl;  // http:// or https://; a missing final "/" is added
    std::filesystem::path output;
    std::vector<std::string> deletes;  // relative paths, "/" or "\" separated
    unsigned workers = 0;              // 0: one per core
    std::filesystem::path signingKey;  // when set, <output>.sig is written too
    bool progressLine = false;
    // The manifest's "sequence"; without one, the publishing time in seconds
    // since 1970 (UTC), so that each release comes after the ones before.
    bool sequenceGiven = false;
    uint64_t sequence = 0;
};

struct PublishSummary {
    size_t files = 0;
    uint64_t bytes = 0;
    double seconds = 0;
    uint64_t sequence = 0;
};

// Nothing is written unless every check passes; a refusal leaves an existing
// manifest as it was. The reason may span several lines, one per problem.
bool publishRelease(const PublishOptions& options, PublishSummary& summary, std::string& reason);

}  // namespace br
