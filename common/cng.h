#pragma once
// The two uses of CNG that the launcher and the publishing tool share:
// SHA-256 fed in pieces, and an ECDSA P-256 key taken in from its numbers.

#include <array>
#include <cstdint>

#include "common/win32_handles.h"

namespace br {

class Sha256 {
public:
    bool start();
    bool add(const void* bytes, unsigned long count);
    bool finish(uint8_t (&digest)[32]);

private:
    // Declared in this order so they close as hash, then provider.
    AlgorithmHandle provider;
    HashHandle hash;
};

// The key of point (X then Y, big-endian) and, for a private key, its scalar
// d (32 bytes; nullptr for a public key). The blob handed to CNG is wiped.
bool importP256Key(const std::array<uint8_t, 64>& point, const uint8_t* scalar, AlgorithmHandle& provider,
                   KeyHandle& key);

}  // namespace br
