// The WinHTTP client against the scripted loopback server: bodies, statuses,
// progress calls, unknown lengths, bad URLs, unreachable servers, cut bodies.

// Before anything that brings in windows.h.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "support/script_server.h"
#include "support/files.h"
#include "update/file_state.h"
#include "update/http_client.h"

namespace br {
namespace {

using Calls = std::vector<std::pair<uint64_t, uint64_t>>;

ProgressCallback recordInto(Calls& calls) {
    return [&calls](uint64_t received, uint64_t length) { calls.emplace_back(received, length); };
}

// Totals grow with every call and end at the file's size.
void expectProgressUpTo(const Calls& calls, uint64_t total, uint64_t announced) {
    ASSERT_FALSE(calls.empty());
    uint64_t previous = 0;
    for (const auto& [received, length] : calls) {
        EXPECT_GT(received, previous);
        EXPECT_EQ(length, announced);
        previous = received;
    }
    EXPECT_EQ(calls.back().first, total);
}

TEST(HttpClient, FetchReturnsTheExactBody) {
    std::string body = "left over from an earlier call";
    std::string reason;
    ASSERT_TRUE(fetchToMemory(scriptServerUrl("bytes/100000"), body, reason)) << reason;
    EXPECT_EQ(body, patternBytes(100000));
}

// A server that never stops sending cannot fill the memory: the body is held
// up to its limit and no further.
TEST(HttpClient, FetchStopsAtTheMemoryLimit) {
    std::string body;
    std::string reason;
    EXPECT_FALSE(fetchToMemory(scriptServerUrl("piece/65536/endless"), body, reason));
    EXPECT_EQ(reason, "response too large");
    EXPECT_LE(body.size(), kMemoryBodyLimit);

    serveFile("at-the-limit.bin", std::string(kMemoryBodyLimit, 'm'));
    EXPECT_TRUE(fetchToMemory(scriptServerUrl("file/at-the-limit.bin"), body, reason)) << reason;
    EXPECT_EQ(body.size(), kMemoryBodyLimit);
    serveFile("over-the-limit.bin", std::string(kMemoryBodyLimit + 1, 'm'));
    EXPECT_FALSE(fetchToMemory(scriptServerUrl("file/over-the-limit.bin"), body, reason));
    EXPECT_EQ(reason, "response too large");
    serveFile("at-the-limit.bin", "");
    serveFile("over-the-limit.bin", "");
}

// Calls on their own open and close their own session and keep nothing; calls
// on a session share its connection, until a response without a length (or
// any failure) makes the session start afresh.
TEST(HttpClient, ASessionKeepsItsConnectionACallWithoutOneDoesNot) {
    std::string body;
    std::string reason;
    size_t before = scriptServerConnections().size();
    ASSERT_TRUE(fetchToMemory(scriptServerUrl("text/alone-one"), body, reason)) << reason;
    ASSERT_TRUE(fetchToMemory(scriptServerUrl("text/alone-two"), body, reason)) << reason;
    EXPECT_EQ(connectionsOf(before, {"/text/alone-one", "/text/alone-two"}).size(), 2u);

    HttpSession session;
    before = scriptServerConnections().size();
    TempFolder folder;
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(fetchToMemory(scriptServerUrl("text/kept"), body, reason, &session)) << reason;
        ASSERT_TRUE(downloadToFile(scriptServerUrl("piece/3000/bytes/3000"), folder.file(L"kept.part"), nullptr,
                                   reason, &session))
            << reason;
    }
    EXPECT_EQ(connectionsOf(before, {"/text/kept", "/piece/3000/bytes/3000"}).size(), 1u);

    EXPECT_TRUE(session.handle);

    // No length, a body that ends before its length, a failure: the session
    // is closed after it, and the next call opens a fresh one. (On Windows its
    // connections go with it; Wine's WinHTTP keeps a pool of its own past the
    // session, which these calls cannot see.)
    for (const char* route : {"chunked/bytes/500", "close-delimited/bytes/500", "length/900/bytes/500",
                              "status/404", "cut/100/bytes/500"}) {
        SCOPED_TRACE(route);
        ASSERT_TRUE(session.open(reason));
        downloadToFile(scriptServerUrl(route), folder.file(L"end.part"), nullptr, reason, &session);
        EXPECT_FALSE(session.handle) << "the session was kept";
        ASSERT_TRUE(fetchToMemory(scriptServerUrl("text/after"), body, reason, &session)) << reason;
        EXPECT_EQ(body, "after");
        EXPECT_TRUE(session.handle);
    }
}

TEST(HttpClient, DownloadWritesTheBodyAndReportsEveryChunk) {
    TempFolder folder;
    std::wstring target = folder.file(L"data.part");
    // A longer earlier file must not leave its tail behind.
    ASSERT_TRUE(writeWholeFile(target, std::string(300000, 'x')));

    Calls calls;
    std::string reason;
    ASSERT_TRUE(downloadToFile(scriptServerUrl("piece/1000/slow/1/bytes/250000"), target, recordInto(calls), reason))
        << reason;
    EXPECT_EQ(readWholeFile(target), patternBytes(250000));
    expectProgressUpTo(calls, 250000, 250000);
    EXPECT_GT(calls.size(), 1u);
}

TEST(HttpClient, StatusOutsideTwoHundredsFailsWithItsNumber) {
    TempFolder folder;
    for (int status : {404, 500, 300}) {
        std::string route = "status/" + std::to_string(status);
        std::string expected = "HTTP status " + std::to_string(status);
        std::string body;
        std::string reason;
        EXPECT_FALSE(fetchToMemory(scriptServerUrl(route), body, reason));
        EXPECT_EQ(reason, expected);

        std::wstring target = folder.file(L"status" + std::to_wstring(status) + L".part");
        Calls calls;
        reason.clear();
        EXPECT_FALSE(downloadToFile(scriptServerUrl(route + "/bytes/5000"), target, recordInto(calls), reason));
        EXPECT_EQ(reason, expected);
        EXPECT_FALSE(fileExists(target)) << "a failed request created the target file";
        EXPECT_TRUE(calls.empty());
    }
    std::string body;
    std::string reason;
    EXPECT_TRUE(fetchToMemory(scriptServerUrl("status/299/bytes/10"), body, reason)) << reason;
    EXPECT_EQ(body, patternBytes(10));
}

TEST(HttpClient, NoContentGivesAnEmptyBodyAndAnEmptyFile) {
    std::string body = "stale";
    std::string reason;
    ASSERT_TRUE(fetchToMemory(scriptServerUrl("status/204"), body, reason)) << reason;
    EXPECT_TRUE(body.empty());

    TempFolder folder;
    std::wstring target = folder.file(L"empty.part");
    Calls calls;
    ASSERT_TRUE(downloadToFile(scriptServerUrl("status/204"), target, recordInto(calls), reason)) << reason;
    EXPECT_TRUE(fileExists(target));
    EXPECT_EQ(getFileStamp(target).size, 0u);
    EXPECT_TRUE(calls.empty());
}

TEST(HttpClient, UnknownLengthIsReportedAsZero) {
    for (const char* route : {"chunked/piece/3000/bytes/40000", "close-delimited/piece/3000/bytes/40000"}) {
        SCOPED_TRACE(route);
        TempFolder folder;
        std::wstring target = folder.file(L"unknown.part");
        Calls calls;
        std::string reason;
        ASSERT_TRUE(downloadToFile(scriptServerUrl(route), target, recordInto(calls), reason)) << reason;
        EXPECT_EQ(readWholeFile(target), patternBytes(40000));
        expectProgressUpTo(calls, 40000, 0);

        std::string body;
        ASSERT_TRUE(fetchToMemory(scriptServerUrl(route), body, reason)) << reason;
        EXPECT_EQ(body, patternBytes(40000));
    }
}

TEST(HttpClient, EmptyCallbackDownloadsTheSame) {
    TempFolder folder;
    std::wstring target = folder.file(L"quiet.part");
    std::string reason;
    ASSERT_TRUE(downloadToFile(scriptServerUrl("piece/512/bytes/20000"), target, ProgressCallback(), reason))
        << reason;
    EXPECT_EQ(readWholeFile(target), patternBytes(20000));
}

TEST(HttpClient, UnusableUrlsAreBadUrls) {
    std::wstring port = std::to_wstring(scriptServerPort());
    std::wstring longHost = L"http://" + std::wstring(300, L'a') + L".test/x";
    TempFolder folder;
    for (const std::wstring& url : {L"127.0.0.1:" + port + L"/bytes/10", std::wstring(), std::wstring(L"just words"),
                                    L"ftp://127.0.0.1:" + port + L"/bytes/10", longHost}) {
        SCOPED_TRACE(wideToUtf8(url));
        std::string body;
        std::string reason;
        EXPECT_FALSE(fetchToMemory(url, body, reason));
        EXPECT_EQ(reason, "bad url");

        std::wstring target = folder.file(L"bad.part");
        reason.clear();
        EXPECT_FALSE(downloadToFile(url, target, ProgressCallback(), reason));
        EXPECT_EQ(reason, "bad url");
        EXPECT_FALSE(fileExists(target));
    }
}

// A port that is bound but not listening refuses connections for as long as
// the socket is held, so no other program can take it meanwhile.
class RefusingPort {
public:
    RefusingPort() {
        WSADATA data;
        started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
        sock = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        int size = sizeof(address);
        if (sock != INVALID_SOCKET && bind(sock, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
            getsockname(sock, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
            port = ntohs(address.sin_port);
        }
    }
    ~RefusingPort() {
        if (sock != INVALID_SOCKET) {
            closesocket(sock);
        }
        if (started) {
            WSACleanup();
        }
    }
    int port = 0;

private:
    bool started = false;
    SOCKET sock = INVALID_SOCKET;
};

TEST(HttpClient, UnreachableServerFailsToSend) {
    RefusingPort closed;
    ASSERT_NE(closed.port, 0);
    std::wstring url = L"http://127.0.0.1:" + std::to_wstring(closed.port) + L"/manifest.json";
    std::string body;
    std::string reason;
    EXPECT_FALSE(fetchToMemory(url, body, reason));
    EXPECT_EQ(reason, "WinHttpSendRequest failed");

    TempFolder folder;
    std::wstring target = folder.file(L"never.part");
    reason.clear();
    EXPECT_FALSE(downloadToFile(url, target, ProgressCallback(), reason));
    EXPECT_EQ(reason, "WinHttpSendRequest failed");
    EXPECT_FALSE(fileExists(target));
}

// An https address must never be fetched in plain text: against a plain HTTP
// server the TLS handshake fails.
TEST(HttpClient, HttpsIsNeverSentInPlain) {
    std::wstring url = scriptServerUrl("bytes/10");
    url.replace(0, 4, L"https");
    std::string body;
    std::string reason;
    EXPECT_FALSE(fetchToMemory(url, body, reason));
    EXPECT_EQ(reason, "WinHttpSendRequest failed");
}

// The client does not compare the body with Content-Length; the caller's hash
// check catches a short file. (WinHTTP under Wine reports a clean close after
// 3000 of 10000 announced bytes as a complete body.) What must hold either
// way: the file keeps exactly the bytes that arrived, and a failure names the
// step that saw the connection go.
TEST(HttpClient, CutConnectionLeavesExactlyTheBytesThatArrived) {
    struct Case {
        const char* route;
        size_t atLeast;  // what a clean close cannot lose
    };
    for (const Case& c : {Case{"piece/1000/cut/3000/bytes/10000", 3000},
                          Case{"chunked/piece/1000/cut/3500/bytes/10000", 3000},
                          Case{"slow/20/piece/1000/reset/3000/bytes/10000", 0}}) {
        SCOPED_TRACE(c.route);
        TempFolder folder;
        std::wstring target = folder.file(L"cut.part");
        Calls calls;
        std::string reason;
        bool finished = downloadToFile(scriptServerUrl(c.route), target, recordInto(calls), reason);
        std::string written = readWholeFile(target);
        uint64_t reported = calls.empty() ? 0 : calls.back().first;

        EXPECT_EQ(written.size(), reported);
        EXPECT_GE(written.size(), c.atLeast);
        EXPECT_LT(written.size(), 10000u);
        EXPECT_EQ(written, patternBytes(10000).substr(0, written.size()));
        if (finished) {
            EXPECT_TRUE(reason.empty()) << reason;
        } else if (reason == "WinHttpReceiveResponse failed") {
            // A reset can overtake the headers; then no file is made.
            EXPECT_EQ(c.atLeast, 0u);
            EXPECT_FALSE(fileExists(target));
        } else {
            EXPECT_TRUE(reason == "read failed" || reason == "query data failed") << reason;
        }
    }
}

TEST(HttpClient, SendsTheUserAgentAndTheQueryButNoFragment) {
    std::string body;
    std::string reason;
    ASSERT_TRUE(fetchToMemory(scriptServerUrl("echo?token=a%20b&n=2#part"), body, reason)) << reason;
    EXPECT_EQ(body.rfind("GET /echo?token=a%20b&n=2 HTTP/1.1\r\n", 0), 0u) << body;
    EXPECT_NE(body.find("User-Agent: brindle-updater/1.0\r\n"), std::string::npos) << body;
}

TEST(HttpClient, UnwritableTargetIsReported) {
    TempFolder folder;
    std::string reason;
    EXPECT_FALSE(
        downloadToFile(scriptServerUrl("bytes/100"), folder.file(L"missing\\folder.part"), ProgressCallback(), reason));
    EXPECT_EQ(reason, "cannot create temp file");

    std::wstring locked = folder.file(L"locked.part");
    UniqueHandle holder(CreateFileW(locked.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                    nullptr));
    ASSERT_TRUE(holder);
    reason.clear();
    EXPECT_FALSE(downloadToFile(scriptServerUrl("bytes/100"), locked, ProgressCallback(), reason));
    EXPECT_EQ(reason, "cannot create temp file");
}

// What the update does with each file: download it, then check its hash.
TEST(HttpClient, ServedFileArrivesWithItsHash) {
    serveFile("served-known.bin", patternBytes(150000));
    TempFolder folder;
    std::wstring target = folder.file(L"known.part");
    std::string reason;
    ASSERT_TRUE(downloadToFile(scriptServerUrl("file/served-known.bin"), target, ProgressCallback(), reason))
        << reason;
    EXPECT_EQ(sha256OfFile(target), "6b27d6fdab9951dddfdfdcdd22f837540668c1702f19d88259c9553db2439cd3");

    std::vector<std::string> seen = scriptServerRequests();
    EXPECT_NE(std::find(seen.begin(), seen.end(), "GET /file/served-known.bin"), seen.end());
}

}  // namespace
}  // namespace br
