#pragma once
// The signature file beside a manifest: written when the manifest is
// published with a key, checked for an administrator who wants to know that
// an upload is right.

#include <filesystem>
#include <string>

namespace br {

// The whole file, or false with a reason.
bool readFileBytes(const std::filesystem::path& path, std::string& bytes, std::string& reason);

// "<manifest>.sig".
std::filesystem::path signaturePathOf(const std::filesystem::path& manifest);

// Signs manifestText with the key file and writes the signature file beside
// output, in one step.
bool writeSignature(const std::filesystem::path& keyFile, const std::string& manifestText,
                    const std::filesystem::path& output, std::string& reason);

// Checks the manifest and its signature file against the public key file. The
// report names what is right, or which of the three is wrong.
bool verifyManifestFiles(const std::filesystem::path& publicKeyFile, const std::filesystem::path& manifest,
                         std::string& report);

}  // namespace br
