#include "common/name_case.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "common/utf8.h"

namespace br {

namespace {

// Code units first to last, in steps of stride, move by delta to their capital.
struct CaseRun {
    uint16_t first;
    uint16_t last;
    int32_t delta;
    uint16_t stride;
};

// Generated into the build folder from the Unicode Character Database
// (scripts/make_case_table.py), in ascending order.
constexpr CaseRun kCaseRuns[] = {
#include "name_case_table.inc"
};

}  // namespace

char32_t fileNameUpper(char32_t unit) {
    if (unit > 0xFFFF) {
        return unit;
    }
    const CaseRun* run = std::upper_bound(std::begin(kCaseRuns), std::end(kCaseRuns), unit,
                                          [](char32_t value, const CaseRun& r) { return value < r.first; });
    if (run == std::begin(kCaseRuns)) {
        return unit;
    }
    --run;
    if (unit > run->last || (unit - run->first) % run->stride != 0) {
        return unit;
    }
    return static_cast<char32_t>(static_cast<int32_t>(unit) + run->delta);
}

std::string fileNameKey(const std::string& utf8) {
    std::string key;
    key.reserve(utf8.size());
    size_t index = 0;
    char32_t codePoint = 0;
    while (index < utf8.size()) {
        if (!nextCodePoint(utf8, index, codePoint)) {
            key.append(utf8, index, std::string::npos);
            break;
        }
        appendUtf8(fileNameUpper(codePoint), key);
    }
    return key;
}

std::wstring fileNameKey(const std::wstring& utf16) {
    std::wstring key = utf16;
    for (wchar_t& unit : key) {
        unit = static_cast<wchar_t>(fileNameUpper(static_cast<char32_t>(unit)));
    }
    return key;
}

bool sameFileName(const std::string& a, const std::string& b) {
    return fileNameKey(a) == fileNameKey(b);
}

bool sameFileName(const std::wstring& a, const std::wstring& b) {
    return a.size() == b.size() && fileNameKey(a) == fileNameKey(b);
}

}  // namespace br
