#include "common/base64.h"

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

std::string encodeBase64(const uint8_t* bytes, size_t count) {
    std::string text;
    text.reserve((count + 2) / 3 * 4);
    for (size_t at = 0; at < count; at += 3) {
        const size_t left = count - at;
        uint32_t group = uint32_t{bytes[at]} << 16;
        group |= left > 1 ? uint32_t{bytes[at + 1]} << 8 : 0;
        group |= left > 2 ? uint32_t{bytes[at + 2]} : 0;
        text += kAlphabet[(group >> 18) & 0x3F];
        text += kAlphabet[(group >> 12) & 0x3F];
        text += left > 1 ? kAlphabet[(group >> 6) & 0x3F] : '=';
        text += left > 2 ? kAlphabet[group & 0x3F] : '=';
    }
    return text;
}

bool decodeBase64(const std::string& text, std::vector<uint8_t>& bytes) {
    if (text.size() % 4 != 0) {
        return false;
    }
    std::vector<uint8_t> decoded;
    decoded.reserve(text.size() / 4 * 3);
    for (size_t at = 0; at < text.size(); at += 4) {
        const bool last = at + 4 == text.size();
        const size_t padding = last ? (text[at + 3] == '=') + (text[at + 2] == '=') : 0;
        uint32_t group = 0;
        for (size_t i = 0; i < 4; ++i) {
            const int value = i >= 4 - padding ? 0 : sextet(text[at + i]);
            if (value < 0) {
                return false;
            }
            group = (group << 6) | static_cast<uint32_t>(value);
        }
        // Padding takes whole bytes; what it leaves of the last character must be zero.
        if ((padding == 1 && (group & 0xFF) != 0) || (padding == 2 && (group & 0xFFFF) != 0)) {
            return false;
        }
        decoded.push_back(static_cast<uint8_t>(group >> 16));
        if (padding < 2) {
            decoded.push_back(static_cast<uint8_t>(group >> 8));
        }
        if (padding < 1) {
            decoded.push_back(static_cast<uint8_t>(group));
        }
    }
    bytes = std::move(decoded);
    return true;
}

}  // namespace br
