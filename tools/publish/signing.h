#pragma once
// Signing the exact bytes of a manifest with a private key file, and checking
// a signature with a public one: libcrypto in the Linux build, CNG in the
// Windows build. The key files are the PEM files openssl writes.

#include <string>

#include "update/signature.h"

namespace br {

// False with a reason when the key cannot be used. A signature that does not
// check out against the key's own public half (signatureMatches, which each
// build implements with its own library) is never handed out.
bool signBytes(const std::string& privateKeyPem, const std::string& bytes, Signature& signature, std::string& reason);

}  // namespace br
