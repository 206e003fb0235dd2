// Reading the manifest text. Kept free of Windows headers: the publishing
// tool builds it natively to check the manifests it writes.

#include "update/manifest.h"

#include <nlohmann/json.hpp>

#include <exception>

namespace br {

namespace {

using Json = nlohmann::json;

// A missing field reads as empty; a present one of another type makes the
// whole document unreadable.
bool readText(const Json& entry, const char* key, std::string& text) {
    auto found = entry.find(key);
    if (found == entry.end()) {
        text.clear();
        return true;
    }
    if (!found->is_string()) {
        return false;
    }
    text = found->get<std::string>();
    return true;
}

// Any JSON number that names a byte count; a fraction is dropped. Negative or
// out-of-range values are refused, as no conversion of them would mean anything.
bool readSize(const Json& entry, uint64_t& size) {
    auto found = entry.find("size");
    if (found == entry.end()) {
        size = 0;
        return true;
    }
    if (found->is_number_unsigned()) {
        size = found->get<uint64_t>();
        return true;
    }
    if (found->is_number_float()) {
        double value = found->get<double>();
        if (!(value >= 0.0 && value < 18446744073709551616.0)) {
            return false;
        }
        size = static_cast<uint64_t>(value);
        return true;
    }
    return false;  // negative integer, boolean, string, null, array, object
}

bool readEntry(const Json& element, ManifestEntry& entry) {
    return element.is_object() && readText(element, "path", entry.path) &&
           readText(element, "sha256", entry.sha256) && readText(element, "url", entry.url) &&
           readSize(element, entry.size);
}

}  // namespace

bool parseManifest(const std::string& body, Manifest& manifest) {
    try {
        Json document = Json::parse(body, nullptr, true, false);

        // Without a usable file list the document is refused rather than read
        // as an empty release: an empty release would make the update delete
        // every installed file, and a captive portal or a misconfigured server
        // can well answer "{}" or "[]".
        if (!document.is_object()) {
            return false;
        }
        auto files = document.find("files");
        if (files == document.end() || !files->is_array()) {
            return false;
        }

        Manifest parsed;
        for (const Json& element : *files) {
            ManifestEntry entry;
            if (!readEntry(element, entry)) {
                return false;
            }
            // Incomplete entries are dropped without notice.
            if (!entry.path.empty() && !entry.sha256.empty() && !entry.url.empty()) {
                parsed.files.push_back(std::move(entry));
            }
        }
        if (parsed.files.empty()) {
            return false;
        }

        auto sequence = document.find("sequence");
        if (sequence != document.end() && sequence->is_number_unsigned()) {
            parsed.hasSequence = true;
            parsed.sequence = sequence->get<uint64_t>();
        }

        auto deletes = document.find("deletes");
        if (deletes != document.end() && deletes->is_array()) {
            for (const Json& element : *deletes) {
                if (element.is_string()) {
                    parsed.deletes.push_back(element.get<std::string>());
                }
            }
        }
        manifest = std::move(parsed);
        return true;
    } catch (const std::exception&) {
        // Invalid JSON, and whatever else the library throws.
        return false;
    }
}

}  // namespace br
