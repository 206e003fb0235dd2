// The state file's text, apart from the file itself: pure code, so that it
// can be checked on its own, on any platform.

#include "update/file_state.h"

#include "common/decimal.h"

namespace br {

namespace {

// One line of the state file, already without its line end. A line that does
// not hold four fields, whose numbers are no plain counts, or that names no
// path is skipped: it only costs a hash.
void storeStateLine(const std::string& line, StateCache& cache) {
    size_t first = line.find(' ');
    if (first == std::string::npos) {
        return;
    }
    size_t second = line.find(' ', first + 1);
    if (second == std::string::npos) {
        return;
    }
    size_t third = line.find(' ', second + 1);
    if (third == std::string::npos) {
        return;
    }
    std::string path = line.substr(third + 1);
    if (path.empty()) {
        return;
    }
    StateEntry entry;
    entry.sha256 = line.substr(0, first);
    if (!parseDecimal(line.substr(first + 1, second - first - 1), entry.size) ||
        !parseDecimal(line.substr(second + 1, third - second - 1), entry.lastWriteTime)) {
        return;
    }
    cache[path] = entry;  // a later line for the same path wins
}

}  // namespace

StateCache parseStateText(const std::string& text) {
    StateCache cache;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(start, end - start);
        start = end + 1;
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) {
            line.pop_back();
        }
        if (!line.empty()) {
            storeStateLine(line, cache);
        }
    }
    return cache;
}

std::string formatStateText(const StateCache& cache) {
    std::string text;
    for (const auto& [path, entry] : cache) {
        text += entry.sha256;
        text += ' ';
        text += std::to_string(entry.size);
        text += ' ';
        text += std::to_string(entry.lastWriteTime);
        text += ' ';
        text += path;
        text += '\n';
    }
    return text;
}

}  // namespace br
