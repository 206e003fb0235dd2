#pragma once
// Synchronous HTTP(S) GET over WinHTTP: the manifest into memory, every other
// file streamed to disk. Failures come back as a short English reason.

#include <cstdint>
#include <functional>
#include <string>

#include "common/win32_handles.h"

namespace br {

// The handles of one call; members close in reverse order: request,
// connection, session.
struct HttpHandles {
    WinHttpHandle session;
    WinHttpHandle connection;
    WinHttpHandle request;
};

// (bytes received so far, Content-Length or 0 when the server sent none).
using ProgressCallback = std::function<void(uint64_t, uint64_t)>;

// Sends the GET and waits for a response with a 2xx status.
bool openHttpRequest(const std::wstring& url, HttpHandles& handles, std::string& reason);

// The most fetchToMemory holds: a longer body fails with "response too large".
inline constexpr size_t kMemoryBodyLimit = 64u << 20;

// On failure the body may hold part of the response.
bool fetchToMemory(const std::wstring& url, std::string& body, std::string& reason);

// Creates (or truncates) target only once a 2xx response has arrived. On
// failure whatever was written stays in the file; the caller removes it.
bool downloadToFile(const std::wstring& url, const std::wstring& target, const ProgressCallback& progress,
                    std::string& reason);

}  // namespace br
