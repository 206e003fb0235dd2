#pragma once
// One call of the HTTP client on a fresh session, with what came of it.

#include <string>

#include "update/http_client.h"

namespace br {
namespace test {

struct Fetched {
    bool ok = false;
    std::string body;
    HttpFailure failure;
};

inline Fetched fetch(const std::wstring& url) {
    HttpSession session;
    Fetched result;
    result.ok = fetchToMemory(session, url, result.body, result.failure);
    return result;
}

struct Downloaded {
    bool ok = false;
    DownloadAttempt attempt;
    HttpFailure failure;
};

inline Downloaded download(const std::wstring& url, const std::wstring& target, uint64_t size,
                           const ProgressCallback& progress = nullptr) {
    HttpSession session;
    Downloaded result;
    result.ok = downloadToFile(session, url, target, size, progress, result.attempt, result.failure);
    return result;
}

}  // namespace test
}  // namespace br
