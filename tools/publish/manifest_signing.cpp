#include "tools/publish/manifest_signing.h"

#include <fstream>
#include <iterator>

#include "tools/publish/atomic_write.h"
#include "tools/publish/key_files.h"
#include "tools/publish/release_walk.h"
#include "tools/publish/signing.h"
#include "update/manifest.h"
#include "update/signature.h"

namespace br {

namespace fs = std::filesystem;

bool readFileBytes(const fs::path& path, std::string& bytes, std::string& reason) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        reason = "cannot read " + utf8FromPath(path);
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        reason = "cannot read " + utf8FromPath(path);
        return false;
    }
    return true;
}

fs::path signaturePathOf(const fs::path& manifest) {
    fs::path signature = manifest;
    signature += ".sig";
    return signature;
}

bool writeSignature(const fs::path& keyFile, const std::string& manifestText, const fs::path& output,
                    std::string& reason) {
    std::string keyText;
    Signature signature;
    if (!readFileBytes(keyFile, keyText, reason)) {
        return false;
    }
    if (!signBytes(keyText, manifestText, signature, reason)) {
        reason = utf8FromPath(keyFile) + ": " + reason;
        return false;
    }
    return writeFileAtomically(signaturePathOf(output), formatSignatureText(signature), reason);
}

bool verifyManifestFiles(const fs::path& publicKeyFile, const fs::path& manifest, std::string& report) {
    std::string keyText;
    std::string manifestText;
    std::string signatureText;
    PublicKey key;
    std::string reason;
    if (!readFileBytes(publicKeyFile, keyText, reason) || !readPublicKeyPem(keyText, key, reason)) {
        report = "the public key " + utf8FromPath(publicKeyFile) + " cannot be used: " + reason;
        return false;
    }
    if (!readFileBytes(manifest, manifestText, reason)) {
        report = "the manifest: " + reason;
        return false;
    }
    const fs::path signatureFile = signaturePathOf(manifest);
    if (!readFileBytes(signatureFile, signatureText, reason)) {
        report = "the signature " + utf8FromPath(signatureFile) + " is missing: " + reason;
        return false;
    }
    Signature signature;
    if (!parseSignatureText(signatureText, signature)) {
        report = "the signature " + utf8FromPath(signatureFile) +
                 " is malformed: it must be one line of 88 base64 characters";
        return false;
    }
    if (!signatureMatches(key, manifestText, signature)) {
        report = "the signature does not match: " + utf8FromPath(manifest) +
                 " was changed after signing, or was signed with another key than " + utf8FromPath(publicKeyFile);
        return false;
    }
    Manifest parsed;
    if (!parseManifest(manifestText, parsed)) {
        report = "the signature matches, but the launcher cannot read " + utf8FromPath(manifest) + " as a manifest";
        return false;
    }
    if (!parsed.hasSequence) {
        report = "the signature matches, but " + utf8FromPath(manifest) +
                 " has no sequence: a signed launcher refuses it; publish it again";
        return false;
    }
    report = utf8FromPath(manifest) + ": signed with this key, " + std::to_string(parsed.files.size()) +
             " files, sequence " + std::to_string(parsed.sequence) + "; the launcher will read it";
    return true;
}

}  // namespace br
