#pragma once
// SHA-256 of one release file: the system's libcrypto on Linux, CNG on Windows.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>

namespace br {

// 64 lower-case hex digits, or empty when the file cannot be read. Adds the
// bytes read to progress as it goes.
std::string sha256OfReleaseFile(const std::filesystem::path& path, std::atomic<uint64_t>& progress);

}  // namespace br
