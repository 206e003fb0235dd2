#pragma once
// Finding the files of a release folder.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace br {

struct ReleaseFile {
    std::string path;  // relative, "/" separated, UTF-8: the manifest path
    std::filesystem::path source;
    uint64_t size = 0;
    std::filesystem::file_time_type lastWrite{};
    std::string sha256;  // filled in by hashing
};

// Every regular file under folder (symbolic links to files included), sorted
// by path bytes. skipped names files under folder that are not part of the
// release (the manifest being written, when it lies inside). False with a
// reason when the folder cannot be read, or holds something that is neither
// a folder nor a file (a device, a socket, a broken link, a link to a folder)
// or a name that is not UTF-8: leaving it out silently would publish an
// incomplete release.
bool findReleaseFiles(const std::filesystem::path& folder, const std::vector<std::filesystem::path>& skipped,
                      std::vector<ReleaseFile>& files, std::string& reason);

// A UTF-8 command-line text as a path, and a path as UTF-8 for messages.
std::filesystem::path pathFromUtf8(const std::string& text);
std::string utf8FromPath(const std::filesystem::path& path);

}  // namespace br
