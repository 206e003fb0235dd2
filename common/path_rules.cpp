#include "common/path_rules.h"

#include <cstring>

#include "common/utf8.h"

namespace br {

namespace {

bool isSeparator(char c, PathSpelling spelling) {
    return c == '/' || (c == '\\' && spelling == PathSpelling::lenient);
}

char asciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool equalsIgnoringAsciiCase(const std::string& a, const char* b) {
    if (a.size() != std::strlen(b)) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (asciiUpper(a[i]) != b[i]) {
            return false;
        }
    }
    return true;
}

// A drive or stream colon, a wildcard, or a character no file name may hold.
std::string characterProblem(char c, PathSpelling spelling) {
    if (static_cast<unsigned char>(c) < 0x20) {
        return "contains a control character, which Windows cannot store in a name";
    }
    if (c == '\\' && spelling == PathSpelling::plain) {
        return "contains a backslash, which the launcher reads as a folder separator";
    }
    if (std::strchr("<>:\"|?*", c) != nullptr) {
        return std::string("contains '") + c + "', which Windows cannot store in a name";
    }
    return {};
}

// Windows drops trailing dots and spaces from a name ("a. " opens "a"), so
// such a name would stand for another file than the one it spells; "." and
// ".." end in a dot too.
std::string nameProblem(const std::string& name) {
    if (name.back() == '.' || name.back() == ' ') {
        return "has a name ending in a dot or a space (\"" + name + "\"), which Windows drops";
    }
    if (isDeviceName(name)) {
        return "uses \"" + name + "\", a device name that Windows reserves";
    }
    return {};
}

}  // namespace

bool isDeviceName(const std::string& name) {
    std::string stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ') {
        stem.pop_back();
    }
    for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
        if (equalsIgnoringAsciiCase(stem, device)) {
            return true;
        }
    }
    if (stem.size() < 4) {
        return false;
    }
    const std::string port = stem.substr(0, 3);
    const std::string digit = stem.substr(3);
    const bool isPort = equalsIgnoringAsciiCase(port, "COM") || equalsIgnoringAsciiCase(port, "LPT");
    const bool isDigit = (digit.size() == 1 && digit[0] >= '0' && digit[0] <= '9') || digit == "\xC2\xB9" ||
                         digit == "\xC2\xB2" || digit == "\xC2\xB3";
    return isPort && isDigit;
}

std::string pathProblem(const std::string& path, PathSpelling spelling) {
    const bool plain = spelling == PathSpelling::plain;
    if (plain && path.empty()) {
        return "is empty";
    }
    if (plain && !isValidUtf8(path)) {
        return "is not valid UTF-8";
    }
    size_t start = 0;
    while (!plain && start < path.size() && isSeparator(path[start], spelling)) {
        ++start;
    }
    // Any "..", even inside a name: nothing may climb out of the folder.
    if (path.find("..", start) != std::string::npos) {
        return "contains \"..\", which the launcher never installs";
    }
    if (plain && path.front() == '/') {
        return "starts with a slash";
    }
    for (size_t i = start; i < path.size(); ++i) {
        std::string problem = characterProblem(path[i], spelling);
        if (!problem.empty()) {
            return problem;
        }
    }
    std::string name;
    for (size_t i = start; i <= path.size(); ++i) {
        if (i < path.size() && !isSeparator(path[i], spelling)) {
            name += path[i];
            continue;
        }
        if (name.empty()) {
            if (plain) {
                return "has an empty name between two slashes";
            }
            continue;  // leading, doubled or trailing separators collapse
        }
        std::string problem = nameProblem(name);
        if (!problem.empty()) {
            return problem;
        }
        name.clear();
    }
    return {};
}

bool installSpelling(const std::string& path, std::string& cleaned) {
    if (!pathProblem(path, PathSpelling::lenient).empty()) {
        return false;
    }
    std::string joined;
    std::string name;
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i < path.size() && !isSeparator(path[i], PathSpelling::lenient)) {
            name += path[i];
            continue;
        }
        if (name.empty()) {
            continue;
        }
        joined += name;
        if (i < path.size()) {
            joined += '\\';
        }
        name.clear();
    }
    cleaned = joined;
    return true;
}

}  // namespace br
