// Any bytes as a manifest path: the rules must never take one that leaves the
// install folder, names a device or stands for another name, and what they
// take must be one spelling. The checks here are written apart from the rules
// on purpose, so that a mistake in the rules is not repeated in its test.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/path_rules.h"

namespace {

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

std::vector<std::string> namesOf(const std::string& spelling) {
    std::vector<std::string> names;
    size_t start = 0;
    for (;;) {
        size_t slash = spelling.find('\\', start);
        names.push_back(spelling.substr(start, slash == std::string::npos ? slash : slash - start));
        if (slash == std::string::npos) {
            return names;
        }
        start = slash + 1;
    }
}

std::string upperAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

// What Windows opens as a device: the name up to its first dot, without the
// spaces before it.
bool opensADevice(const std::string& name) {
    std::string stem = upperAscii(name.substr(0, name.find('.')));
    stem.erase(stem.find_last_not_of(' ') + 1);
    if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL" || stem == "CONIN$" || stem == "CONOUT$") {
        return true;
    }
    if (stem.rfind("COM", 0) != 0 && stem.rfind("LPT", 0) != 0) {
        return false;
    }
    const std::string number = stem.substr(3);
    return (number.size() == 1 && number[0] >= '0' && number[0] <= '9') || number == "\xC2\xB9" ||
           number == "\xC2\xB2" || number == "\xC2\xB3";
}

void checkTaken(const std::string& spelling) {
    // No drive, stream, wildcard, control character or other separator.
    for (char c : spelling) {
        require(static_cast<unsigned char>(c) >= 0x20 && c != ':' && c != '/' && c != '*' && c != '?' &&
                c != '"' && c != '<' && c != '>' && c != '|');
    }
    require(spelling.find("..") == std::string::npos);
    const std::vector<std::string> names = namesOf(spelling);
    for (size_t i = 0; i < names.size(); ++i) {
        const std::string& name = names[i];
        if (name.empty()) {
            // Only a trailing separator leaves an empty last name, or nothing at all.
            require(i + 1 == names.size());
            continue;
        }
        // Windows would drop a trailing dot or space and open another name.
        require(name.back() != '.' && name.back() != ' ');
        require(!opensADevice(name));
    }
    // One spelling: taking it again changes nothing.
    std::string again;
    require(br::installSpelling(spelling, again) && again == spelling);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path(reinterpret_cast<const char*>(data), size);
    std::string spelling = "untouched";
    const bool taken = br::installSpelling(path, spelling);
    require(taken == br::pathProblem(path, br::PathSpelling::lenient).empty());
    if (!taken) {
        require(spelling == "untouched");
    } else {
        checkTaken(spelling);
    }

    // A path that a release may hold reaches the launcher as it is, "/" read as "\".
    if (br::pathProblem(path, br::PathSpelling::plain).empty()) {
        std::string expected = path;
        for (char& c : expected) {
            c = c == '/' ? '\\' : c;
        }
        require(taken && spelling == expected);
    }
    return 0;
}
