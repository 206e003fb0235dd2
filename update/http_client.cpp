#include "update/http_client.h"

#include <vector>

namespace br {

namespace {

const wchar_t kUserAgent[] = L"brindle-updater/1.0";

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

}  // namespace

bool openHttpRequest(const std::wstring& url, HttpHandles& handles, std::string& reason) {
    wchar_t host[256] = {};
    wchar_t path[4096] = {};
    wchar_t extra[4096] = {};
    URL_COMPONENTS parts = {};
    parts.dwStructSize = sizeof(parts);
    parts.lpszHostName = host;
    parts.dwHostNameLength = 255;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = 4095;
    parts.lpszExtraInfo = extra;
    parts.dwExtraInfoLength = 4095;
    if (url.empty() || !WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) {
        reason = "bad url";
        return false;
    }

    handles.session.reset(WinHttpOpen(kUserAgent, WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME,
                                      WINHTTP_NO_PROXY_BYPASS, 0));
    if (!handles.session) {
        reason = "WinHttpOpen failed";
        return false;
    }
    WinHttpSetTimeouts(handles.session.get(), 15000, 15000, 30000, 60000);

    handles.connection.reset(WinHttpConnect(handles.session.get(), host, parts.nPort, 0));
    if (!handles.connection) {
        reason = "WinHttpConnect failed";
        return false;
    }

    DWORD flags = parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0;
    std::wstring target = requestTarget(parts);
    handles.request.reset(WinHttpOpenRequest(handles.connection.get(), L"GET", target.c_str(), nullptr,
                                             WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, flags));
    if (!handles.request) {
        reason = "WinHttpOpenRequest failed";
        return false;
    }
    // No connection outlives its call. A pooled one would carry whatever a
    // broken response left unread (a body longer than its Content-Length)
    // into the next request, which would then read it as its own answer.
    DWORD noKeepAlive = WINHTTP_DISABLE_KEEP_ALIVE;
    WinHttpSetOption(handles.request.get(), WINHTTP_OPTION_DISABLE_FEATURE, &noKeepAlive, sizeof(noKeepAlive));

    if (!WinHttpSendRequest(handles.request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0,
                            0)) {
        reason = "WinHttpSendRequest failed";
        return false;
    }
    if (!WinHttpReceiveResponse(handles.request.get(), nullptr)) {
        reason = "WinHttpReceiveResponse failed";
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

namespace {

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

}  // namespace

bool fetchToMemory(const std::wstring& url, std::string& body, std::string& reason) {
    HttpHandles handles;
    if (!openHttpRequest(url, handles, reason)) {
        return false;
    }
    body.clear();
    return readBody(handles.request.get(), reason, [&](const char* bytes, DWORD count) {
        // A server that never stops must not exhaust the memory: no manifest
        // comes near this.
        if (count > kMemoryBodyLimit - body.size()) {
            reason = "response too large";
            return false;
        }
        body.append(bytes, count);
        return true;
    });
}

bool downloadToFile(const std::wstring& url, const std::wstring& target, const ProgressCallback& progress,
                    std::string& reason) {
    HttpHandles handles;
    if (!openHttpRequest(url, handles, reason)) {
        return false;
    }

    DWORD contentLength = 0;
    DWORD size = sizeof(contentLength);
    if (!WinHttpQueryHeaders(handles.request.get(), WINHTTP_QUERY_CONTENT_LENGTH | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &contentLength, &size, WINHTTP_NO_HEADER_INDEX)) {
        contentLength = 0;
    }

    // Declared after the handles, so it closes before them.
    UniqueHandle file(
        CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        reason = "cannot create temp file";
        return false;
    }

    uint64_t received = 0;
    return readBody(handles.request.get(), reason, [&](const char* bytes, DWORD count) {
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

}  // namespace br
