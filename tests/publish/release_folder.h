#pragma once
// A throwaway release folder for the native tests of brindle-publish.

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

namespace br {

class ReleaseFolder {
public:
    ReleaseFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "brindle-publish-test-XXXXXX").string();
        root = mkdtemp(pattern.data());
        std::filesystem::create_directory(root / "release");
    }
    ~ReleaseFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }
    ReleaseFolder(const ReleaseFolder&) = delete;
    ReleaseFolder& operator=(const ReleaseFolder&) = delete;

    // The release itself; manifest() lies beside it, not inside.
    std::filesystem::path release() const { return root / "release"; }
    std::filesystem::path manifest() const { return root / "manifest.json"; }

    // relative is UTF-8 with "/" separators; folders are made as needed.
    void add(const std::string& relative, const std::string& content) const {
        std::filesystem::path target = release() / std::filesystem::u8path(relative);
        std::filesystem::create_directories(target.parent_path());
        std::ofstream(target, std::ios::binary) << content;
    }

private:
    std::filesystem::path root;
};

inline std::string readWholeFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

}  // namespace br
