// The signature file's text, apart from any cryptography: plain code, so the
// publishing tool builds it natively too.

#include "update/signature.h"

#include <algorithm>
#include <vector>

#include "common/base64.h"

namespace br {

// 64 bytes are 21 groups of three and one byte more: 88 characters, the last
// two "==". Only the one canonical spelling is taken.
bool parseSignatureText(const std::string& text, Signature& signature) {
    std::string line = text;
    if (!line.empty() && line.back() == '\n') {
        line.pop_back();
    }
    std::vector<uint8_t> decoded;
    if (line.size() != 88 || !decodeBase64(line, decoded) || decoded.size() != signature.size()) {
        return false;
    }
    std::copy(decoded.begin(), decoded.end(), signature.begin());
    return true;
}

std::string formatSignatureText(const Signature& signature) {
    return encodeBase64(signature.data(), signature.size()) + "\n";
}

}  // namespace br
