// The floor for downloading: WinHTTP GETs read with WinHttpReadData into one
// fixed buffer and written with WriteFile, nothing else around them.
// Usage: bare_winhttp <list> [per-file|per-file-close|one-session]
// The list holds "url<TAB>target" lines. per-file (the default) opens and
// closes a session for every file, as the launcher does; per-file-close also
// turns keep-alive off for each request, as the launcher does too; one-session
// keeps one session and connection for the whole list, so keep-alive reuses
// the socket. Prints "seconds=… cpu=… bytes=… files=…".

#include <windows.h>
#include <winhttp.h>

#include <cstdio>
#include <cwchar>
#include <vector>

#include "bench/bench_clock.h"

namespace {

struct Target {
    wchar_t host[256] = {};
    wchar_t path[4096] = {};
    INTERNET_PORT port = 0;
};

bool crack(const std::wstring& url, Target& target) {
    URL_COMPONENTS parts = {};
    parts.dwStructSize = sizeof(parts);
    parts.lpszHostName = target.host;
    parts.dwHostNameLength = 255;
    parts.lpszUrlPath = target.path;
    parts.dwUrlPathLength = 4095;
    if (!WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) {
        return false;
    }
    target.port = parts.nPort;
    return true;
}

// One GET into one file; false on any failure.
bool fetch(HINTERNET connection, const Target& target, const std::wstring& file, std::vector<char>& buffer,
           unsigned long long& total, bool noKeepAlive) {
    HINTERNET request = WinHttpOpenRequest(connection, L"GET", target.path, nullptr, WINHTTP_NO_REFERER,
                                           WINHTTP_DEFAULT_ACCEPT_TYPES, 0);
    if (request == nullptr) {
        return false;
    }
    if (noKeepAlive) {
        DWORD feature = WINHTTP_DISABLE_KEEP_ALIVE;
        WinHttpSetOption(request, WINHTTP_OPTION_DISABLE_FEATURE, &feature, sizeof(feature));
    }
    bool ok = WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) &&
              WinHttpReceiveResponse(request, nullptr);
    HANDLE out = ok ? CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                  nullptr)
                    : INVALID_HANDLE_VALUE;
    ok = out != INVALID_HANDLE_VALUE;
    for (;;) {
        DWORD got = 0;
        DWORD written = 0;
        if (!ok || !WinHttpReadData(request, buffer.data(), static_cast<DWORD>(buffer.size()), &got)) {
            ok = false;
            break;
        }
        if (got == 0) {
            break;
        }
        ok = WriteFile(out, buffer.data(), got, &written, nullptr) && written == got;
        total += got;
    }
    if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
    WinHttpCloseHandle(request);
    return ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bare_winhttp <list> [per-file|per-file-close|one-session]\n");
        return 2;
    }
    const bool oneSession = argc > 2 && std::wcscmp(argv[2], L"one-session") == 0;
    const bool noKeepAlive = argc > 2 && std::wcscmp(argv[2], L"per-file-close") == 0;
    const auto items = bench::readDownloadList(argv[1]);
    std::vector<char> buffer(65536);
    unsigned long long total = 0;

    bench::Stopwatch stopwatch;
    HINTERNET session = nullptr;
    HINTERNET connection = nullptr;
    bool ok = true;
    for (const auto& [url, file, size] : items) {
        Target target;
        if (!crack(url, target)) {
            ok = false;
            break;
        }
        if (session == nullptr) {
            session = WinHttpOpen(L"brindle-updater/1.0", WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME,
                                  WINHTTP_NO_PROXY_BYPASS, 0);
            connection = session != nullptr ? WinHttpConnect(session, target.host, target.port, 0) : nullptr;
        }
        ok = connection != nullptr && fetch(connection, target, file, buffer, total, noKeepAlive);
        if (!oneSession || !ok) {
            if (connection != nullptr) WinHttpCloseHandle(connection);
            if (session != nullptr) WinHttpCloseHandle(session);
            connection = session = nullptr;
        }
        if (!ok) {
            break;
        }
    }
    if (connection != nullptr) WinHttpCloseHandle(connection);
    if (session != nullptr) WinHttpCloseHandle(session);
    if (!ok) {
        std::fprintf(stderr, "download failed\n");
        return 1;
    }
    stopwatch.print();
    std::printf("bytes=%llu files=%zu\n", total, items.size());
    return 0;
}
