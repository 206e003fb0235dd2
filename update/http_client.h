#pragma once
// Synchronous HTTP(S) GET over WinHTTP: the manifest into memory, every other
// file streamed to disk. Failures come back as a short English reason.

#include <cstdint>
#include <functional>
#include <string>

#include "common/win32_handles.h"

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
};

// The handles of one call; members close in reverse order: request,
// connection, and the call's own session when it has no shared one.
struct HttpHandles {
    WinHttpHandle session;
    WinHttpHandle connection;
    WinHttpHandle request;
};

// (bytes received so far, Content-Length or 0 when the server sent none).
using ProgressCallback = std::function<void(uint64_t, uint64_t)>;

// Sends the GET and waits for a response with a 2xx status. Without a session
// the call opens its own and keeps no connection alive.
bool openHttpRequest(const std::wstring& url, HttpHandles& handles, std::string& reason,
                     HttpSession* session = nullptr);

// The most fetchToMemory holds: a longer body fails with "response too large".
inline constexpr size_t kMemoryBodyLimit = 64u << 20;

// On failure the body may hold part of the response.
bool fetchToMemory(const std::wstring& url, std::string& body, std::string& reason,
                   HttpSession* session = nullptr);

// Creates (or truncates) target only once a 2xx response has arrived. On
// failure whatever was written stays in the file; the caller removes it.
bool downloadToFile(const std::wstring& url, const std::wstring& target, const ProgressCallback& progress,
                    std::string& reason, HttpSession* session = nullptr);

}  // namespace br
