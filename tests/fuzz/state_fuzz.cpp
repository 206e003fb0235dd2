// Any bytes as a state file: reading must never crash, and what was read must
// survive being written and read again unchanged, so a run never loses or
// invents a record by rewriting the file.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "update/file_state.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const br::StateCache read = br::parseStateText(text);

    for (const auto& [path, entry] : read) {
        if (path.empty() || path.find('\n') != std::string::npos || path.back() == '\r' ||
            entry.sha256.find(' ') != std::string::npos) {
            std::abort();
        }
    }
    const std::string written = br::formatStateText(read);
    const br::StateCache again = br::parseStateText(written);
    if (again.size() != read.size()) {
        std::abort();
    }
    for (auto a = read.begin(), b = again.begin(); a != read.end(); ++a, ++b) {
        if (a->first != b->first || a->second.sha256 != b->second.sha256 || a->second.size != b->second.size ||
            a->second.lastWriteTime != b->second.lastWriteTime) {
            std::abort();
        }
    }
    if (br::formatStateText(again) != written) {
        std::abort();
    }
    return 0;
}
