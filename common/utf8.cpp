#include "common/utf8.h"

#include <cstdint>

namespace br {

bool nextCodePoint(const std::string& text, size_t& index, char32_t& codePoint) {
    const auto byte = [&](size_t at) { return static_cast<unsigned char>(text[at]); };
    unsigned char lead = byte(index);
    size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || index + length > text.size()) {
        return false;
    }
    static const uint32_t kLeadMask[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    static const uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    uint32_t value = lead & kLeadMask[length];
    for (size_t i = 1; i < length; ++i) {
        if ((byte(index + i) & 0xC0) != 0x80) {
            return false;
        }
        value = (value << 6) | (byte(index + i) & 0x3F);
    }
    if (value < kSmallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        return false;
    }
    index += length;
    codePoint = value;
    return true;
}

void appendUtf8(char32_t codePoint, std::string& out) {
    if (codePoint < 0x80) {
        out += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        out += static_cast<char>(0xC0 | (codePoint >> 6));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        out += static_cast<char>(0xE0 | (codePoint >> 12));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (codePoint >> 18));
        out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

bool isValidUtf8(const std::string& text) {
    size_t index = 0;
    char32_t codePoint = 0;
    while (index < text.size()) {
        if (!nextCodePoint(text, index, codePoint)) {
            return false;
        }
    }
    return true;
}

}  // namespace br
