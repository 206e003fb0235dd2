#include "tools/publish/signing.h"

#include <cstring>

#include "common/win32_handles.h"
#include "tools/publish/key_files.h"

namespace br {

bool signBytes(const std::string& privateKeyPem, const std::string& bytes, Signature& signature, std::string& reason) {
    PrivateKey key;
    if (!readPrivateKeyPem(privateKeyPem, key, reason)) {
        return false;
    }
    uint8_t digest[32];
    if (!sha256OfBytes(bytes, digest)) {
        reason = "SHA-256 failed";
        return false;
    }

    // BCRYPT_ECCPRIVATE_BLOB: the header, then X, Y and d.
    uint8_t blob[sizeof(BCRYPT_ECCKEY_BLOB) + 96];
    BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PRIVATE_P256_MAGIC, 32};
    std::memcpy(blob, &header, sizeof(header));
    std::memcpy(blob + sizeof(header), key.publicKey.data(), 64);
    std::memcpy(blob + sizeof(header) + 64, key.scalar.data(), 32);
    AlgorithmHandle ecdsa;
    KeyHandle imported;
    ULONG written = 0;
    bool signedOk =
        BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(ecdsa.put(), BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0)) &&
        BCRYPT_SUCCESS(BCryptImportKeyPair(ecdsa.get(), nullptr, BCRYPT_ECCPRIVATE_BLOB, imported.put(), blob,
                                           sizeof(blob), 0)) &&
        BCRYPT_SUCCESS(BCryptSignHash(imported.get(), nullptr, digest, sizeof(digest), signature.data(),
                                      static_cast<ULONG>(signature.size()), &written, 0)) &&
        written == signature.size();
    SecureZeroMemory(blob, sizeof(blob));
    if (!signedOk) {
        reason = "the private key cannot sign (CNG refused it)";
        return false;
    }
    if (!signatureValid(key.publicKey, bytes, signature)) {
        reason = "the key file's public key does not belong to its private key";
        return false;
    }
    return true;
}

bool signatureValid(const PublicKey& key, const std::string& bytes, const Signature& signature) {
    return signatureMatches(key, bytes, signature);
}

}  // namespace br
