#pragma once
// ECDSA P-256 keys in the PEM files openssl writes, read without a crypto
// library: the private key of "openssl ecparam -genkey" (SEC1) or "openssl
// genpkey" (PKCS#8), and the public key of "openssl ec -pubout".

#include <array>
#include <cstdint>
#include <string>

#include "update/signature.h"

namespace br {

struct PrivateKey {
    std::array<uint8_t, 32> scalar{};  // d, big-endian
    PublicKey publicKey{};             // X then Y
};

// False with a reason when the text holds no such key (another curve, an
// encrypted key, a key without its public half, damaged data).
bool readPrivateKeyPem(const std::string& text, PrivateKey& key, std::string& reason);
bool readPublicKeyPem(const std::string& text, PublicKey& key, std::string& reason);

}  // namespace br
