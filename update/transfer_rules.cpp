#include "update/transfer_rules.h"

#include <algorithm>

#include "common/decimal.h"

namespace br {

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
    uint64_t value = 0;
    if (!parseDecimal(text, value)) {
        return false;
    }
    seconds = static_cast<uint32_t>(std::min<uint64_t>(value, kLongestRetryAfterSeconds));
    return true;
}

bool contentRangeContinues(const std::string& text, uint64_t offset, uint64_t total) {
    const std::string unit = "bytes ";
    const size_t dash = text.find('-');
    const size_t slash = text.find('/');
    uint64_t first = 0;
    uint64_t last = 0;
    uint64_t size = 0;
    return text.compare(0, unit.size(), unit) == 0 && dash != std::string::npos && slash != std::string::npos &&
           dash < slash && parseDecimal(text.substr(unit.size(), dash - unit.size()), first) &&
           parseDecimal(text.substr(dash + 1, slash - dash - 1), last) &&
           parseDecimal(text.substr(slash + 1), size) && first == offset && size == total && total > 0 &&
           last == total - 1;
}

}  // namespace br
