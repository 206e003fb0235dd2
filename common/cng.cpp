#include "common/cng.h"

#include <cstring>

namespace br {

bool Sha256::start() {
    return BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(provider.put(), BCRYPT_SHA256_ALGORITHM, nullptr, 0)) &&
           BCRYPT_SUCCESS(BCryptCreateHash(provider.get(), hash.put(), nullptr, 0, nullptr, 0, 0));
}

bool Sha256::add(const void* bytes, unsigned long count) {
    return BCRYPT_SUCCESS(BCryptHashData(hash.get(), static_cast<PUCHAR>(const_cast<void*>(bytes)), count, 0));
}

bool Sha256::finish(uint8_t (&digest)[32]) {
    return BCRYPT_SUCCESS(BCryptFinishHash(hash.get(), digest, sizeof(digest), 0));
}

bool importP256Key(const std::array<uint8_t, 64>& point, const uint8_t* scalar, AlgorithmHandle& provider,
                   KeyHandle& key) {
    // BCRYPT_ECCPUBLIC_BLOB / BCRYPT_ECCPRIVATE_BLOB: the header, X, Y, then d.
    uint8_t blob[sizeof(BCRYPT_ECCKEY_BLOB) + 96];
    const ULONG magic = scalar != nullptr ? BCRYPT_ECDSA_PRIVATE_P256_MAGIC : BCRYPT_ECDSA_PUBLIC_P256_MAGIC;
    const BCRYPT_ECCKEY_BLOB header{magic, 32};
    std::memcpy(blob, &header, sizeof(header));
    std::memcpy(blob + sizeof(header), point.data(), point.size());
    ULONG size = sizeof(header) + 64;
    if (scalar != nullptr) {
        std::memcpy(blob + size, scalar, 32);
        size += 32;
    }
    const bool imported =
        BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(provider.put(), BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0)) &&
        BCRYPT_SUCCESS(BCryptImportKeyPair(provider.get(), nullptr,
                                           scalar != nullptr ? BCRYPT_ECCPRIVATE_BLOB : BCRYPT_ECCPUBLIC_BLOB,
                                           key.put(), blob, size, 0));
    SecureZeroMemory(blob, sizeof(blob));
    return imported;
}

}  // namespace br
