#pragma once
// When a failed request is worth another attempt, how long to wait before it,
// and whether a partial answer continues the file that is on disk: plain data
// in, plain data out.

#include <cstdint>
#include <string>

namespace br {

// A request is tried this often in all before its failure stands.
inline constexpr int kAttemptsPerRequest = 5;
// An attempt that brought this much starts the count of attempts afresh, so a
// long file on a line that drops every minute still finishes.
inline constexpr uint64_t kBytesThatRenewAttempts = 1u << 20;
// The longest wait a server's Retry-After may ask for.
inline constexpr uint32_t kLongestRetryAfterSeconds = 60;

// The statuses a server gives while it is busy or restarting.
bool isTransientStatus(uint32_t status);

// The wait after the failed-th failure in a row (0 or 1, then 2, ...): 1, 2, 4, 8 s, or
// what the server asked for in seconds, at most a minute.
uint32_t retryPauseMilliseconds(int failed, uint32_t retryAfterSeconds, bool hasRetryAfter);

// The failures in a row of one request.
struct RetryCount {
    int failed = 0;
    // After a transient failure of an attempt that brought received bytes:
    // whether another attempt may follow.
    bool allowsAnother(uint64_t received);
};

// "120" as a Retry-After in seconds; an HTTP date or anything else is not one.
bool parseRetryAfterSeconds(const std::string& text, uint32_t& seconds);

// Whether "bytes FIRST-LAST/TOTAL" is exactly the rest of a file of total
// bytes from offset on.
bool contentRangeContinues(const std::string& text, uint64_t offset, uint64_t total);

}  // namespace br
