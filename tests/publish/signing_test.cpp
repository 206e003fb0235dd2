// Signing natively: the key files openssl writes, signatures made with
// libcrypto and checked by the reading the Windows build uses, the signature
// file's text, and what --verify says about each thing that can be wrong.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/publish/release_folder.h"
#include "tools/publish/key_files.h"
#include "tools/publish/manifest_signing.h"
#include "tools/publish/publish.h"
#include "tools/publish/signing.h"
#include "update/signature.h"

namespace br {
namespace {

namespace fs = std::filesystem;

const fs::path kKeys = BRINDLE_TEST_KEYS_DIR;

std::string keyText(const char* name) {
    return readWholeFile(kKeys / name);
}

TEST(KeyFiles, ReadsBothPrivateFormatsAndThePublicKey) {
    std::string reason;
    PrivateKey sec1;
    ASSERT_TRUE(readPrivateKeyPem(keyText("manifest.key"), sec1, reason)) << reason;  // ecparam -genkey
    PublicKey manifestPublic;
    ASSERT_TRUE(readPublicKeyPem(keyText("manifest.pub"), manifestPublic, reason)) << reason;
    EXPECT_EQ(sec1.publicKey, manifestPublic);

    PrivateKey pkcs8;
    ASSERT_TRUE(readPrivateKeyPem(keyText("other.key"), pkcs8, reason)) << reason;  // genpkey
    PublicKey otherPublic;
    ASSERT_TRUE(readPublicKeyPem(keyText("other.pub"), otherPublic, reason)) << reason;
    EXPECT_EQ(pkcs8.publicKey, otherPublic);
    EXPECT_NE(pkcs8.scalar, sec1.scalar);
}

TEST(KeyFiles, RefusesWhatCannotSignForTheLauncher) {
    std::string reason;
    PrivateKey key;
    PublicKey point;
    EXPECT_FALSE(readPrivateKeyPem(keyText("p384.key"), key, reason));
    EXPECT_NE(reason.find("P-256"), std::string::npos) << reason;
    EXPECT_FALSE(readPublicKeyPem(keyText("p384.pub"), point, reason));
    EXPECT_FALSE(readPrivateKeyPem(keyText("encrypted.key"), key, reason));
    EXPECT_NE(reason.find("encrypted"), std::string::npos) << reason;
    EXPECT_FALSE(readPrivateKeyPem(keyText("manifest.pub"), key, reason));
    EXPECT_FALSE(readPublicKeyPem(keyText("manifest.key"), point, reason));

    std::string damaged = keyText("other.key");
    damaged[damaged.find("-----\n") + 40] ^= 0x01;
    EXPECT_FALSE(readPrivateKeyPem(damaged, key, reason));
    EXPECT_FALSE(readPrivateKeyPem("", key, reason));
}

TEST(Signing, ASignatureHoldsForItsBytesAndItsKeyOnly) {
    const std::string manifest = "{\"files\": []}\n";
    Signature signature;
    std::string reason;
    ASSERT_TRUE(signBytes(keyText("manifest.key"), manifest, signature, reason)) << reason;
    PublicKey key;
    PublicKey other;
    ASSERT_TRUE(readPublicKeyPem(keyText("manifest.pub"), key, reason));
    ASSERT_TRUE(readPublicKeyPem(keyText("other.pub"), other, reason));
    EXPECT_TRUE(signatureMatches(key, manifest, signature));
    EXPECT_FALSE(signatureMatches(other, manifest, signature));
    EXPECT_FALSE(signatureMatches(key, manifest + " ", signature));
    Signature flipped = signature;
    flipped[40] ^= 0x80;
    EXPECT_FALSE(signatureMatches(key, manifest, flipped));
    EXPECT_FALSE(signBytes(keyText("p384.key"), manifest, signature, reason));
}

TEST(SignatureText, OneLineOfBase64AndNothingElse) {
    Signature signature;
    for (size_t i = 0; i < signature.size(); ++i) {
        signature[i] = static_cast<uint8_t>(i * 37 + 11);
    }
    const std::string text = formatSignatureText(signature);
    ASSERT_EQ(text.size(), 89u);
    EXPECT_EQ(text.back(), '\n');
    Signature read{};
    ASSERT_TRUE(parseSignatureText(text, read));
    EXPECT_EQ(read, signature);
    ASSERT_TRUE(parseSignatureText(text.substr(0, 88), read));
    EXPECT_EQ(read, signature);
    for (const std::string& malformed :
         {std::string(), text + "\n", text.substr(0, 88) + "\r\n", " " + text, text.substr(0, 87),
          text.substr(0, 85) + "B==", text.substr(0, 84) + "!A==", text.substr(0, 86) + "=A"}) {
        EXPECT_FALSE(parseSignatureText(malformed, read)) << malformed;
    }
}

TEST(Verify, SaysWhichOfKeyManifestAndSignatureIsWrong) {
    ReleaseFolder folder;
    folder.add("game.bin", "abc");
    PublishOptions options;
    options.releaseFolder = folder.release();
    options.baseUrl = "https://updates.example.org/files";
    options.output = folder.manifest();
    options.signingKey = kKeys / "manifest.key";
    PublishSummary summary;
    std::string reason;
    ASSERT_TRUE(publishRelease(options, summary, reason)) << reason;
    const fs::path signature = signaturePathOf(folder.manifest());
    ASSERT_TRUE(fs::exists(signature));

    std::string report;
    EXPECT_TRUE(verifyManifestFiles(kKeys / "manifest.pub", folder.manifest(), report)) << report;
    EXPECT_NE(report.find("1 files"), std::string::npos) << report;

    EXPECT_FALSE(verifyManifestFiles(kKeys / "other.pub", folder.manifest(), report));
    EXPECT_NE(report.find("does not match"), std::string::npos) << report;
    EXPECT_FALSE(verifyManifestFiles(kKeys / "manifest.key", folder.manifest(), report));
    EXPECT_NE(report.find("public key"), std::string::npos) << report;

    const std::string manifest = readWholeFile(folder.manifest());
    std::ofstream(folder.manifest(), std::ios::binary) << manifest << " ";
    EXPECT_FALSE(verifyManifestFiles(kKeys / "manifest.pub", folder.manifest(), report));
    EXPECT_NE(report.find("changed after signing"), std::string::npos) << report;

    std::ofstream(folder.manifest(), std::ios::binary) << manifest;
    std::ofstream(signature, std::ios::binary) << "garbage\n";
    EXPECT_FALSE(verifyManifestFiles(kKeys / "manifest.pub", folder.manifest(), report));
    EXPECT_NE(report.find("malformed"), std::string::npos) << report;

    fs::remove(signature);
    EXPECT_FALSE(verifyManifestFiles(kKeys / "manifest.pub", folder.manifest(), report));
    EXPECT_NE(report.find("missing"), std::string::npos) << report;
}

TEST(Verify, AKeyThatCannotSignWritesNothing) {
    ReleaseFolder folder;
    folder.add("game.bin", "abc");
    std::ofstream(folder.manifest(), std::ios::binary) << "previous release";
    PublishOptions options;
    options.releaseFolder = folder.release();
    options.baseUrl = "https://updates.example.org/files";
    options.output = folder.manifest();
    for (const char* key : {"encrypted.key", "p384.key", "manifest.pub", "no such key"}) {
        SCOPED_TRACE(key);
        options.signingKey = kKeys / key;
        PublishSummary summary;
        std::string reason;
        EXPECT_FALSE(publishRelease(options, summary, reason));
        EXPECT_EQ(readWholeFile(folder.manifest()), "previous release");
        EXPECT_FALSE(fs::exists(signaturePathOf(folder.manifest())));
    }
}

}  // namespace
}  // namespace br
