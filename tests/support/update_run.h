#pragma once
// A whole update run on its own thread, against the loopback test server
// (which serves the built-in manifest address) and a real install folder:
// the fixture that the worker and fault tests build on.

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <mutex>
#include <set>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "install/download_folder.h"
#include "install/install_paths.h"
#include "install/run_folder.h"
#include "install/settings.h"
#include "support/files.h"
#include "support/registry.h"
#include "support/script_server.h"
#include "update/file_state.h"
#include "update/retries.h"
#include "tools/publish/signing.h"
#include "update/signature.h"
#include "update/status.h"
#include "update/worker.h"

namespace br {
namespace test {

struct ReleaseFile {
    std::string path;     // as the manifest spells it
    std::string content;  // what the server holds
    std::string route;    // where the server serves it; a plain file when empty
    std::string sha256;   // the manifest's hash; that of content when empty
    std::string url;      // a whole address elsewhere instead of the route; content is then only hashed
};

inline std::string sha256Of(const std::string& content) {
    TempFolder scratch;
    std::wstring file = scratch.file(L"hash-me");
    EXPECT_TRUE(writeWholeFile(file, content));
    return sha256OfFile(file);
}

inline uint64_t lastWriteTimeOf(const std::wstring& path) {
    return getFileStamp(path).lastWriteTime;
}

inline void setLastWriteTime(const std::wstring& path, uint64_t time) {
    UniqueHandle file(CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file);
    FILETIME stamp{static_cast<DWORD>(time & 0xFFFFFFFFu), static_cast<DWORD>(time >> 32)};
    ASSERT_TRUE(SetFileTime(file.get(), nullptr, nullptr, &stamp));
}

// Every distinct snapshot the interface could have seen while the run went on.
struct RunRecord {
    std::vector<StatusSnapshot> seen;
    StatusSnapshot last;

    std::vector<std::string> phases() const {
        std::vector<std::string> order;
        for (const StatusSnapshot& snap : seen) {
            // Empty only before the worker has written anything.
            if (!snap.phase.empty() && (order.empty() || order.back() != snap.phase)) {
                order.push_back(snap.phase);
            }
        }
        return order;
    }
};

inline bool sameSnapshot(const StatusSnapshot& a, const StatusSnapshot& b) {
    return a.phase == b.phase && a.detail == b.detail && a.bytesDone == b.bytesDone && a.bytesTotal == b.bytesTotal &&
           a.filesDone == b.filesDone && a.filesTotal == b.filesTotal && a.finished == b.finished &&
           a.error == b.error;
}

// The waits a run asked for before its retries, which the fixture's runs
// do not sleep.
inline std::vector<uint32_t>& recordedPauses() {
    static std::vector<uint32_t> pauses;
    return pauses;
}

// Lanes of a download step record theirs side by side.
inline void recordPause(uint32_t milliseconds, StopSignal*) {
    static std::mutex lock;
    std::lock_guard<std::mutex> hold(lock);
    recordedPauses().push_back(milliseconds);
}

class UpdateRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!BRINDLE_MANIFEST_ON_SCRIPT_SERVER) {
            GTEST_SKIP() << "the built-in manifest address is not the loopback test server";
        }
        retryPause = recordPause;
        recordedPauses().clear();
        setInstallFolder(install.path());
        setShortcutWanted(false);
        DeleteFileW(serverFile("offline").c_str());
    }

    void TearDown() override {
        DeleteFileW(serverFile("offline").c_str());
        DeleteFileW(serverFile("root/manifest.json").c_str());
        DeleteFileW(serverFile("root/manifest.json.route").c_str());
        DeleteFileW(serverFile("root/manifest.json.sig").c_str());
        clearSettingsKey();
        clearUninstallKey();
    }

    std::wstring serverFile(const std::string& name) { return utf8ToWide(scriptServerDir() + "/" + name); }
    std::wstring installed(const std::wstring& relative) { return install.file(relative); }
    std::string fileUrl(const std::string& served) { return serverBase(scriptServerDir()) + served; }

    // Serves the files and a manifest that lists them, in this order.
    void publish(const std::vector<ReleaseFile>& files, const std::vector<std::string>& deletes = {}) {
        nlohmann::json list = nlohmann::json::array();
        int number = 0;
        for (const ReleaseFile& file : files) {
            std::string route = file.route;
            if (!file.url.empty()) {
                route.clear();
            } else if (route.empty()) {
                route = "file/release-" + std::to_string(number++) + ".bin";
                serveFile(route.substr(5), file.content);
            }
            if (!route.empty()) {
                publishedPaths.insert("/" + route);
            }
            list.push_back({{"path", file.path},
                            {"sha256", file.sha256.empty() ? sha256Of(file.content) : file.sha256},
                            {"url", file.url.empty() ? fileUrl(route) : file.url},
                            {"size", file.content.size()}});
        }
        nlohmann::json manifest = {{"files", list}, {"deletes", deletes}};
        if (withSequence) {
            manifest["sequence"] = nextSequence++;
        }
        publishManifestText(manifest.dump());
    }

    // In a build that verifies manifests, signed with the tests' key.
    void publishManifestText(const std::string& text) {
        PublicKey key;
        if (builtInManifestKey(key)) {
            serveFile("manifest.json.sig", formatSignatureText(signedWith("manifest.key", text)));
        }
        serveFile("manifest.json", text);
    }

    static Signature signedWith(const std::string& keyName, const std::string& text) {
        Signature signature{};
        std::string reason;
        EXPECT_TRUE(signBytes(readWholeFile(utf8ToWide(std::string(BRINDLE_TEST_KEYS_DIR) + "/" + keyName)), text,
                              signature, reason))
            << reason;
        return signature;
    }

    RunRecord run() {
        Status status;
        std::thread worker([&status] { RunUpdate(status); });
        RunRecord record;
        // Bounded: a run that hangs fails the test instead of the whole suite.
        const ULONGLONG deadline = GetTickCount64() + 120000;
        for (;;) {
            StatusSnapshot snap = snapshotStatus(status);
            if (record.seen.empty() || !sameSnapshot(record.seen.back(), snap)) {
                record.seen.push_back(snap);
            }
            if (snap.finished || GetTickCount64() > deadline) {
                break;
            }
            std::this_thread::yield();
        }
        worker.join();
        record.last = snapshotStatus(status);
        EXPECT_TRUE(record.last.finished) << "the run did not end";
        return record;
    }

    // The connections that this fixture's requests from the index-th on came
    // over: the manifest, its signature and the published files.
    std::set<int> connectionsSince(size_t index) {
        std::set<std::string> paths = publishedPaths;
        paths.insert({"/manifest.json", "/manifest.json.sig"});
        return connectionsOf(index, paths);
    }
    size_t requestCount() { return scriptServerConnections().size(); }

    size_t requestsFor(const std::string& fragment) {
        std::vector<std::string> lines = scriptServerRequests();
        return std::count_if(lines.begin(), lines.end(),
                             [&](const std::string& line) { return line.find(fragment) != std::string::npos; });
    }

    bool anyPartFileFor(const std::vector<ReleaseFile>& files) {
        std::wstring temp = downloadFolder(install.path());
        for (const ReleaseFile& file : files) {
            std::string hash = file.sha256.empty() ? sha256Of(file.content) : file.sha256;
            if (fileExists(temp + utf8ToWide(hash) + L".part")) {
                return true;
            }
        }
        return false;
    }

    std::string stateText() { return readWholeFile(installed(L"brindle.state")); }

    TempFolder install;
    std::set<std::string> publishedPaths;  // "/file/release-0.bin", as the server logs them
    // Each published manifest's "sequence", one higher each time, unless a
    // test says otherwise.
    bool withSequence = true;
    uint64_t nextSequence = 1;
};

}  // namespace test
}  // namespace br
