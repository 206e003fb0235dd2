#include "tools/publish/path_rules.h"

#include <cstdint>
#include <map>

namespace br {

namespace {

// One code point from text at index, which moves past it; false on a
// malformed, overlong or surrogate sequence.
bool nextCodePoint(const std::string& text, size_t& index, uint32_t& codePoint) {
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

void appendUtf8(uint32_t codePoint, std::string& out) {
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

bool isEven(uint32_t c) { return c % 2 == 0; }

// Upper case to lower case for the blocks named in the header. Within the
// Latin Extended blocks, capitals and small letters alternate in pairs.
uint32_t lowerCase(uint32_t c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 0x20;
    if (c >= 0x100 && c <= 0x17F) {
        if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;  // no simple pair
        if (c == 0x178) return 0xFF;
        bool oddCapitals = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        return isEven(c) != oddCapitals ? c + 1 : c;
    }
    if (c == 0x1A0 || c == 0x1AF) return c + 1;  // Ơ, Ư
    if ((c >= 0x1E00 && c <= 0x1E95) || (c >= 0x1EA0 && c <= 0x1EFF)) return isEven(c) ? c + 1 : c;
    if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return c + 0x20;                                 // Greek
    if (c >= 0x410 && c <= 0x42F) return c + 0x20;                                               // Cyrillic
    if (c >= 0x400 && c <= 0x40F) return c + 0x50;
    return c;
}

bool equalsIgnoringAsciiCase(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i] != '\0'; ++i) {
        char x = a[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
        if (x != b[i]) {
            return false;
        }
    }
    return i == a.size() && b[i] == '\0';
}

// CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM0-9 and LPT0-9 (also with the
// superscript digits), with any extension and with spaces before it.
bool isReservedDeviceName(const std::string& name) {
    std::string stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ') {
        stem.pop_back();
    }
    for (const char* reserved : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
        if (equalsIgnoringAsciiCase(stem, reserved)) {
            return true;
        }
    }
    if (stem.size() < 4) {
        return false;
    }
    std::string port = stem.substr(0, 3);
    std::string digit = stem.substr(3);
    bool isPort = equalsIgnoringAsciiCase(port, "COM") || equalsIgnoringAsciiCase(port, "LPT");
    bool isDigit = (digit.size() == 1 && digit[0] >= '0' && digit[0] <= '9') || digit == "\xC2\xB9" ||
                   digit == "\xC2\xB2" || digit == "\xC2\xB3";
    return isPort && isDigit;
}

std::string nameProblem(const std::string& name) {
    if (name.empty()) {
        return "has an empty name between two slashes";
    }
    if (name.back() == '.' || name.back() == ' ') {
        return "has a name ending in a dot or a space (\"" + name + "\"), which Windows drops";
    }
    if (isReservedDeviceName(name)) {
        return "uses \"" + name + "\", a device name that Windows reserves";
    }
    return {};
}

}  // namespace

bool isValidUtf8(const std::string& text) {
    size_t index = 0;
    uint32_t codePoint = 0;
    while (index < text.size()) {
        if (!nextCodePoint(text, index, codePoint)) {
            return false;
        }
    }
    return true;
}

std::string releasePathProblem(const std::string& path) {
    if (path.empty()) {
        return "is empty";
    }
    if (!isValidUtf8(path)) {
        return "is not valid UTF-8";
    }
    // The launcher acts on no path that holds "..", even inside a name.
    if (path.find("..") != std::string::npos) {
        return "contains \"..\", which the launcher never installs";
    }
    if (path.front() == '/') {
        return "starts with a slash";
    }
    for (char c : path) {
        if (static_cast<unsigned char>(c) < 0x20) {
            return "contains a control character, which Windows cannot store in a name";
        }
        if (c == '\\') {
            return "contains a backslash, which the launcher reads as a folder separator";
        }
        if (std::string("<>:\"|?*").find(c) != std::string::npos) {
            return std::string("contains '") + c + "', which Windows cannot store in a name";
        }
    }
    size_t start = 0;
    for (;;) {
        size_t slash = path.find('/', start);
        std::string problem = nameProblem(path.substr(start, slash == std::string::npos ? slash : slash - start));
        if (!problem.empty() || slash == std::string::npos) {
            return problem;
        }
        start = slash + 1;
    }
}

std::string foldCase(const std::string& text) {
    std::string folded;
    folded.reserve(text.size());
    size_t index = 0;
    uint32_t codePoint = 0;
    while (index < text.size()) {
        if (!nextCodePoint(text, index, codePoint)) {
            folded.append(text, index, std::string::npos);  // not expected: callers check UTF-8 first
            break;
        }
        appendUtf8(lowerCase(codePoint), folded);
    }
    return folded;
}

std::vector<std::pair<std::string, std::string>> caseConflicts(const std::vector<std::string>& paths) {
    std::vector<std::pair<std::string, std::string>> conflicts;
    std::map<std::string, std::string> files;    // folded path -> path
    std::map<std::string, std::string> folders;  // folded folder -> first path inside it
    for (const std::string& path : paths) {
        std::string folded = foldCase(path);
        auto [known, added] = files.emplace(folded, path);
        if (!added) {
            conflicts.emplace_back(known->second, path);
        }
        for (size_t slash = folded.find('/'); slash != std::string::npos; slash = folded.find('/', slash + 1)) {
            folders.emplace(folded.substr(0, slash), path);
        }
    }
    for (const auto& [folded, path] : files) {
        auto folder = folders.find(folded);
        if (folder != folders.end()) {
            conflicts.emplace_back(path, folder->second);
        }
    }
    return conflicts;
}

std::string percentEncodePath(const std::string& path) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(path.size() * 3);
    for (char c : path) {
        bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                          c == '.' || c == '_' || c == '~' || c == '/';
        if (unreserved) {
            encoded += c;
        } else {
            auto byte = static_cast<unsigned char>(c);
            encoded += '%';
            encoded += kDigits[byte >> 4];
            encoded += kDigits[byte & 0x0F];
        }
    }
    return encoded;
}

}  // namespace br
