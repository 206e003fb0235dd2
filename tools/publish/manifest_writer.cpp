#include "tools/publish/manifest_writer.h"

#include <nlohmann/json.hpp>

#include "tools/publish/path_rules.h"
#include "update/manifest.h"

namespace br {

std::string manifestText(const ManifestContent& content) {
    nlohmann::json entries = nlohmann::json::array();
    for (const ReleaseFile& file : content.files) {
        entries.push_back({{"path", file.path},
                           {"sha256", file.sha256},
                           {"size", file.size},
                           {"url", content.baseUrl + percentEncodePath(file.path)}});
    }
    nlohmann::json document = {
        {"sequence", content.sequence}, {"files", std::move(entries)}, {"deletes", content.deletes}};
    return document.dump(2) + "\n";
}

bool launcherReadsBack(const std::string& text, const ManifestContent& content, std::string& reason) {
    Manifest manifest;
    if (!parseManifest(text, manifest)) {
        reason = "the launcher could not read the manifest";
        return false;
    }
    if (!manifest.hasSequence || manifest.sequence != content.sequence) {
        reason = "the launcher reads another sequence than was written";
        return false;
    }
    if (manifest.files.size() != content.files.size() || manifest.deletes != content.deletes) {
        reason = "the launcher reads a different number of entries than were written";
        return false;
    }
    for (size_t i = 0; i < content.files.size(); ++i) {
        const ManifestEntry& read = manifest.files[i];
        const ReleaseFile& meant = content.files[i];
        if (read.path != meant.path || read.sha256 != meant.sha256 || read.size != meant.size ||
            read.url != content.baseUrl + percentEncodePath(meant.path)) {
            reason = "the launcher reads the entry of " + meant.path + " differently";
            return false;
        }
    }
    return true;
}

}  // namespace br
