#include "tools/publish/path_rules.h"

#include <map>

#include "common/name_case.h"
#include "common/path_rules.h"

namespace br {

std::string releasePathProblem(const std::string& path) {
    return pathProblem(path, PathSpelling::plain);
}

std::vector<std::pair<std::string, std::string>> caseConflicts(const std::vector<std::string>& paths) {
    std::vector<std::pair<std::string, std::string>> conflicts;
    std::map<std::string, std::string> files;    // name key -> path
    std::map<std::string, std::string> folders;  // name key of a folder -> first path inside it
    for (const std::string& path : paths) {
        std::string key = fileNameKey(path);
        auto [known, added] = files.emplace(key, path);
        if (!added) {
            conflicts.emplace_back(known->second, path);
        }
        for (size_t slash = key.find('/'); slash != std::string::npos; slash = key.find('/', slash + 1)) {
            folders.emplace(key.substr(0, slash), path);
        }
    }
    for (const auto& [key, path] : files) {
        auto folder = folders.find(key);
        if (folder != folders.end()) {
            conflicts.emplace_back(path, folder->second);
        }
    }
    return conflicts;
}

std::string percentEncodePath(const std::string& path) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(path.size() * 3);
    for (char c : path) {
        bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                          c == '.' || c == '_' || c == '~' || c == '/';
        if (unreserved) {
            encoded += c;
        } else {
            auto byte = static_cast<unsigned char>(c);
            encoded += '%';
            encoded += kDigits[byte >> 4];
            encoded += kDigits[byte & 0x0F];
        }
    }
    return encoded;
}

}  // namespace br
