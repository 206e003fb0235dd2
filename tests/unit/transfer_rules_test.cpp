// When a request is tried again, after how long, and which answer continues a
// part file: the rules on their own.

#include <gtest/gtest.h>

#include "update/transfer_rules.h"

namespace br {
namespace {

TEST(TransferRules, FailuresInARowWaitLongerUpToFiveAttempts) {
    RetryCount count;
    std::vector<uint32_t> waits;
    while (count.allowsAnother(1000)) {
        waits.push_back(retryPauseMilliseconds(count.failed, 0, false));
    }
    EXPECT_EQ(waits, (std::vector<uint32_t>{1000, 2000, 4000, 8000}));

    // A server's Retry-After stands for the doubling, up to a minute.
    EXPECT_EQ(retryPauseMilliseconds(1, 0, true), 0u);
    EXPECT_EQ(retryPauseMilliseconds(3, 7, true), 7000u);
    EXPECT_EQ(retryPauseMilliseconds(1, 3600, true), 60000u);
}

// A line that drops every minute: every attempt that brought 1 MiB starts
// the count again, so the file goes on for as long as the line gives.
TEST(TransferRules, AnAttemptThatBroughtAMebibyteStartsTheCountAgain) {
    RetryCount count;
    for (int drop = 0; drop < 100; ++drop) {
        ASSERT_TRUE(count.allowsAnother(kBytesThatRenewAttempts));
        EXPECT_EQ(retryPauseMilliseconds(count.failed, 0, false), 1000u);
    }
    EXPECT_TRUE(count.allowsAnother(kBytesThatRenewAttempts - 1));
    EXPECT_TRUE(count.allowsAnother(0));
    EXPECT_TRUE(count.allowsAnother(0));
    EXPECT_TRUE(count.allowsAnother(0));
    EXPECT_FALSE(count.allowsAnother(0));
}

TEST(TransferRules, OnlyABusyServersStatusesPass) {
    for (uint32_t status : {408u, 429u, 500u, 502u, 503u, 504u}) {
        EXPECT_TRUE(isTransientStatus(status)) << status;
    }
    for (uint32_t status : {200u, 206u, 301u, 400u, 401u, 403u, 404u, 410u, 416u, 501u, 505u, 0u}) {
        EXPECT_FALSE(isTransientStatus(status)) << status;
    }
}

TEST(TransferRules, RetryAfterIsAPlainNumberOfSeconds) {
    uint32_t seconds = 0;
    EXPECT_TRUE(parseRetryAfterSeconds("120", seconds));
    EXPECT_EQ(seconds, 60u);
    EXPECT_TRUE(parseRetryAfterSeconds("0", seconds));
    EXPECT_EQ(seconds, 0u);
    EXPECT_FALSE(parseRetryAfterSeconds("99999999999999999999", seconds));
    for (const char* text : {"", "Wed, 21 Oct 2015 07:28:00 GMT", "-5", "5 ", "1.5", "5s"}) {
        EXPECT_FALSE(parseRetryAfterSeconds(text, seconds)) << text;
    }
}

TEST(TransferRules, OnlyTheExactRestOfTheFileContinuesIt) {
    EXPECT_TRUE(contentRangeContinues("bytes 100-199/200", 100, 200));
    for (const char* text : {"bytes 0-199/200", "bytes 101-199/200", "bytes 100-198/200", "bytes 100-199/201",
                             "bytes 100-199/*", "bytes */200", "items 100-199/200", "bytes 100-199/200 ", "",
                             "bytes 100-199/99999999999999999999999"}) {
        EXPECT_FALSE(contentRangeContinues(text, 100, 200)) << text;
    }
}

}  // namespace
}  // namespace br
