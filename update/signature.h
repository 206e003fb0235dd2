#pragma once
// The manifest's signature: a ".sig" file beside it holding one line, the
// standard base64 of the 64-byte ECDSA P-256 signature (r then s, 32 bytes
// each, big-endian) of the SHA-256 of the manifest's bytes as served.

#include <array>
#include <cstdint>
#include <string>

namespace br {

using Signature = std::array<uint8_t, 64>;
using PublicKey = std::array<uint8_t, 64>;  // X then Y, big-endian

// The signature file's text: exactly 88 base64 characters, optionally one
// "\n". Anything else is malformed (false).
bool parseSignatureText(const std::string& text, Signature& signature);
std::string formatSignatureText(const Signature& signature);

// SHA-256 of bytes in memory, with CNG.
bool sha256OfBytes(const std::string& bytes, uint8_t (&digest)[32]);

// Whether signature is key's ECDSA P-256 signature of SHA-256(bytes). CNG.
bool signatureMatches(const PublicKey& key, const std::string& bytes, const Signature& signature);

// The key built into this program (CMake's BRINDLE_MANIFEST_PUBLIC_KEY);
// false in a build without one, which reads manifests unsigned.
bool builtInManifestKey(PublicKey& key);

}  // namespace br
