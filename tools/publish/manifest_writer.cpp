#include "tools/publish/manifest_writer.h"

#include <nlohmann/json.hpp>

#include "tools/publish/path_rules.h"
#include "update/manifest.h"

namespace br {

std::string manifestText(const std::vector<ReleaseFile>& files, const std::string& baseUrl,
                         const std::vector<std::string>& deletes) {
    nlohmann::json entries = nlohmann::json::array();
    for (const ReleaseFile& file : files) {
        entries.push_back({{"path", file.path},
                           {"sha256", file.sha256},
                           {"size", file.size},
                           {"url", baseUrl + percentEncodePath(file.path)}});
    }
    nlohmann::json document = {{"files", std::move(entries)}, {"deletes", deletes}};
    return document.dump(2) + "\n";
}

bool launcherReadsBack(const std::string& text, const std::vector<ReleaseFile>& files, const std::string& baseUrl,
                       const std::vector<std::string>& deletes, std::string& reason) {
    Manifest manifest;
    if (!parseManifest(text, manifest)) {
        reason = "the launcher could not read the manifest";
        return false;
    }
    if (manifest.files.size() != files.size() || manifest.deletes != deletes) {
        reason = "the launcher reads a different number of entries than were written";
        return false;
    }
    for (size_t i = 0; i < files.size(); ++i) {
        const ManifestEntry& read = manifest.files[i];
        const ReleaseFile& meant = files[i];
        if (read.path != meant.path || read.sha256 != meant.sha256 || read.size != meant.size ||
            read.url != baseUrl + percentEncodePath(meant.path)) {
            reason = "the launcher reads the entry of " + meant.path + " differently";
            return false;
        }
    }
    return true;
}

}  // namespace br
