#include "tools/publish/file_hash.h"

#include <system_error>

#include "update/file_state.h"

namespace br {

// The launcher's own hashing, so both sides compute the hash the same way.
// It reports no progress of its own: the file counts once it is done.
std::string sha256OfReleaseFile(const std::filesystem::path& path, std::atomic<uint64_t>& progress) {
    std::string hash = sha256OfFile(path.wstring());
    std::error_code error;
    uint64_t size = std::filesystem::file_size(path, error);
    if (!hash.empty() && !error) {
        progress += size;
    }
    return hash;
}

}  // namespace br
