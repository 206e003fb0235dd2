#include "tools/publish/signing.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <memory>
#include <vector>

#include "tools/publish/key_files.h"

namespace br {

namespace {

template <typename T, void (*Free)(T*)>
struct Freer {
    void operator()(T* object) const { Free(object); }
};
using Key = std::unique_ptr<EVP_PKEY, Freer<EVP_PKEY, EVP_PKEY_free>>;
using Context = std::unique_ptr<EVP_MD_CTX, Freer<EVP_MD_CTX, EVP_MD_CTX_free>>;
using Bio = std::unique_ptr<BIO, Freer<BIO, BIO_free_all>>;
using EcdsaSignature = std::unique_ptr<ECDSA_SIG, Freer<ECDSA_SIG, ECDSA_SIG_free>>;

// The SubjectPublicKeyInfo of an uncompressed P-256 point, up to the point.
const unsigned char kSpkiPrefix[] = {0x30, 0x59, 0x30, 0x13, 0x06, 0x07, 0x2a, 0x86, 0x48, 0xce, 0x3d, 0x02, 0x01,
                                     0x06, 0x08, 0x2a, 0x86, 0x48, 0xce, 0x3d, 0x03, 0x01, 0x07, 0x03, 0x42, 0x00, 0x04};

Key publicKeyOf(const PublicKey& point) {
    std::vector<unsigned char> der(kSpkiPrefix, kSpkiPrefix + sizeof(kSpkiPrefix));
    der.insert(der.end(), point.begin(), point.end());
    const unsigned char* at = der.data();
    return Key(d2i_PUBKEY(nullptr, &at, static_cast<long>(der.size())));
}

}  // namespace

bool signBytes(const std::string& privateKeyPem, const std::string& bytes, Signature& signature, std::string& reason) {
    // The same reading as the Windows build's, for the same refusals and the
    // public half; libcrypto then signs with the file as it is.
    PrivateKey parsed;
    if (!readPrivateKeyPem(privateKeyPem, parsed, reason)) {
        return false;
    }
    Bio text(BIO_new_mem_buf(privateKeyPem.data(), static_cast<int>(privateKeyPem.size())));
    Key key(text ? PEM_read_bio_PrivateKey(text.get(), nullptr, nullptr, nullptr) : nullptr);
    Context context(EVP_MD_CTX_new());
    unsigned char der[80];
    size_t length = sizeof(der);
    if (!key || !context || EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr, key.get()) != 1 ||
        EVP_DigestSign(context.get(), der, &length, reinterpret_cast<const unsigned char*>(bytes.data()),
                       bytes.size()) != 1) {
        reason = "libcrypto cannot sign with the key";
        return false;
    }
    const unsigned char* at = der;
    EcdsaSignature decoded(d2i_ECDSA_SIG(nullptr, &at, static_cast<long>(length)));
    if (!decoded || BN_bn2binpad(ECDSA_SIG_get0_r(decoded.get()), signature.data(), 32) != 32 ||
        BN_bn2binpad(ECDSA_SIG_get0_s(decoded.get()), signature.data() + 32, 32) != 32) {
        reason = "libcrypto gave a signature of another form";
        return false;
    }
    if (!signatureMatches(parsed.publicKey, bytes, signature)) {
        reason = "the key file's public key does not belong to its private key";
        return false;
    }
    return true;
}

bool signatureMatches(const PublicKey& key, const std::string& bytes, const Signature& signature) {
    Key publicKey = publicKeyOf(key);
    EcdsaSignature decoded(ECDSA_SIG_new());
    BIGNUM* r = BN_bin2bn(signature.data(), 32, nullptr);
    BIGNUM* s = BN_bin2bn(signature.data() + 32, 32, nullptr);
    if (!publicKey || !decoded || r == nullptr || s == nullptr || ECDSA_SIG_set0(decoded.get(), r, s) != 1) {
        BN_free(r);
        BN_free(s);
        return false;
    }
    unsigned char* der = nullptr;
    int length = i2d_ECDSA_SIG(decoded.get(), &der);
    Context context(EVP_MD_CTX_new());
    bool valid = length > 0 && context &&
                 EVP_DigestVerifyInit(context.get(), nullptr, EVP_sha256(), nullptr, publicKey.get()) == 1 &&
                 EVP_DigestVerify(context.get(), der, static_cast<size_t>(length),
                                  reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()) == 1;
    OPENSSL_free(der);
    return valid;
}

}  // namespace br
