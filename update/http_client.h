#pragma once
// Synchronous HTTP(S) GET over WinHTTP: the manifest into memory, every other
// file streamed to disk, continuing what an earlier attempt left there.
// Failures come back as a short English reason and whether another attempt
// may succeed.

#include <cstdint>
#include <functional>
#include <string>

#include "common/win32_handles.h"
#include "update/stop_signal.h"

namespace br {

// One WinHTTP session for a run of requests (the manifest, its signature and
// every file of an update), so that WinHTTP keeps the connection alive from
// one to the next. A connection that may still hold bytes of an earlier
// response is never used again: after a body that did not end exactly at its
// Content-Length, after one without a Content-Length, and after any failure,
// the session is closed and the next request opens a fresh one.
struct HttpSession {
    bool open(std::string& reason);  // opens one when none is open
    void close();

    WinHttpHandle handle;
    bool used = false;  // a request has gone out on the open session
    StopSignal* stop = nullptr;  // ends its downloads early when raised
};

// The handles of one request; members close in reverse order.
struct HttpHandles {
    WinHttpHandle connection;
    WinHttpHandle request;
};

enum class HttpFailureKind {
    Transient,  // the line or a busy server: the same request may succeed later
    Final,      // the answer or the address is wrong, or the disk is: it will not
};

struct HttpFailure {
    HttpFailureKind kind = HttpFailureKind::Final;
    std::string reason;
    bool hasRetryAfter = false;  // the server said in seconds when to ask again
    uint32_t retryAfterSeconds = 0;
};

// (bytes of the file on disk so far, bytes of them that came over the network).
using ProgressCallback = std::function<void(uint64_t, uint64_t)>;

// The most fetchToMemory holds: a longer body fails with "response too large".
inline constexpr size_t kMemoryBodyLimit = 64u << 20;

// A 2xx answer's body. On failure the body may hold part of the response.
bool fetchToMemory(HttpSession& session, const std::wstring& url, std::string& body, HttpFailure& failure);

// What one download did.
struct DownloadAttempt {
    uint64_t received = 0;  // body bytes that came over the network
    bool resumed = false;   // it continued the bytes that target held
};

// Brings target to the size bytes at url. A target shorter than size is
// continued with a range request when the server can answer one; otherwise,
// and when the target is not shorter, it is written from its start. The
// target is created, or changed, only once a 2xx answer has arrived. Whatever
// was written stays on failure; a body that goes past size is read no
// further, and fails with "response too large". A raised session.stop ends it
// before its request or at its next chunk, as a transient failure "stopped".
bool downloadToFile(HttpSession& session, const std::wstring& url, const std::wstring& target, uint64_t size,
                    const ProgressCallback& progress, DownloadAttempt& attempt, HttpFailure& failure);

}  // namespace br
