// HTTPS through the launcher's client: a server whose certificate the test CA
// signed for 127.0.0.1 is reached; one signed by itself, for another name, or
// expired fails as no connection, for good, and so does a redirect down to
// plain HTTP.

#include <gtest/gtest.h>

#include <string>

#include "support/files.h"
#include "support/http_calls.h"
#include "support/script_server.h"
#include "update/http_client.h"

namespace br {
namespace {

using namespace test;

const char* const kBadCertificates[] = {"-self-signed", "-other-name", "-expired"};

TEST(HttpsClient, ATrustedServerIsReadLikeAPlainOne) {
    Fetched fetched = fetch(tlsServerUrl("", "chunked/bytes/100000"));
    ASSERT_TRUE(fetched.ok) << fetched.failure.reason;
    EXPECT_EQ(fetched.body, patternBytes(100000));

    TempFolder folder;
    const std::wstring target = folder.file(L"over-tls.part");
    Downloaded done = download(tlsServerUrl("", "piece/7000/bytes/250000"), target, 250000);
    ASSERT_TRUE(done.ok) << done.failure.reason;
    EXPECT_EQ(readWholeFile(target), patternBytes(250000));
}

TEST(HttpsClient, AnUntrustedCertificateIsNoConnection) {
    for (const char* certificate : kBadCertificates) {
        SCOPED_TRACE(certificate);
        Fetched fetched = fetch(tlsServerUrl(certificate, "text/secret"));
        EXPECT_FALSE(fetched.ok);
        EXPECT_EQ(fetched.failure.reason, "WinHttpSendRequest failed");
        EXPECT_EQ(fetched.failure.kind, HttpFailureKind::Final);

        TempFolder folder;
        const std::wstring target = folder.file(L"never.part");
        Downloaded downloaded = download(tlsServerUrl(certificate, "bytes/1000"), target, 1000);
        EXPECT_EQ(downloaded.failure.reason, "WinHttpSendRequest failed");
        EXPECT_FALSE(fileExists(target)) << "a file was created for an untrusted server";
        // Not one request got through the handshake.
        EXPECT_TRUE(scriptServerRequests(tlsServerDir(certificate)).empty());
    }
}

TEST(HttpsClient, ARedirectToPlainHttpIsNotFollowed) {
    const std::string downgrade = "downgrade/" + std::to_string(scriptServerPort()) + "/";
    TempFolder folder;
    const std::wstring target = folder.file(L"downgraded.part");
    Downloaded downloaded = download(tlsServerUrl("", downgrade + "text/downgraded-file"), target, 15);
    EXPECT_FALSE(downloaded.ok);
    EXPECT_EQ(downloaded.failure.kind, HttpFailureKind::Final);
    EXPECT_FALSE(fileExists(target) && !readWholeFile(target).empty());
    EXPECT_FALSE(fetch(tlsServerUrl("", downgrade + "text/downgraded-text")).ok);
    // The plain server also answers the tests beside this one: look for these two.
    for (const std::string& request : scriptServerRequests()) {
        EXPECT_EQ(request.find("/text/downgraded-"), std::string::npos) << "the plain server was asked: " << request;
    }
    // Both were refused at the redirect, not before it.
    size_t redirected = 0;
    for (const std::string& request : scriptServerRequests(tlsServerDir(""))) {
        redirected += request.find("/" + downgrade + "text/downgraded-") != std::string::npos;
    }
    EXPECT_EQ(redirected, 2u) << "the HTTPS server did not answer both requests";
}

}  // namespace
}  // namespace br
