#include "update/retries.h"

#include <windows.h>

#include "update/transfer_rules.h"

namespace br {

namespace {

void sleepFor(uint32_t milliseconds, StopSignal* stop) {
    if (stop != nullptr) {
        stop->waitFor(milliseconds);
    } else {
        Sleep(milliseconds);
    }
}

// attempt(received) makes one attempt and tells how many bytes it brought.
// A session whose stop is raised makes no further attempt.
template <typename Attempt>
bool withRetries(HttpSession& session, HttpFailure& failure, Attempt attempt) {
    RetryCount count;
    for (;;) {
        uint64_t received = 0;
        if (attempt(received)) {
            return true;
        }
        if (failure.kind != HttpFailureKind::Transient || !count.allowsAnother(received)) {
            return false;
        }
        retryPause(retryPauseMilliseconds(count.failed, failure.retryAfterSeconds, failure.hasRetryAfter),
                   session.stop);
        if (session.stop != nullptr && session.stop->raised()) {
            failure = HttpFailure{HttpFailureKind::Transient, "stopped"};
            return false;
        }
    }
}

}  // namespace

RetryPause retryPause = sleepFor;

bool fetchWithRetries(HttpSession& session, const std::wstring& url, std::string& body, HttpFailure& failure) {
    return withRetries(session, failure, [&](uint64_t& received) {
        const bool fetched = fetchToMemory(session, url, body, failure);
        received = body.size();
        return fetched;
    });
}

bool downloadWithRetries(HttpSession& session, const std::wstring& url, const std::wstring& target, uint64_t size,
                         const ProgressCallback& progress, bool& resumed, HttpFailure& failure) {
    resumed = false;
    uint64_t arrivedBefore = 0;
    const ProgressCallback overAll = [&](uint64_t position, uint64_t arrived) {
        if (progress) {
            progress(position, arrivedBefore + arrived);
        }
    };
    return withRetries(session, failure, [&](uint64_t& received) {
        DownloadAttempt attempt;
        const bool done = downloadToFile(session, url, target, size, overAll, attempt, failure);
        resumed = resumed || attempt.resumed;
        received = attempt.received;
        arrivedBefore += attempt.received;
        return done;
    });
}

}  // namespace br
