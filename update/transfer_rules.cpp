#include "update/transfer_rules.h"

#include <algorithm>

namespace br {

namespace {

// Reads a plain decimal number at text[at...], moving at past it.
bool readNumber(const std::string& text, size_t& at, uint64_t& value) {
    const size_t start = at;
    value = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
        if (value > (UINT64_MAX - 9) / 10) {
            return false;
        }
        value = value * 10 + static_cast<uint64_t>(text[at] - '0');
        ++at;
    }
    return at > start;
}

bool expect(const std::string& text, size_t& at, char c) {
    if (at < text.size() && text[at] == c) {
        ++at;
        return true;
    }
    return false;
}

}  // namespace

bool isTransientStatus(uint32_t status) {
    switch (status) {
        case 408:
        case 429:
        case 500:
        case 502:
        case 503:
        case 504:
            return true;
        default:
            return false;
    }
}

uint32_t retryPauseMilliseconds(int failed, uint32_t retryAfterSeconds, bool hasRetryAfter) {
    if (hasRetryAfter) {
        return std::min(retryAfterSeconds, kLongestRetryAfterSeconds) * 1000u;
    }
    const int doublings = std::clamp(failed - 1, 0, kAttemptsPerRequest - 2);
    return 1000u << doublings;
}

bool RetryCount::allowsAnother(uint64_t received) {
    // The attempt that brought enough is the last of the old count; the next
    // one is the first of a new count.
    failed = received >= kBytesThatRenewAttempts ? 0 : failed + 1;
    return failed < kAttemptsPerRequest;
}

bool parseRetryAfterSeconds(const std::string& text, uint32_t& seconds) {
    size_t at = 0;
    uint64_t value = 0;
    if (!readNumber(text, at, value) || at != text.size()) {
        return false;
    }
    seconds = static_cast<uint32_t>(std::min<uint64_t>(value, kLongestRetryAfterSeconds));
    return true;
}

bool contentRangeContinues(const std::string& text, uint64_t offset, uint64_t total) {
    const std::string unit = "bytes ";
    if (text.compare(0, unit.size(), unit) != 0) {
        return false;
    }
    size_t at = unit.size();
    uint64_t first = 0;
    uint64_t last = 0;
    uint64_t size = 0;
    return readNumber(text, at, first) && expect(text, at, '-') && readNumber(text, at, last) &&
           expect(text, at, '/') && readNumber(text, at, size) && at == text.size() && first == offset &&
           size == total && total > 0 && last == total - 1;
}

}  // namespace br
