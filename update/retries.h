#pragma once
// The requests of an update run, tried again while their failures are of the
// kind that passes: a dropped line, a reset, a busy server.

#include <cstdint>
#include <string>

#include "update/http_client.h"

namespace br {

// Waits before the next attempt, less when stop (null for none) is raised
// meanwhile; tests put one here that does not sleep.
using RetryPause = void (*)(uint32_t milliseconds, StopSignal* stop);
extern RetryPause retryPause;

// On failure, failure is that of the last attempt.
bool fetchWithRetries(HttpSession& session, const std::wstring& url, std::string& body, HttpFailure& failure);

// Each attempt continues what the one before left in target. progress gets
// the bytes that came over the network in all attempts; resumed tells whether
// any attempt continued bytes that were there before it.
bool downloadWithRetries(HttpSession& session, const std::wstring& url, const std::wstring& target, uint64_t size,
                         const ProgressCallback& progress, bool& resumed, HttpFailure& failure);

}  // namespace br
