// HTTPS through the launcher's client: a server whose certificate the test CA
// signed for 127.0.0.1 is reached; one signed by itself, for another name, or
// expired fails as no connection, and so does a redirect down to plain HTTP.

#include <gtest/gtest.h>

#include <string>

#include "support/files.h"
#include "support/script_server.h"
#include "update/http_client.h"

namespace br {
namespace {

const char* const kBadCertificates[] = {"-self-signed", "-other-name", "-expired"};

TEST(HttpsClient, ATrustedServerIsReadLikeAPlainOne) {
    std::string body;
    std::string reason;
    ASSERT_TRUE(fetchToMemory(tlsServerUrl("", "chunked/bytes/100000"), body, reason)) << reason;
    EXPECT_EQ(body, patternBytes(100000));

    TempFolder folder;
    const std::wstring target = folder.file(L"over-tls.part");
    ASSERT_TRUE(downloadToFile(tlsServerUrl("", "piece/7000/bytes/250000"), target, nullptr, reason)) << reason;
    EXPECT_EQ(readWholeFile(target), patternBytes(250000));
}

TEST(HttpsClient, AnUntrustedCertificateIsNoConnection) {
    for (const char* certificate : kBadCertificates) {
        SCOPED_TRACE(certificate);
        std::string body = "untouched";
        std::string reason;
        EXPECT_FALSE(fetchToMemory(tlsServerUrl(certificate, "text/secret"), body, reason));
        EXPECT_EQ(reason, "WinHttpSendRequest failed");

        TempFolder folder;
        const std::wstring target = folder.file(L"never.part");
        EXPECT_FALSE(downloadToFile(tlsServerUrl(certificate, "bytes/1000"), target, nullptr, reason));
        EXPECT_EQ(reason, "WinHttpSendRequest failed");
        EXPECT_FALSE(fileExists(target)) << "a file was created for an untrusted server";
        // Not one request got through the handshake.
        EXPECT_TRUE(scriptServerRequests(tlsServerDir(certificate)).empty());
    }
}

TEST(HttpsClient, ARedirectToPlainHttpIsNotFollowed) {
    const std::string downgrade = "downgrade/" + std::to_string(scriptServerPort()) + "/";
    TempFolder folder;
    const std::wstring target = folder.file(L"downgraded.part");
    std::string reason;
    EXPECT_FALSE(downloadToFile(tlsServerUrl("", downgrade + "text/downgraded-file"), target, nullptr, reason));
    EXPECT_FALSE(fileExists(target) && !readWholeFile(target).empty());
    std::string body;
    EXPECT_FALSE(fetchToMemory(tlsServerUrl("", downgrade + "text/downgraded-text"), body, reason));
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
