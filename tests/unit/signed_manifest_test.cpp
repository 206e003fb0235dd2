// A build with a key reads a manifest only when the signature beside it is
// the key's: a manifest changed by one byte, a signature of another key, a
// missing or a malformed one end the run before anything is touched. Runs in
// the signed test build (tests/CMakeLists.txt), over HTTPS.

#include <string>

#include <algorithm>
#include <cstring>

#include "install/settings.h"
#include "support/update_run.h"
#include "update/signature.h"

namespace br {
namespace {

using test::ReleaseFile;
using test::RunRecord;

class SignedManifest : public test::UpdateRunTest {
protected:
    void SetUp() override {
        PublicKey key;
        if (!builtInManifestKey(key)) {
            GTEST_SKIP() << "this build reads manifests unsigned";
        }
        UpdateRunTest::SetUp();
        if (IsSkipped()) {
            return;
        }
        publish({{"maps/khu vực.dat", "old map", "", ""}, {"b.txt", "old b", "", ""}});
        ASSERT_TRUE(run().last.succeeded);
        state = stateText();
        // The next release, signed; each test then breaks one thing.
        publish({{"maps/khu vực.dat", "new map", "", ""}, {"c.txt", "c", "", ""}}, {"b.txt"});
        manifest = readWholeFile(serverFile("root/manifest.json"));
        signature = readWholeFile(serverFile("root/manifest.json.sig"));
    }

    void expectRefused(const std::string& what) {
        SCOPED_TRACE(what);
        const size_t files = requestsFor("/file/");
        RunRecord result = run();
        EXPECT_FALSE(result.last.succeeded);
        EXPECT_EQ(result.last.error, "Không xác thực được manifest.");
        EXPECT_EQ(result.phases(), (std::vector<std::string>{"Đang chuẩn bị", "Đang kiểm tra phiên bản"}));
        EXPECT_EQ(requestsFor("/file/"), files) << "a file was requested";
        EXPECT_EQ(readWholeFile(installed(L"maps\\khu vực.dat")), "old map");
        EXPECT_EQ(readWholeFile(installed(L"b.txt")), "old b");
        EXPECT_FALSE(fileExists(installed(L"c.txt")));
        EXPECT_EQ(stateText(), state);
    }

    std::string state;
    std::string manifest;
    std::string signature;
};

// A signed release never gives way to an older one, although that was signed
// too. The highest sequence taken lives in the uninstall entry (HKLM), which
// only administrators write: what a user's program can write (HKCU, a state
// file in a folder it may write) does not lower it.
TEST_F(SignedManifest, AnOlderReleaseIsRefused) {
    const std::vector<ReleaseFile> older = {{"maps/khu vực.dat", "old map", "", ""}, {"b.txt", "old b", "", ""}};
    const std::vector<ReleaseFile> newer = {{"maps/khu vực.dat", "new map", "", ""}, {"c.txt", "c", "", ""}};
    auto stored = [] {
        test::RawValue value = test::readRawValue(HKEY_LOCAL_MACHINE, kUninstallKey, L"ManifestSequence");
        uint64_t number = 0;
        memcpy(&number, value.bytes.data(), std::min<size_t>(value.bytes.size(), sizeof(number)));
        return value.found && value.type == REG_QWORD ? number : 0;
    };
    nextSequence = 200;
    publish(newer, {"b.txt"});
    ASSERT_TRUE(run().last.succeeded);
    EXPECT_EQ(stored(), 200u);
    state = stateText();

    writeSetting(L"ManifestSequence", L"0");
    ASSERT_TRUE(writeWholeFile(installed(L"brindle.state"), state + "0 0 0 sequence\n"));
    state = stateText();
    nextSequence = 100;
    publish(older);
    const size_t files = requestsFor("/file/");
    RunRecord refused = run();
    EXPECT_EQ(refused.last.error, "Không xác thực được manifest.");
    EXPECT_EQ(requestsFor("/file/"), files) << "a file was requested";
    EXPECT_EQ(readWholeFile(installed(L"maps\\khu vực.dat")), "new map");
    EXPECT_FALSE(fileExists(installed(L"b.txt")));
    EXPECT_EQ(stateText(), state);
    EXPECT_EQ(stored(), 200u);

    for (uint64_t taken : {200u, 300u}) {
        nextSequence = taken;
        publish(taken == 200u ? older : newer);
        RunRecord result = run();
        EXPECT_TRUE(result.last.succeeded) << taken << ": " << result.last.error;
        EXPECT_EQ(stored(), taken);
    }
    withSequence = false;
    publish(newer);
    EXPECT_EQ(run().last.error, "Không xác thực được manifest.") << "a manifest without a sequence was taken";
}

// A Release build fetches nothing over plain http, whatever the manifest says.
TEST_F(SignedManifest, APlainHttpFileAddressIsRefused) {
    const std::string plainDir = BRINDLE_TEST_SERVER_ROOT + std::string("/test-server");
    serveFile("plain-c.bin", "c", plainDir);
    const std::string plain = serverBase(plainDir) + "file/plain-c.bin";
    ASSERT_EQ(plain.rfind("http://", 0), 0u);
    publish({{"maps/khu vực.dat", "new map", "", ""}, {"c.txt", "c", "", "", plain}});
    RunRecord result = run();
    EXPECT_EQ(result.last.error, "Lỗi tải (c.txt): bad url");
    EXPECT_FALSE(fileExists(installed(L"c.txt")));
}

TEST_F(SignedManifest, TheKeysSignatureInstallsTheRelease) {
    RunRecord result = run();
    ASSERT_TRUE(result.last.succeeded) << result.last.error;
    EXPECT_EQ(readWholeFile(installed(L"maps\\khu vực.dat")), "new map");
    EXPECT_EQ(readWholeFile(installed(L"c.txt")), "c");
    EXPECT_FALSE(fileExists(installed(L"b.txt")));
}

TEST_F(SignedManifest, AManifestChangedByOneByteIsRefused) {
    // One digit of a hash: still a manifest the launcher would read.
    std::string changed = manifest;
    const size_t digit = changed.find("\"sha256\":\"");
    ASSERT_NE(digit, std::string::npos);
    char& byte = changed[digit + 10];
    byte = byte == '0' ? '1' : '0';
    serveFile("manifest.json", changed);
    expectRefused("one byte changed");

    serveFile("manifest.json", manifest + " ");
    expectRefused("one byte added");
}

TEST_F(SignedManifest, ASignatureOfAnotherKeyIsRefused) {
    serveFile("manifest.json.sig", formatSignatureText(signedWith("other.key", manifest)));
    expectRefused("another key");
}

TEST_F(SignedManifest, AMissingSignatureIsRefused) {
    DeleteFileW(serverFile("root/manifest.json.sig").c_str());
    expectRefused("no signature (404)");
    serveFile("manifest.json.sig.route", "status/503");
    expectRefused("the signature's server fails");
    DeleteFileW(serverFile("root/manifest.json.sig.route").c_str());
}

TEST_F(SignedManifest, AMalformedSignatureIsRefused) {
    const std::string line = signature.substr(0, 88);
    for (const std::string& malformed :
         {std::string("garbage\n"), std::string(), line + "\r\n", line + "\n\n", line + " ", " " + line,
          line.substr(0, 87) + "\n", line.substr(0, 84) + "A===\n", line.substr(0, 85) + "B==\n"}) {
        serveFile("manifest.json.sig", malformed);
        expectRefused("malformed: " + malformed);
    }
    // The signature as written, with or without its line end, is taken.
    serveFile("manifest.json.sig", line);
    EXPECT_TRUE(run().last.succeeded);
}

}  // namespace
}  // namespace br
