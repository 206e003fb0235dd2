#include "tools/publish/signing.h"

#include "common/cng.h"
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

    AlgorithmHandle ecdsa;
    KeyHandle imported;
    ULONG written = 0;
    bool signedOk = importP256Key(key.publicKey, key.scalar.data(), ecdsa, imported) &&
                    BCRYPT_SUCCESS(BCryptSignHash(imported.get(), nullptr, digest, sizeof(digest), signature.data(),
                                                  static_cast<ULONG>(signature.size()), &written, 0)) &&
                    written == signature.size();
    if (!signedOk) {
        reason = "the private key cannot sign (CNG refused it)";
        return false;
    }
    if (!signatureMatches(key.publicKey, bytes, signature)) {
        reason = "the key file's public key does not belong to its private key";
        return false;
    }
    return true;
}

}  // namespace br
