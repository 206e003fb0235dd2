#pragma once
// Hashing every file of a release on all cores.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tools/publish/release_walk.h"

namespace br {

struct HashProgress {
    size_t filesDone = 0;
    size_t filesTotal = 0;
    uint64_t bytesDone = 0;
    uint64_t bytesTotal = 0;
    double seconds = 0;
};

// Fills in every file's sha256, one file per task on `workers` threads
// (0: one per core). Calls tick on the calling thread about four times a
// second while the workers run. False with a reason when a file cannot be
// read or changes while it is read.
bool hashReleaseFiles(std::vector<ReleaseFile>& files, unsigned workers,
                      const std::function<void(const HashProgress&)>& tick, std::string& reason);

}  // namespace br
