#include "update/http_client.h"

#include <vector>

namespace br {

namespace {

const wchar_t kUserAgent[] = L"brindle-updater/1.0";

// A build that must fetch its manifest over https (Release, MinSizeRel)
// fetches everything so: an address in a manifest is no way around that.
#ifdef BRINDLE_HTTPS_ONLY
constexpr bool kHttpsOnly = true;
#else
constexpr bool kHttpsOnly = false;
#endif

// The request target: the URL's path and its query string. WinHttpCrackUrl
// hands the query back separately on some Windows versions and inside the path
// on others; asking for it explicitly makes every platform send the same
// request, so signed CDN URLs keep their tokens. The fragment is never sent.
std::wstring requestTarget(const URL_COMPONENTS& parts) {
    std::wstring target(parts.lpszUrlPath, parts.dwUrlPathLength);
    std::wstring extra(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    size_t fragment = extra.find(L'#');
    if (fragment != std::wstring::npos) {
        extra.erase(fragment);
    }
    return target + extra;
}

WinHttpHandle openSession(std::string& reason) {
    WinHttpHandle session(WinHttpOpen(kUserAgent, WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME,
                                      WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session) {
        reason = "WinHttpOpen failed";
        return session;
    }
    WinHttpSetTimeouts(session.get(), 15000, 15000, 30000, 60000);
    return session;
}

struct ParsedUrl {
    wchar_t host[256] = {};
    wchar_t path[4096] = {};
    wchar_t extra[4096] = {};
    URL_COMPONENTS parts = {};
};

bool crackUrl(const std::wstring& url, ParsedUrl& parsed) {
    parsed.parts.dwStructSize = sizeof(parsed.parts);
    parsed.parts.lpszHostName = parsed.host;
    parsed.parts.dwHostNameLength = 255;
    parsed.parts.lpszUrlPath = parsed.path;
    parsed.parts.dwUrlPathLength = 4095;
    parsed.parts.lpszExtraInfo = parsed.extra;
    parsed.parts.dwExtraInfoLength = 4095;
    return !url.empty() && WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &parsed.parts);
}

// One attempt: connect, send, wait for the response and check its status.
// unanswered tells that it failed before any answer came, as a request on a
// kept connection that the server has closed does.
bool sendRequest(HINTERNET session, const ParsedUrl& parsed, bool keepAlive, HttpHandles& handles,
                 std::string& reason, bool& unanswered) {
    unanswered = false;
    handles.connection.reset(WinHttpConnect(session, parsed.host, parsed.parts.nPort, 0));
    if (!handles.connection) {
        reason = "WinHttpConnect failed";
        return false;
    }
    DWORD flags = parsed.parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0;
    std::wstring target = requestTarget(parsed.parts);
    handles.request.reset(WinHttpOpenRequest(handles.connection.get(), L"GET", target.c_str(), nullptr,
                                             WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, flags));
    if (!handles.request) {
        reason = "WinHttpOpenRequest failed";
        return false;
    }
    if (!keepAlive) {
        // No connection outlives its call. A pooled one would carry whatever a
        // broken response left unread (a body longer than its Content-Length)
        // into the next request, which would then read it as its own answer.
        DWORD noKeepAlive = WINHTTP_DISABLE_KEEP_ALIVE;
        WinHttpSetOption(handles.request.get(), WINHTTP_OPTION_DISABLE_FEATURE, &noKeepAlive, sizeof(noKeepAlive));
    }

    if (!WinHttpSendRequest(handles.request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0,
                            0)) {
        reason = "WinHttpSendRequest failed";
        unanswered = true;
        return false;
    }
    if (!WinHttpReceiveResponse(handles.request.get(), nullptr)) {
        reason = "WinHttpReceiveResponse failed";
        unanswered = true;
        return false;
    }

    DWORD status = 0;
    DWORD size = sizeof(status);
    WinHttpQueryHeaders(handles.request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                        WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX);
    if (status < 200 || status > 299) {
        reason = "HTTP status " + std::to_string(status);
        return false;
    }
    return true;
}

// The announced length, when there is one that is a plain number.
bool contentLengthOf(HINTERNET request, uint64_t& length) {
    wchar_t text[32] = {};
    DWORD size = sizeof(text);
    if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX, text, &size,
                             WINHTTP_NO_HEADER_INDEX) ||
        text[0] == L'\0') {
        return false;
    }
    length = 0;
    for (const wchar_t* c = text; *c != L'\0'; ++c) {
        if (*c < L'0' || *c > L'9' || length > (UINT64_MAX - 9) / 10) {
            return false;
        }
        length = length * 10 + static_cast<uint64_t>(*c - L'0');
    }
    return true;
}

// Hands the body over chunk by chunk, each as large as WinHTTP has ready, so
// nothing beyond one chunk is held. takeChunk returns false (after setting the
// reason) to stop.
// One buffer serves every chunk of a response: it grows to the largest chunk
// and is never cleared, since WinHttpReadData overwrites what it reports. A
// fresh zeroed buffer per chunk added half again to the loop's instructions
// (WinHTTP hands out 8 KiB at a time under Wine).
template <typename TakeChunk>
bool readBody(HINTERNET request, std::string& reason, TakeChunk takeChunk) {
    std::vector<char> buffer;
    for (;;) {
        DWORD ready = 0;
        if (!WinHttpQueryDataAvailable(request, &ready)) {
            reason = "query data failed";
            return false;
        }
        if (ready == 0) {
            return true;
        }
        if (buffer.size() < ready) {
            buffer.resize(ready);
        }
        DWORD received = 0;
        if (!WinHttpReadData(request, buffer.data(), ready, &received)) {
            reason = "read failed";
            return false;
        }
        if (received == 0) {
            return true;
        }
        if (!takeChunk(buffer.data(), received)) {
            return false;
        }
    }
}

// After a response: its connection goes back to the session's pool only when
// nothing of it can be left on the line.
void finishResponse(HttpHandles& handles, HttpSession* session, bool read, uint64_t received) {
    uint64_t announced = 0;
    const bool exact = read && handles.request && contentLengthOf(handles.request.get(), announced) &&
                       announced == received;
    handles.request.reset();
    handles.connection.reset();
    if (session != nullptr && !exact) {
        session->close();
    }
}

}  // namespace

bool HttpSession::open(std::string& reason) {
    if (!handle) {
        handle = openSession(reason);
        used = false;
    }
    return static_cast<bool>(handle);
}

void HttpSession::close() {
    handle.reset();
}

bool openHttpRequest(const std::wstring& url, HttpHandles& handles, std::string& reason, HttpSession* session) {
    ParsedUrl parsed;
    if (!crackUrl(url, parsed) || (kHttpsOnly && parsed.parts.nScheme != INTERNET_SCHEME_HTTPS)) {
        reason = "bad url";
        return false;
    }
    if (session == nullptr) {
        handles.session = openSession(reason);
        bool unanswered = false;
        return handles.session && sendRequest(handles.session.get(), parsed, false, handles, reason, unanswered);
    }
    // A kept connection that the server has closed meanwhile (its idle time,
    // "Connection: close") fails before any answer: once more, on a fresh one.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!session->open(reason)) {
            return false;
        }
        const bool reusing = session->used;
        session->used = true;
        bool unanswered = false;
        if (sendRequest(session->handle.get(), parsed, true, handles, reason, unanswered)) {
            return true;
        }
        handles.request.reset();
        handles.connection.reset();
        session->close();
        // A connection that WinHTTP kept in its pool (Wine keeps them past the
        // session) fails in the same way.
        if (!unanswered || !(reusing || reason == "WinHttpReceiveResponse failed")) {
            return false;
        }
    }
    return false;
}

bool fetchToMemory(const std::wstring& url, std::string& body, std::string& reason, HttpSession* session) {
    HttpHandles handles;
    if (!openHttpRequest(url, handles, reason, session)) {
        return false;
    }
    body.clear();
    const bool read = readBody(handles.request.get(), reason, [&](const char* bytes, DWORD count) {
        // A server that never stops must not exhaust the memory: no manifest
        // comes near this.
        if (count > kMemoryBodyLimit - body.size()) {
            reason = "response too large";
            return false;
        }
        body.append(bytes, count);
        return true;
    });
    finishResponse(handles, session, read, body.size());
    return read;
}

bool downloadToFile(const std::wstring& url, const std::wstring& target, const ProgressCallback& progress,
                    std::string& reason, HttpSession* session) {
    HttpHandles handles;
    if (!openHttpRequest(url, handles, reason, session)) {
        return false;
    }

    uint64_t announced = 0;
    const uint64_t contentLength = contentLengthOf(handles.request.get(), announced) ? announced : 0;

    uint64_t received = 0;
    bool read = false;
    {
        UniqueHandle file(CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            reason = "cannot create temp file";
        } else {
            read = readBody(handles.request.get(), reason, [&](const char* bytes, DWORD count) {
                DWORD written = 0;
                if (!WriteFile(file.get(), bytes, count, &written, nullptr) || written != count) {
                    reason = "write failed";
                    return false;
                }
                received += count;
                if (progress) {
                    progress(received, contentLength);
                }
                return true;
            });
        }
    }
    finishResponse(handles, session, read, received);
    return read;
}

}  // namespace br
