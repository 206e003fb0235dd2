#include "update/http_client.h"

#include <vector>

#include "common/decimal.h"
#include "common/text_encoding.h"
#include "update/transfer_rules.h"

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

// Errors after which asking again cannot help: the certificate, a redirect
// that is refused or goes round, an address WinHTTP cannot use. Everything
// else that goes wrong on the way (no route, a refused or reset connection, a
// time-out) may be over at the next attempt.
bool isFinalSendError(DWORD error) {
    switch (error) {
        case ERROR_WINHTTP_SECURE_FAILURE:
        case ERROR_WINHTTP_SECURE_CHANNEL_ERROR:
        case ERROR_WINHTTP_SECURE_INVALID_CERT:
        case ERROR_WINHTTP_SECURE_INVALID_CA:
        case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID:
        case ERROR_WINHTTP_SECURE_CERT_CN_INVALID:
        case ERROR_WINHTTP_SECURE_CERT_REVOKED:
        case ERROR_WINHTTP_SECURE_CERT_REV_FAILED:
        case ERROR_WINHTTP_SECURE_CERT_WRONG_USAGE:
        case ERROR_WINHTTP_CLIENT_AUTH_CERT_NEEDED:
        case ERROR_WINHTTP_REDIRECT_FAILED:
        case ERROR_WINHTTP_UNRECOGNIZED_SCHEME:
        case ERROR_WINHTTP_INVALID_URL:
            return true;
        default:
            return false;
    }
}

void failWith(HttpFailure& failure, HttpFailureKind kind, const std::string& reason) {
    failure = HttpFailure{};
    failure.kind = kind;
    failure.reason = reason;
}

void failAfterSend(HttpFailure& failure, const char* reason) {
    failWith(failure, isFinalSendError(GetLastError()) ? HttpFailureKind::Final : HttpFailureKind::Transient, reason);
}

std::string headerText(HINTERNET request, DWORD query) {
    wchar_t text[128] = {};
    DWORD size = sizeof(text) - sizeof(wchar_t);
    if (!WinHttpQueryHeaders(request, query, WINHTTP_HEADER_NAME_BY_INDEX, text, &size, WINHTTP_NO_HEADER_INDEX)) {
        return std::string();
    }
    return wideToUtf8(text);
}

uint32_t statusOf(HINTERNET request) {
    DWORD status = 0;
    DWORD size = sizeof(status);
    WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX,
                        &status, &size, WINHTTP_NO_HEADER_INDEX);
    return status;
}

// A status outside the 2xx: a busy server's may pass, with the wait it asked for.
void failWithStatus(HINTERNET request, uint32_t status, HttpFailure& failure) {
    failWith(failure, isTransientStatus(status) ? HttpFailureKind::Transient : HttpFailureKind::Final,
             "HTTP status " + std::to_string(status));
    failure.hasRetryAfter =
        parseRetryAfterSeconds(headerText(request, WINHTTP_QUERY_RETRY_AFTER), failure.retryAfterSeconds);
}

// One attempt: connect, send, wait for the response. unanswered tells that it
// failed before any answer came, as a request on a kept connection that the
// server has closed does.
bool sendRequest(HINTERNET session, const ParsedUrl& parsed, const std::wstring& headers, HttpHandles& handles,
                 HttpFailure& failure, bool& unanswered) {
    unanswered = false;
    handles.connection.reset(WinHttpConnect(session, parsed.host, parsed.parts.nPort, 0));
    if (!handles.connection) {
        failWith(failure, HttpFailureKind::Final, "WinHttpConnect failed");
        return false;
    }
    DWORD flags = parsed.parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0;
    std::wstring target = requestTarget(parsed.parts);
    handles.request.reset(WinHttpOpenRequest(handles.connection.get(), L"GET", target.c_str(), nullptr,
                                             WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, flags));
    if (!handles.request) {
        failWith(failure, HttpFailureKind::Final, "WinHttpOpenRequest failed");
        return false;
    }
    if (!WinHttpSendRequest(handles.request.get(), headers.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : headers.c_str(),
                            headers.empty() ? 0 : static_cast<DWORD>(-1L), WINHTTP_NO_REQUEST_DATA, 0, 0, 0)) {
        failAfterSend(failure, "WinHttpSendRequest failed");
        unanswered = true;
        return false;
    }
    if (!WinHttpReceiveResponse(handles.request.get(), nullptr)) {
        failAfterSend(failure, "WinHttpReceiveResponse failed");
        unanswered = true;
        return false;
    }
    return true;
}

// The announced length, when there is one that is a plain number.
bool contentLengthOf(HINTERNET request, uint64_t& length) {
    return parseDecimal(headerText(request, WINHTTP_QUERY_CONTENT_LENGTH), length);
}

// Hands the body over chunk by chunk, each as large as WinHTTP has ready, so
// nothing beyond one chunk is held. takeChunk returns false (after setting the
// failure) to stop.
// One buffer serves every chunk of a response: it grows to the largest chunk
// and is never cleared, since WinHttpReadData overwrites what it reports. A
// fresh zeroed buffer per chunk added half again to the loop's instructions
// (WinHTTP hands out 8 KiB at a time under Wine).
template <typename TakeChunk>
bool readBody(HINTERNET request, HttpFailure& failure, TakeChunk takeChunk) {
    std::vector<char> buffer;
    for (;;) {
        DWORD ready = 0;
        if (!WinHttpQueryDataAvailable(request, &ready)) {
            failWith(failure, HttpFailureKind::Transient, "query data failed");
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
            failWith(failure, HttpFailureKind::Transient, "read failed");
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
void finishResponse(HttpHandles& handles, HttpSession& session, bool read, uint64_t received) {
    uint64_t announced = 0;
    const bool exact = read && handles.request && contentLengthOf(handles.request.get(), announced) &&
                       announced == received;
    handles.request.reset();
    handles.connection.reset();
    if (!exact) {
        session.close();
    }
}

// Sends the GET (with headers, "" for none) and waits for an answer of any
// status.
bool openHttpRequest(HttpSession& session, const std::wstring& url, const std::wstring& headers,
                     HttpHandles& handles, HttpFailure& failure) {
    ParsedUrl parsed;
    if (!crackUrl(url, parsed) || (kHttpsOnly && parsed.parts.nScheme != INTERNET_SCHEME_HTTPS)) {
        failWith(failure, HttpFailureKind::Final, "bad url");
        return false;
    }
    // A kept connection that the server has closed meanwhile (its idle time,
    // "Connection: close") fails before any answer: once more, on a fresh one.
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::string reason;
        if (!session.open(reason)) {
            failWith(failure, HttpFailureKind::Final, reason);
            return false;
        }
        const bool reusing = session.used;
        session.used = true;
        bool unanswered = false;
        if (sendRequest(session.handle.get(), parsed, headers, handles, failure, unanswered)) {
            return true;
        }
        handles.request.reset();
        handles.connection.reset();
        session.close();
        // A connection that WinHTTP kept in its pool (Wine keeps them past the
        // session) fails in the same way.
        if (!unanswered || failure.kind != HttpFailureKind::Transient ||
            !(reusing || failure.reason == "WinHttpReceiveResponse failed")) {
            return false;
        }
    }
    return false;
}

// An answer that is not a 2xx fails; its connection is not kept.
bool answeredOk(HttpHandles& handles, HttpSession& session, HttpFailure& failure) {
    const uint32_t status = statusOf(handles.request.get());
    if (status >= 200 && status <= 299) {
        return true;
    }
    failWithStatus(handles.request.get(), status, failure);
    finishResponse(handles, session, false, 0);
    return false;
}

bool stopped(const HttpSession& session, HttpFailure& failure) {
    if (session.stop == nullptr || !session.stop->raised()) {
        return false;
    }
    failWith(failure, HttpFailureKind::Transient, "stopped");
    return true;
}

// The part of target that a range request can continue: 0 when it is missing
// or holds the whole size or more. file is left open on the target when it exists.
bool openPartFile(const std::wstring& target, uint64_t size, UniqueHandle& file, uint64_t& offset,
                  HttpFailure& failure) {
    offset = 0;
    file.reset(CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        if (GetLastError() == ERROR_FILE_NOT_FOUND) {
            return true;
        }
        failWith(failure, HttpFailureKind::Final, "cannot create temp file");
        return false;
    }
    LARGE_INTEGER length = {};
    if (GetFileSizeEx(file.get(), &length) && static_cast<uint64_t>(length.QuadPart) < size) {
        offset = static_cast<uint64_t>(length.QuadPart);
    }
    return true;
}

// Sends the request for target: for the rest of it when it has a beginning and
// the server can answer with exactly that rest, for the whole file otherwise.
// offset is where the body goes in the file.
bool requestFile(HttpSession& session, const std::wstring& url, uint64_t size, uint64_t& offset,
                 HttpHandles& handles, HttpFailure& failure) {
    if (offset > 0) {
        if (!openHttpRequest(session, url, L"Range: bytes=" + std::to_wstring(offset) + L"-", handles, failure)) {
            return false;
        }
        const uint32_t status = statusOf(handles.request.get());
        if (status == 206 &&
            contentRangeContinues(headerText(handles.request.get(), WINHTTP_QUERY_CONTENT_RANGE), offset, size)) {
            return true;
        }
        if (status != 206 && status != 416) {
            offset = 0;  // a server without ranges sends the whole file
            return answeredOk(handles, session, failure);
        }
        // Another range than the one asked for, or none the server has: the
        // whole file, from its start.
        finishResponse(handles, session, false, 0);
        offset = 0;
    }
    return openHttpRequest(session, url, L"", handles, failure) && answeredOk(handles, session, failure);
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

bool fetchToMemory(HttpSession& session, const std::wstring& url, std::string& body, HttpFailure& failure) {
    HttpHandles handles;
    if (!openHttpRequest(session, url, L"", handles, failure) || !answeredOk(handles, session, failure)) {
        return false;
    }
    body.clear();
    const bool read = readBody(handles.request.get(), failure, [&](const char* bytes, DWORD count) {
        // A server that never stops must not exhaust the memory: no manifest
        // comes near this.
        if (count > kMemoryBodyLimit - body.size()) {
            failWith(failure, HttpFailureKind::Final, "response too large");
            return false;
        }
        body.append(bytes, count);
        return true;
    });
    finishResponse(handles, session, read, body.size());
    return read;
}

bool downloadToFile(HttpSession& session, const std::wstring& url, const std::wstring& target, uint64_t size,
                    const ProgressCallback& progress, DownloadAttempt& attempt, HttpFailure& failure) {
    attempt = DownloadAttempt{};
    if (stopped(session, failure)) {
        return false;
    }
    UniqueHandle file;
    uint64_t offset = 0;
    HttpHandles handles;
    if (!openPartFile(target, size, file, offset, failure) ||
        !requestFile(session, url, size, offset, handles, failure)) {
        return false;
    }
    uint64_t announced = 0;
    if (contentLengthOf(handles.request.get(), announced) && announced > size - offset) {
        finishResponse(handles, session, false, 0);
        failWith(failure, HttpFailureKind::Final, "response too large");
        return false;
    }
    if (!file) {
        file.reset(CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                               nullptr));
    }
    LARGE_INTEGER at = {};
    at.QuadPart = static_cast<LONGLONG>(offset);
    if (!file || !SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN) || !SetEndOfFile(file.get())) {
        finishResponse(handles, session, false, 0);
        failWith(failure, HttpFailureKind::Final, "cannot create temp file");
        return false;
    }
    attempt.resumed = offset > 0;

    uint64_t position = offset;
    const bool read = readBody(handles.request.get(), failure, [&](const char* bytes, DWORD count) {
        if (stopped(session, failure)) {
            return false;
        }
        if (count > size - position) {
            failWith(failure, HttpFailureKind::Final, "response too large");
            return false;
        }
        DWORD written = 0;
        if (!WriteFile(file.get(), bytes, count, &written, nullptr) || written != count) {
            failWith(failure, HttpFailureKind::Final, "write failed");
            return false;
        }
        position += count;
        attempt.received += count;
        if (progress) {
            progress(position, attempt.received);
        }
        return true;
    });
    finishResponse(handles, session, read, attempt.received);
    if (read && position < size) {
        // The connection closed before the end, which WinHTTP may take for a
        // complete body when the server closed it cleanly.
        failWith(failure, HttpFailureKind::Transient, "read failed");
        return false;
    }
    return read;
}

}  // namespace br
