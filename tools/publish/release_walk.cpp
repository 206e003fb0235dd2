#include "tools/publish/release_walk.h"

#include <algorithm>
#include <system_error>

#include "common/utf8.h"

namespace br {

namespace fs = std::filesystem;

fs::path pathFromUtf8(const std::string& text) { return fs::u8path(text); }

std::string utf8FromPath(const fs::path& path) { return path.u8string(); }

namespace {

bool isSkipped(const fs::path& file, const std::vector<fs::path>& skipped) {
    for (const fs::path& other : skipped) {
        std::error_code error;
        if (file.filename() == other.filename() && fs::equivalent(file, other, error)) {
            return true;
        }
    }
    return false;
}

// What the entry is once links to files are followed; a message when it is
// nothing a release can hold.
std::string entryProblem(const fs::directory_entry& entry, std::error_code& error) {
    fs::file_status own = entry.symlink_status(error);
    if (error || fs::is_regular_file(own) || fs::is_directory(own)) {
        return {};
    }
    if (!fs::is_symlink(own)) {
        return "is neither a file nor a folder";
    }
    std::error_code targetError;
    fs::file_status target = fs::status(entry.path(), targetError);
    if (fs::is_regular_file(target)) {
        return {};
    }
    return fs::is_directory(target) ? "is a link to a folder, which is not followed" : "is a broken link";
}

}  // namespace

bool findReleaseFiles(const fs::path& folder, const std::vector<fs::path>& skipped, std::vector<ReleaseFile>& files,
                      std::string& reason) {
    std::error_code error;
    fs::path root = fs::absolute(folder, error).lexically_normal();
    if (!root.has_filename()) {
        root = root.parent_path();  // "release/" names the same folder as "release"
    }
    if (error || !fs::is_directory(root, error)) {
        reason = "the release folder " + utf8FromPath(folder) + " is not a folder";
        return false;
    }

    std::vector<ReleaseFile> found;
    fs::recursive_directory_iterator walk(root, fs::directory_options::none, error);
    for (fs::recursive_directory_iterator end; !error && walk != end; walk.increment(error)) {
        const fs::directory_entry& entry = *walk;
        const fs::path relative = entry.path().lexically_relative(root);
        std::string problem = entryProblem(entry, error);
        if (error) {
            break;
        }
        if (!problem.empty()) {
            reason = utf8FromPath(relative) + " " + problem;
            return false;
        }
        if (entry.is_directory(error) || isSkipped(entry.path(), skipped)) {
            continue;
        }
        ReleaseFile file;
        file.path = relative.generic_u8string();
        if (!isValidUtf8(file.path)) {
            reason = "a file name under " + utf8FromPath(relative.parent_path()) + "/ is not valid UTF-8";
            return false;
        }
        file.source = entry.path();
        file.size = fs::file_size(entry.path(), error);
        if (!error) {
            file.lastWrite = fs::last_write_time(entry.path(), error);
        }
        if (error) {
            break;
        }
        found.push_back(std::move(file));
    }
    if (error) {
        reason = "cannot read the release folder: " + error.message();
        return false;
    }

    std::sort(found.begin(), found.end(), [](const ReleaseFile& a, const ReleaseFile& b) { return a.path < b.path; });
    files = std::move(found);
    return true;
}

}  // namespace br
