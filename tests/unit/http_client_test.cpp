// The WinHTTP client against the scripted loopback server: bodies, statuses
// and what kind of failure they are, progress calls, unknown lengths, bad
// URLs, unreachable servers, cut bodies, continued downloads.

// Before anything that brings in windows.h.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "support/http_calls.h"
#include "support/script_server.h"
#include "support/files.h"
#include "update/file_state.h"
#include "update/http_client.h"

namespace br {
namespace {

using namespace test;

using Calls = std::vector<std::pair<uint64_t, uint64_t>>;

ProgressCallback recordInto(Calls& calls) {
    return [&calls](uint64_t received, uint64_t length) { calls.emplace_back(received, length); };
}

// Positions grow with every call and end at the file's size; of them, what
// came over the network ends at arrived.
void expectProgressUpTo(const Calls& calls, uint64_t total, uint64_t arrived) {
    ASSERT_FALSE(calls.empty());
    uint64_t previous = 0;
    for (const auto& [position, fromNetwork] : calls) {
        EXPECT_GT(position, previous);
        EXPECT_LE(fromNetwork, position);
        previous = position;
    }
    EXPECT_EQ(calls.back().first, total);
    EXPECT_EQ(calls.back().second, arrived);
}

TEST(HttpClient, FetchReturnsTheExactBody) {
    Fetched fetched = fetch(scriptServerUrl("bytes/100000"));
    ASSERT_TRUE(fetched.ok) << fetched.failure.reason;
    EXPECT_EQ(fetched.body, patternBytes(100000));
}

// A server that never stops sending cannot fill the memory: the body is held
// up to its limit and no further.
TEST(HttpClient, FetchStopsAtTheMemoryLimit) {
    Fetched endless = fetch(scriptServerUrl("piece/65536/endless"));
    EXPECT_FALSE(endless.ok);
    EXPECT_EQ(endless.failure.reason, "response too large");
    EXPECT_EQ(endless.failure.kind, HttpFailureKind::Final);
    EXPECT_LE(endless.body.size(), kMemoryBodyLimit);

    serveFile("at-the-limit.bin", std::string(kMemoryBodyLimit, 'm'));
    Fetched atTheLimit = fetch(scriptServerUrl("file/at-the-limit.bin"));
    EXPECT_TRUE(atTheLimit.ok) << atTheLimit.failure.reason;
    EXPECT_EQ(atTheLimit.body.size(), kMemoryBodyLimit);
    serveFile("over-the-limit.bin", std::string(kMemoryBodyLimit + 1, 'm'));
    EXPECT_EQ(fetch(scriptServerUrl("file/over-the-limit.bin")).failure.reason, "response too large");
    serveFile("at-the-limit.bin", "");
    serveFile("over-the-limit.bin", "");
}

// Calls on one session share its connection, until a response without a
// length (or any failure) makes the session start afresh.
TEST(HttpClient, ASessionKeepsItsConnectionUntilAResponseLeavesItUnclear) {
    std::string body;
    HttpFailure failure;
    DownloadAttempt attempt;
    HttpSession session;
    size_t before = scriptServerConnections().size();
    TempFolder folder;
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(fetchToMemory(session, scriptServerUrl("text/kept"), body, failure)) << failure.reason;
        DeleteFileW(folder.file(L"kept.part").c_str());
        ASSERT_TRUE(downloadToFile(session, scriptServerUrl("piece/3000/bytes/3000"), folder.file(L"kept.part"),
                                   3000, nullptr, attempt, failure))
            << failure.reason;
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
        std::string reason;
        ASSERT_TRUE(session.open(reason));
        DeleteFileW(folder.file(L"end.part").c_str());
        downloadToFile(session, scriptServerUrl(route), folder.file(L"end.part"), 500, nullptr, attempt, failure);
        EXPECT_FALSE(session.handle) << "the session was kept";
        ASSERT_TRUE(fetchToMemory(session, scriptServerUrl("text/after"), body, failure)) << failure.reason;
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
    Downloaded done = download(scriptServerUrl("piece/1000/slow/1/bytes/250000"), target, 250000, recordInto(calls));
    ASSERT_TRUE(done.ok) << done.failure.reason;
    EXPECT_EQ(readWholeFile(target), patternBytes(250000));
    expectProgressUpTo(calls, 250000, 250000);
    EXPECT_GT(calls.size(), 1u);
    EXPECT_FALSE(done.attempt.resumed);
}

// A busy server's statuses may pass; the others will not. A Retry-After in
// seconds comes with the failure.
TEST(HttpClient, StatusOutsideTwoHundredsFailsWithItsNumberAndItsKind) {
    TempFolder folder;
    struct Case {
        const char* route;
        int status;
        HttpFailureKind kind;
        bool hasRetryAfter;
        uint32_t retryAfter;
    };
    for (const Case& c : {Case{"status/404/", 404, HttpFailureKind::Final, false, 0},
                          Case{"status/300/", 300, HttpFailureKind::Final, false, 0},
                          Case{"status/500/", 500, HttpFailureKind::Transient, false, 0},
                          Case{"retry-after/7/status/503/", 503, HttpFailureKind::Transient, true, 7},
                          Case{"retry-after/7200/status/429/", 429, HttpFailureKind::Transient, true, 60},
                          Case{"status/408/", 408, HttpFailureKind::Transient, false, 0}}) {
        SCOPED_TRACE(c.route);
        const std::string expected = "HTTP status " + std::to_string(c.status);
        Fetched fetched = fetch(scriptServerUrl(c.route));
        EXPECT_FALSE(fetched.ok);
        EXPECT_EQ(fetched.failure.reason, expected);
        EXPECT_EQ(fetched.failure.kind, c.kind);
        EXPECT_EQ(fetched.failure.hasRetryAfter, c.hasRetryAfter);
        EXPECT_EQ(fetched.failure.retryAfterSeconds, c.retryAfter);

        std::wstring target = folder.file(L"status.part");
        Calls calls;
        Downloaded downloaded = download(scriptServerUrl(std::string(c.route) + "bytes/5000"), target, 5000,
                                         recordInto(calls));
        EXPECT_FALSE(downloaded.ok);
        EXPECT_EQ(downloaded.failure.reason, expected);
        EXPECT_EQ(downloaded.failure.kind, c.kind);
        EXPECT_FALSE(fileExists(target)) << "a failed request created the target file";
        EXPECT_TRUE(calls.empty());
    }
    Fetched fetched = fetch(scriptServerUrl("status/299/bytes/10"));
    EXPECT_TRUE(fetched.ok) << fetched.failure.reason;
    EXPECT_EQ(fetched.body, patternBytes(10));
}

TEST(HttpClient, NoContentGivesAnEmptyBodyAndAnEmptyFile) {
    Fetched fetched = fetch(scriptServerUrl("status/204"));
    ASSERT_TRUE(fetched.ok) << fetched.failure.reason;
    EXPECT_TRUE(fetched.body.empty());

    TempFolder folder;
    std::wstring target = folder.file(L"empty.part");
    Calls calls;
    Downloaded done = download(scriptServerUrl("status/204"), target, 0, recordInto(calls));
    ASSERT_TRUE(done.ok) << done.failure.reason;
    EXPECT_TRUE(fileExists(target));
    EXPECT_EQ(getFileStamp(target).size, 0u);
    EXPECT_TRUE(calls.empty());
}

TEST(HttpClient, UnknownLengthsAreReadToTheEnd) {
    for (const char* route : {"chunked/piece/3000/bytes/40000", "close-delimited/piece/3000/bytes/40000"}) {
        SCOPED_TRACE(route);
        TempFolder folder;
        std::wstring target = folder.file(L"unknown.part");
        Calls calls;
        Downloaded done = download(scriptServerUrl(route), target, 40000, recordInto(calls));
        ASSERT_TRUE(done.ok) << done.failure.reason;
        EXPECT_EQ(readWholeFile(target), patternBytes(40000));
        expectProgressUpTo(calls, 40000, 40000);

        Fetched fetched = fetch(scriptServerUrl(route));
        ASSERT_TRUE(fetched.ok) << fetched.failure.reason;
        EXPECT_EQ(fetched.body, patternBytes(40000));
    }
}

// Whatever the framing, no byte past the size the caller was promised is
// written, and such a body fails for good.
TEST(HttpClient, ABodyLongerThanPromisedIsReadNoFurther) {
    for (const char* route : {"bytes/40000", "chunked/piece/3000/bytes/40000", "close-delimited/bytes/40000",
                              "length/40000/bytes/40000", "piece/4096/endless"}) {
        SCOPED_TRACE(route);
        TempFolder folder;
        std::wstring target = folder.file(L"long.part");
        Calls calls;
        Downloaded done = download(scriptServerUrl(route), target, 30000, recordInto(calls));
        EXPECT_FALSE(done.ok);
        EXPECT_EQ(done.failure.reason, "response too large");
        EXPECT_EQ(done.failure.kind, HttpFailureKind::Final);
        EXPECT_LE(getFileStamp(target).size, 30000u);
        EXPECT_LE(done.attempt.received, 30000u);
    }
}

TEST(HttpClient, UnusableUrlsAreBadUrls) {
    std::wstring port = std::to_wstring(scriptServerPort());
    std::wstring longHost = L"http://" + std::wstring(300, L'a') + L".test/x";
    TempFolder folder;
    for (const std::wstring& url : {L"127.0.0.1:" + port + L"/bytes/10", std::wstring(), std::wstring(L"just words"),
                                    L"ftp://127.0.0.1:" + port + L"/bytes/10", longHost}) {
        SCOPED_TRACE(wideToUtf8(url));
        Fetched fetched = fetch(url);
        EXPECT_FALSE(fetched.ok);
        EXPECT_EQ(fetched.failure.reason, "bad url");
        EXPECT_EQ(fetched.failure.kind, HttpFailureKind::Final);

        std::wstring target = folder.file(L"bad.part");
        EXPECT_EQ(download(url, target, 10).failure.reason, "bad url");
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

// A server out of reach may be back at the next attempt.
TEST(HttpClient, UnreachableServerFailsToSendForNow) {
    RefusingPort closed;
    ASSERT_NE(closed.port, 0);
    std::wstring url = L"http://127.0.0.1:" + std::to_wstring(closed.port) + L"/manifest.json";
    Fetched fetched = fetch(url);
    EXPECT_FALSE(fetched.ok);
    EXPECT_EQ(fetched.failure.reason, "WinHttpSendRequest failed");
    EXPECT_EQ(fetched.failure.kind, HttpFailureKind::Transient);

    TempFolder folder;
    std::wstring target = folder.file(L"never.part");
    Downloaded downloaded = download(url, target, 10);
    EXPECT_EQ(downloaded.failure.reason, "WinHttpSendRequest failed");
    EXPECT_EQ(downloaded.failure.kind, HttpFailureKind::Transient);
    EXPECT_FALSE(fileExists(target));
}

// An https address must never be fetched in plain text: against a plain HTTP
// server the TLS handshake fails.
TEST(HttpClient, HttpsIsNeverSentInPlain) {
    std::wstring url = scriptServerUrl("bytes/10");
    url.replace(0, 4, L"https");
    EXPECT_EQ(fetch(url).failure.reason, "WinHttpSendRequest failed");
}

// A body that ends early, however the line ends it, fails for now and leaves
// exactly the bytes that arrived: the beginning that the next attempt
// continues. (WinHTTP under Wine reports a clean close after 3000 of 10000
// announced bytes as a complete body; the size the caller knows tells.)
TEST(HttpClient, CutConnectionLeavesExactlyTheBytesThatArrived) {
    struct Case {
        const char* route;
        size_t atLeast;  // what a clean close cannot lose
    };
    for (const Case& c : {Case{"piece/1000/cut/3000/bytes/10000", 3000},
                          Case{"chunked/piece/1000/cut/3500/bytes/10000", 3000},
                          Case{"close-delimited/piece/1000/cut/3000/bytes/10000", 3000},
                          Case{"slow/20/piece/1000/reset/3000/bytes/10000", 0}}) {
        SCOPED_TRACE(c.route);
        TempFolder folder;
        std::wstring target = folder.file(L"cut.part");
        Calls calls;
        Downloaded done = download(scriptServerUrl(c.route), target, 10000, recordInto(calls));
        std::string written = readWholeFile(target);
        uint64_t reported = calls.empty() ? 0 : calls.back().first;

        EXPECT_FALSE(done.ok);
        EXPECT_EQ(done.failure.kind, HttpFailureKind::Transient);
        EXPECT_EQ(written.size(), reported);
        EXPECT_EQ(done.attempt.received, reported);
        EXPECT_GE(written.size(), c.atLeast);
        EXPECT_LT(written.size(), 10000u);
        EXPECT_EQ(written, patternBytes(10000).substr(0, written.size()));
        if (done.failure.reason == "WinHttpReceiveResponse failed") {
            // A reset can overtake the headers; then no file is made.
            EXPECT_EQ(c.atLeast, 0u);
            EXPECT_FALSE(fileExists(target));
        } else {
            EXPECT_TRUE(done.failure.reason == "read failed" || done.failure.reason == "query data failed")
                << done.failure.reason;
        }
    }
}

// What a part file holds is continued when the server answers the range
// asked for, and replaced when it answers anything else.
TEST(HttpClient, APartIsContinuedOnlyByTheRangeThatFollowsIt) {
    const std::string whole = patternBytes(50000);
    serveFile("ranged.bin", whole);
    struct Case {
        const char* name;
        std::string held;  // the part before the call
        const char* route;
        bool resumed;
        uint64_t arrives;
    };
    for (const Case& c : {Case{"a beginning", whole.substr(0, 20000), "file/ranged.bin", true, 30000},
                          Case{"a server without ranges", whole.substr(0, 20000), "no-range/file/ranged.bin", false,
                               50000},
                          Case{"a range that starts elsewhere", whole.substr(0, 20000),
                               "range-from/10/file/ranged.bin", false, 50000},
                          Case{"no range that the server has", whole.substr(0, 20000),
                               "range-from/60000/file/ranged.bin", false, 50000},
                          Case{"a part as long as the file", std::string(50000, 'w'), "file/ranged.bin", false, 50000},
                          Case{"a part longer than the file", std::string(60000, 'w'), "file/ranged.bin", false, 50000}}) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        std::wstring target = folder.file(L"ranged.part");
        ASSERT_TRUE(writeWholeFile(target, c.held));
        Calls calls;
        Downloaded done = download(scriptServerUrl(c.route), target, whole.size(), recordInto(calls));
        ASSERT_TRUE(done.ok) << done.failure.reason;
        EXPECT_EQ(readWholeFile(target), whole);
        EXPECT_EQ(done.attempt.resumed, c.resumed);
        EXPECT_EQ(done.attempt.received, c.arrives);
        expectProgressUpTo(calls, whole.size(), c.arrives);
    }
}

TEST(HttpClient, SendsTheUserAgentAndTheQueryButNoFragment) {
    Fetched fetched = fetch(scriptServerUrl("echo?token=a%20b&n=2#part"));
    ASSERT_TRUE(fetched.ok) << fetched.failure.reason;
    EXPECT_EQ(fetched.body.rfind("GET /echo?token=a%20b&n=2 HTTP/1.1\r\n", 0), 0u) << fetched.body;
    EXPECT_NE(fetched.body.find("User-Agent: brindle-updater/1.0\r\n"), std::string::npos) << fetched.body;
}

TEST(HttpClient, UnwritableTargetIsReported) {
    TempFolder folder;
    Downloaded missing = download(scriptServerUrl("bytes/100"), folder.file(L"missing\\folder.part"), 100);
    EXPECT_EQ(missing.failure.reason, "cannot create temp file");
    EXPECT_EQ(missing.failure.kind, HttpFailureKind::Final);

    std::wstring locked = folder.file(L"locked.part");
    UniqueHandle holder(CreateFileW(locked.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                    nullptr));
    ASSERT_TRUE(holder);
    EXPECT_EQ(download(scriptServerUrl("bytes/100"), locked, 100).failure.reason, "cannot create temp file");
}

// What the update does with each file: download it, then check its hash.
TEST(HttpClient, ServedFileArrivesWithItsHash) {
    serveFile("served-known.bin", patternBytes(150000));
    TempFolder folder;
    std::wstring target = folder.file(L"known.part");
    Downloaded done = download(scriptServerUrl("file/served-known.bin"), target, 150000);
    ASSERT_TRUE(done.ok) << done.failure.reason;
    EXPECT_EQ(sha256OfFile(target), "6b27d6fdab9951dddfdfdcdd22f837540668c1702f19d88259c9553db2439cd3");

    std::vector<std::string> seen = scriptServerRequests();
    EXPECT_NE(std::find(seen.begin(), seen.end(), "GET /file/served-known.bin"), seen.end());
}

}  // namespace
}  // namespace br
