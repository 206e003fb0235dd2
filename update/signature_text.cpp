// The signature file's text, apart from any cryptography: plain code, so the
// publishing tool builds it natively too.

#include "update/signature.h"

namespace br {

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int sextet(char c) {
    for (int i = 0; i < 64; ++i) {
        if (kAlphabet[i] == c) {
            return i;
        }
    }
    return -1;
}

}  // namespace

// 64 bytes are 21 groups of three and one byte more: 84 characters, then two
// for the last byte and "==". Only the one canonical spelling is taken.
bool parseSignatureText(const std::string& text, Signature& signature) {
    std::string line = text;
    if (!line.empty() && line.back() == '\n') {
        line.pop_back();
    }
    if (line.size() != 88 || line.compare(86, 2, "==") != 0) {
        return false;
    }
    Signature decoded{};
    size_t out = 0;
    for (size_t at = 0; at < 84; at += 4) {
        uint32_t group = 0;
        for (size_t i = 0; i < 4; ++i) {
            int value = sextet(line[at + i]);
            if (value < 0) {
                return false;
            }
            group = (group << 6) | static_cast<uint32_t>(value);
        }
        decoded[out++] = static_cast<uint8_t>(group >> 16);
        decoded[out++] = static_cast<uint8_t>(group >> 8);
        decoded[out++] = static_cast<uint8_t>(group);
    }
    int high = sextet(line[84]);
    int low = sextet(line[85]);
    // The last byte's four spare bits must be zero.
    if (high < 0 || low < 0 || (low & 0x0F) != 0) {
        return false;
    }
    decoded[out] = static_cast<uint8_t>((high << 2) | (low >> 4));
    signature = decoded;
    return true;
}

std::string formatSignatureText(const Signature& signature) {
    std::string text;
    for (size_t at = 0; at + 3 <= signature.size(); at += 3) {
        uint32_t group = (uint32_t{signature[at]} << 16) | (uint32_t{signature[at + 1]} << 8) | signature[at + 2];
        for (int shift = 18; shift >= 0; shift -= 6) {
            text += kAlphabet[(group >> shift) & 0x3F];
        }
    }
    const uint8_t last = signature[63];
    text += kAlphabet[last >> 2];
    text += kAlphabet[(last & 0x03) << 4];
    text += "==\n";
    return text;
}

}  // namespace br
