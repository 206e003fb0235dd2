// A whole update run on its own thread, against the loopback test server
// (which serves the built-in manifest address) and a real install folder.

#include <set>

#include "common/name_case.h"
#include "install/links.h"
#include "support/update_run.h"
#include "update/signature.h"

namespace br {
namespace {

using namespace test;

class WorkerOnMachine : public test::UpdateRunTest {};

const std::vector<std::string> kFullRun = {"Đang chuẩn bị", "Đang kiểm tra phiên bản", "Đang kiểm tra tệp",
                                           "Đang tải dữ liệu cập nhật", "Hoàn tất"};

bool inOrder(const std::vector<std::string>& seen, const std::vector<std::string>& order) {
    size_t at = 0;
    for (const std::string& phase : seen) {
        auto found = std::find(order.begin() + at, order.end(), phase);
        if (found == order.end()) {
            return false;
        }
        at = found - order.begin();
    }
    return true;
}

TEST_F(WorkerOnMachine, FirstInstallPlacesAndRecordsEveryFileThenASecondRunReadsNothing) {
    std::vector<ReleaseFile> release = {
        {"data/a.bin", patternBytes(300000), "", ""},
        {"Thư mục/tệp có dấu cách.txt", "xin chào", "", ""},
        {"top.txt", "", "", ""},
    };
    publish(release);

    RunRecord first = run();
    EXPECT_TRUE(first.last.succeeded) << first.last.error;
    EXPECT_EQ(first.last.phase, "Hoàn tất");
    EXPECT_TRUE(inOrder(first.phases(), kFullRun)) << ::testing::PrintToString(first.phases());

    StateCache state = readStateFile(install.path());
    ASSERT_EQ(state.size(), release.size());
    for (const ReleaseFile& file : release) {
        std::wstring path = installed(utf8ToWide(file.path));
        for (wchar_t& c : path) {
            if (c == L'/') c = L'\\';
        }
        EXPECT_EQ(readWholeFile(path), file.content) << file.path;
        ASSERT_EQ(state.count(file.path), 1u) << file.path;
        EXPECT_EQ(state[file.path].sha256, sha256Of(file.content));
        EXPECT_EQ(state[file.path].size, file.content.size());
        EXPECT_EQ(state[file.path].lastWriteTime, lastWriteTimeOf(path));
    }
    EXPECT_FALSE(anyPartFileFor(release));

    // Every installed file is held without read sharing: hashing one would fail
    // and force a download that the server would log.
    std::vector<UniqueHandle> held;
    for (const ReleaseFile& file : release) {
        std::wstring path = installed(utf8ToWide(file.path));
        std::replace(path.begin(), path.end(), L'/', L'\\');
        held.emplace_back(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(held.back()) << file.path;
    }
    std::string stateBefore = stateText();
    size_t downloadsBefore = requestsFor("/file/release-");

    RunRecord second = run();
    EXPECT_TRUE(second.last.succeeded) << second.last.error;
    EXPECT_EQ(requestsFor("/file/release-"), downloadsBefore);
    EXPECT_TRUE(inOrder(second.phases(), {"Đang chuẩn bị", "Đang kiểm tra phiên bản", "Đang kiểm tra tệp",
                                          "Đã là bản mới nhất", "Hoàn tất"}))
        << ::testing::PrintToString(second.phases());
    EXPECT_EQ(second.last.bytesTotal, 0u);
    EXPECT_EQ(second.last.filesTotal, 0);
    held.clear();
    EXPECT_EQ(stateText(), stateBefore);
}

TEST_F(WorkerOnMachine, OnlyTheStateFileVouchesAndNeverForTheClientExecutable) {
    std::vector<ReleaseFile> release = {
        {"same-time.txt", "original A", "", ""},
        {"new-time.txt", "original B", "", ""},
        {"bin/x64/RAGEMP_V.EXE", "client binary", "", ""},
    };
    publish(release);
    ASSERT_TRUE(run().last.succeeded);

    // Same size, same time: trusted, left as it is.
    std::wstring sameTime = installed(L"same-time.txt");
    uint64_t kept = lastWriteTimeOf(sameTime);
    ASSERT_TRUE(writeWholeFile(sameTime, "tampered A"));
    setLastWriteTime(sameTime, kept);
    // Same size, new time: hashed, found different, fetched again.
    std::wstring newTime = installed(L"new-time.txt");
    ASSERT_TRUE(writeWholeFile(newTime, "tampered B"));
    setLastWriteTime(newTime, lastWriteTimeOf(newTime) + 36000000000ull);
    // The client executable is hashed on every run, whatever its record says.
    std::wstring client = installed(L"bin\\x64\\RAGEMP_V.EXE");
    uint64_t clientTime = lastWriteTimeOf(client);
    ASSERT_TRUE(writeWholeFile(client, "patched  binary"));
    ASSERT_TRUE(writeWholeFile(client, "client binarz"));
    setLastWriteTime(client, clientTime);

    RunRecord second = run();
    EXPECT_TRUE(second.last.succeeded) << second.last.error;
    EXPECT_EQ(readWholeFile(sameTime), "tampered A");
    EXPECT_EQ(readWholeFile(newTime), "original B");
    EXPECT_EQ(readWholeFile(client), "client binary");
    EXPECT_EQ(second.last.filesTotal, 2);
}

// The start program that the launch runs with administrator rights is hashed
// on every run, in any letter case: a swapped file with the recorded size and
// time is fetched again before it could be started. Elsewhere the name means
// nothing special.
TEST_F(WorkerOnMachine, TheStartProgramIsHashedOnEveryRun) {
    publish({{"Updater.EXE", "the start program", "", ""}, {"tools/updater.exe", "a tool", "", ""}});
    ASSERT_TRUE(run().last.succeeded);
    for (const wchar_t* name : {L"Updater.EXE", L"tools\\updater.exe"}) {
        const std::wstring path = installed(name);
        const uint64_t time = lastWriteTimeOf(path);
        std::string swapped = readWholeFile(path);
        swapped[0] ^= 0x20;
        ASSERT_TRUE(writeWholeFile(path, swapped));
        setLastWriteTime(path, time);
    }
    const size_t before = requestsFor("/file/");
    RunRecord second = run();
    ASSERT_TRUE(second.last.succeeded) << second.last.error;
    EXPECT_EQ(readWholeFile(installed(L"Updater.EXE")), "the start program");
    EXPECT_EQ(readWholeFile(installed(L"tools\\updater.exe")), "A tool") << "the record vouches for other files";
    EXPECT_EQ(requestsFor("/file/") - before, 1u);
}

// Nothing is written or deleted through a link (a junction or symbolic link)
// below the install folder, nor into a download folder that is one. Which
// paths are links comes from the test here; e2e/test_hardening.py shows the
// folder links that Wine can make.
class LinksOnMachine : public test::UpdateRunTest {
protected:
    static std::set<std::wstring>& links() {
        static std::set<std::wstring> marked;
        return marked;
    }
    static unsigned long lookup(const wchar_t* path) {
        unsigned long attributes = GetFileAttributesW(path);
        if (links().count(fileNameKey(std::wstring(path))) != 0) {
            attributes = (attributes == INVALID_FILE_ATTRIBUTES ? FILE_ATTRIBUTE_DIRECTORY : attributes) |
                         FILE_ATTRIBUTE_REPARSE_POINT;
        }
        return attributes;
    }
    void SetUp() override {
        UpdateRunTest::SetUp();
        fileAttributes = lookup;
    }
    void TearDown() override {
        fileAttributes = GetFileAttributesW;
        links().clear();
        UpdateRunTest::TearDown();
    }
    void markLink(const std::wstring& path) { links().insert(fileNameKey(path)); }
};

TEST_F(LinksOnMachine, NothingIsWrittenOrDeletedThroughALink) {
    publish({{"maps/a.dat", "old a", "", ""}, {"b.txt", "old b", "", ""}, {"c.txt", "c", "", ""}});
    ASSERT_TRUE(run().last.succeeded);
    ASSERT_TRUE(writeWholeFile(installed(L"d.txt"), "player's d"));
    const std::vector<ReleaseFile> next = {{"maps/a.dat", "new a", "", ""}, {"b.txt", "new b", "", ""}};

    markLink(installed(L"maps"));
    publish(next, {"d.txt"});
    RunRecord folderLink = run();
    EXPECT_EQ(folderLink.last.error, "Không ghi được tệp: maps/a.dat");
    EXPECT_EQ(readWholeFile(installed(L"maps\\a.dat")), "old a");

    // b.txt came in beside the failing file (or was stopped): a newer one
    // meets the link in any case.
    links().clear();
    markLink(installed(L"b.txt"));
    const std::string bBefore = readWholeFile(installed(L"b.txt"));
    publish({next[0], {"b.txt", "newer b", "", ""}}, {"d.txt"});
    RunRecord fileLink = run();
    EXPECT_EQ(fileLink.last.error, "Không ghi được tệp: b.txt");
    EXPECT_EQ(readWholeFile(installed(L"b.txt")), bBefore);

    // Neither a dropped file nor a listed delete goes through a link.
    links().clear();
    markLink(installed(L"c.txt"));
    markLink(installed(L"d.txt"));
    RunRecord deletes = run();
    EXPECT_TRUE(deletes.last.succeeded) << deletes.last.error;
    EXPECT_EQ(readWholeFile(installed(L"c.txt")), "c");
    EXPECT_EQ(readWholeFile(installed(L"d.txt")), "player's d");
    EXPECT_EQ(readWholeFile(installed(L"maps\\a.dat")), "new a");
}

// The install folder, or a folder above it, that is a link: the run stops
// before it reads or writes anything there.
TEST_F(LinksOnMachine, AnInstallFolderAtOrUnderALinkIsRefused) {
    publish({{"a.txt", "a", "", ""}});
    const std::wstring folder = installed(L"Trò chơi");
    setInstallFolder(folder);
    for (const std::wstring& link : {install.path(), folder}) {
        links().clear();
        markLink(link);
        const size_t before = requestsFor("/manifest.json");
        RunRecord refused = run();
        EXPECT_EQ(refused.last.error, "Không ghi được tệp: " + wideToUtf8(folder));
        EXPECT_EQ(requestsFor("/manifest.json"), before);
        EXPECT_FALSE(fileExists(folder + L"\\brindle.exe"));
        EXPECT_FALSE(isFolder(downloadFolder(folder)));
    }
}

TEST_F(LinksOnMachine, ADownloadFolderThatIsALinkIsNotUsed) {
    std::wstring downloads = prepareTempFolder(install.path());
    ASSERT_FALSE(downloads.empty());
    markLink(downloads.substr(0, downloads.size() - 1));
    EXPECT_EQ(prepareTempFolder(install.path()), L"");
    publish({{"a.txt", "a", "", ""}});
    RunRecord result = run();
    EXPECT_EQ(result.last.error, "Lỗi tải (a.txt): cannot create temp file");
    EXPECT_FALSE(fileExists(installed(L"a.txt")));
}

TEST_F(WorkerOnMachine, FailuresKeepWhatWasInPlaceAndTheNextRunCompletes) {
    std::vector<ReleaseFile> good = {{"first.txt", "first", "", ""}, {"second.txt", "second", "", ""}};
    publish(good);
    ASSERT_TRUE(run().last.succeeded);
    const std::string stateBefore = stateText();

    struct Case {
        const char* name;
        std::function<void()> arrange;
        std::string error;
        std::function<void()> mend;
    };
    UniqueHandle lock;
    std::vector<ReleaseFile> withNew = {{"first.txt", "first v2", "", ""},
                                        {"second.txt", "second v2", "", ""}};
    std::vector<Case> cases = {
        {"server unreachable",
         [&] {
             publish(withNew);
             writeWholeFile(serverFile("offline"), "");
         },
         "Không thể kết nối máy chủ: ", [&] { DeleteFileW(serverFile("offline").c_str()); }},
        {"no manifest", [&] { DeleteFileW(serverFile("root/manifest.json").c_str()); },
         "Không thể kết nối máy chủ: HTTP status 404", [&] { publish(withNew); }},
        {"unreadable manifest", [&] { publishManifestText("<html>portal</html>"); }, "Không đọc được manifest.",
         [&] { publish(withNew); }},
        {"404 on a file",
         [&] { publish({{"first.txt", "first v2", "", ""}, {"second.txt", "second v2", "status/404", ""}}); },
         "Lỗi tải (second.txt): HTTP status 404", [&] { publish(withNew); }},
        {"wrong bytes",
         [&] { publish({{"first.txt", "first v2", "", ""}, {"second.txt", "second v2", "", sha256Of("other")}}); },
         "Lỗi xác minh: second.txt", [&] { publish(withNew); }},
        {"destination locked",
         [&] {
             publish(withNew);
             lock.reset(CreateFileW(installed(L"second.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                                    nullptr));
         },
         "Không ghi được tệp: second.txt", [&] { lock.reset(); }},
    };

    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Back to the installed first release, then break one thing.
        publish(good);
        ASSERT_TRUE(run().last.succeeded);
        const std::string stateOfGood = stateText();
        c.arrange();
        RunRecord failed = run();
        EXPECT_FALSE(failed.last.succeeded);
        if (c.error.back() == ' ') {
            EXPECT_EQ(failed.last.error.rfind(c.error, 0), 0u) << failed.last.error;
            EXPECT_GT(failed.last.error.size(), c.error.size()) << "no reason given";
        } else {
            EXPECT_EQ(failed.last.error, c.error);
        }
        EXPECT_EQ(stateText(), stateOfGood) << "the state file changed";
        EXPECT_TRUE(fileExists(installed(L"first.txt")));
        EXPECT_TRUE(fileExists(installed(L"second.txt")));
        // The failed file leaves no part; the other may keep the beginning
        // that the stop left of it.
        EXPECT_FALSE(anyPartFileFor({withNew[1]}));

        c.mend();
        RunRecord mended = run();
        EXPECT_TRUE(mended.last.succeeded) << mended.last.error;
        EXPECT_EQ(readWholeFile(installed(L"first.txt")), "first v2");
        EXPECT_EQ(readWholeFile(installed(L"second.txt")), "second v2");
    }
    EXPECT_FALSE(stateBefore.empty());
}

TEST_F(WorkerOnMachine, RemovalsStayInsideTheReleaseAndTheFolder) {
    TempFolder outside;
    ASSERT_TRUE(writeWholeFile(outside.file(L"precious.txt"), "keep me"));
    publish({{"keep/a.txt", "a", "", ""},
             {"dropped.txt", "dropped", "", ""},
             {"Data/File.txt", "case", "", ""}});
    ASSERT_TRUE(run().last.succeeded);
    ASSERT_TRUE(writeWholeFile(installed(L"old.txt"), "old"));
    ASSERT_TRUE(writeWholeFile(installed(L"a..b.txt"), "dots"));
    CreateDirectoryW(installed(L"folder").c_str(), nullptr);

    size_t before = requestsFor("/file/");
    publish({{"keep/a.txt", "a", "", ""},
             {"data/file.txt", "case", "", ""},  // only the letter case changed
             {"a..b.txt", "never fetched", "", ""},
             {"/lead/x.txt", "x", "", ""},
             {"\\lead\\y.txt", "y", "", ""}},
            {"old.txt", "a..b.txt", "DATA/FILE.TXT", "folder", "missing.txt",
             "../" + wideToUtf8(outside.path().substr(outside.path().find_last_of(L'\\') + 1)) + "/precious.txt"});
    RunRecord second = run();
    ASSERT_TRUE(second.last.succeeded) << second.last.error;

    EXPECT_FALSE(fileExists(installed(L"dropped.txt")));
    EXPECT_FALSE(fileExists(installed(L"old.txt")));
    EXPECT_EQ(readWholeFile(installed(L"Data\\File.txt")), "case") << "a case-only rename lost the file";
    EXPECT_EQ(readWholeFile(installed(L"a..b.txt")), "dots");
    EXPECT_TRUE(isFolder(installed(L"folder")));
    EXPECT_EQ(readWholeFile(outside.file(L"precious.txt")), "keep me");
    EXPECT_EQ(readWholeFile(installed(L"lead\\x.txt")), "x");
    EXPECT_EQ(readWholeFile(installed(L"lead\\y.txt")), "y");
    // The ".." entry was counted but never fetched: only x and y were downloaded.
    EXPECT_EQ(requestsFor("/file/") - before, 2u);

    StateCache state = readStateFile(install.path());
    EXPECT_EQ(state.count("a..b.txt"), 0u);
    EXPECT_EQ(state.count("data/file.txt"), 1u);
    EXPECT_EQ(state.count("Data/File.txt"), 0u);
}

// Vietnamese letters, like any other, name the same file in either case: a
// rename that only changes their case keeps the file, and a "delete" of the
// old spelling does not remove the new one.
TEST_F(WorkerOnMachine, VietnameseCaseOnlyRenamesKeepTheFile) {
    publish({{"Bản Đồ/Đường Phố.dat", "map", "", ""}, {"Ảnh/ảnh cũ.png", "old picture", "", ""}});
    ASSERT_TRUE(run().last.succeeded);

    publish({{"bản đồ/đường phố.dat", "map", "", ""}, {"ảnh/ẢNH MỚI.png", "new picture", "", ""}},
            {"BẢN ĐỒ/ĐƯỜNG PHỐ.DAT"});
    RunRecord second = run();
    ASSERT_TRUE(second.last.succeeded) << second.last.error;

    EXPECT_EQ(readWholeFile(installed(L"Bản Đồ\\Đường Phố.dat")), "map");
    EXPECT_FALSE(fileExists(installed(L"Ảnh\\ảnh cũ.png"))) << "the dropped file stayed";
    EXPECT_EQ(readWholeFile(installed(L"ảnh\\ẢNH MỚI.png")), "new picture");
    StateCache state = readStateFile(install.path());
    EXPECT_EQ(state.count("bản đồ/đường phố.dat"), 1u);
    EXPECT_EQ(state.count("Bản Đồ/Đường Phố.dat"), 0u);
}

// A manifest whose every path is refused installs nothing, so it is read as
// unreadable: otherwise the removal of dropped files would empty the folder.
TEST_F(WorkerOnMachine, AManifestThatInstallsNothingChangesNothing) {
    publish({{"maps/a.dat", "a", "", ""}, {"b.txt", "b", "", ""}});
    ASSERT_TRUE(run().last.succeeded);
    const std::string state = stateText();

    publish({{"../outside.dat", "x", "", ""}, {"CON", "y", "", ""}, {"a..b", "z", "", ""}}, {"maps/a.dat", "b.txt"});
    const size_t before = requestsFor("/file/");
    RunRecord second = run();
    EXPECT_FALSE(second.last.succeeded);
    EXPECT_EQ(second.last.error, "Không đọc được manifest.");
    EXPECT_EQ(second.phases(), (std::vector<std::string>{"Đang chuẩn bị", "Đang kiểm tra phiên bản"}));
    EXPECT_EQ(readWholeFile(installed(L"maps\\a.dat")), "a");
    EXPECT_EQ(readWholeFile(installed(L"b.txt")), "b");
    EXPECT_EQ(stateText(), state);
    EXPECT_EQ(requestsFor("/file/"), before);
}

// What a hand-over left aside goes at the start of a run, and no release
// writes under that name. This program runs from elsewhere: registration
// copies it into the folder, and the release's launcher then replaces that copy.
TEST_F(WorkerOnMachine, TheLauncherAsideGoesAndTheReleasesLauncherIsInstalled) {
    ASSERT_TRUE(writeWholeFile(installed(L"brindle.exe.old"), "the launcher before"));
    publish({{"brindle.exe", "the next launcher", "", ""}, {"brindle.exe.old", "planted", "", ""},
             {"a.txt", "a", "", ""}});
    RunRecord first = run();
    ASSERT_TRUE(first.last.succeeded) << first.last.error;
    EXPECT_FALSE(fileExists(installed(L"brindle.exe.old")));
    EXPECT_EQ(readWholeFile(installed(L"brindle.exe")), "the next launcher");
    const StateCache state = readStateFile(install.path());
    EXPECT_EQ(state.count("brindle.exe"), 1u);
    EXPECT_EQ(state.count("brindle.exe.old"), 0u);
}

// A manifest address that answers without end fails like any failed fetch,
// with nothing changed.
TEST_F(WorkerOnMachine, AnEndlessManifestFailsTheRun) {
    publish({{"b.txt", "b", "", ""}});
    ASSERT_TRUE(run().last.succeeded);
    const std::string state = stateText();

    serveFile("manifest.json.route", "piece/65536/endless");
    RunRecord second = run();
    DeleteFileW(serverFile("root/manifest.json.route").c_str());
    EXPECT_FALSE(second.last.succeeded);
    EXPECT_EQ(second.last.error, "Không thể kết nối máy chủ: response too large");
    EXPECT_EQ(readWholeFile(installed(L"b.txt")), "b");
    EXPECT_EQ(stateText(), state);
}

// A file on a server whose certificate the system does not trust, or one that
// sends the launcher down to plain HTTP, is not downloaded: the run fails on
// it and keeps the installation as it was.
TEST_F(WorkerOnMachine, AFileBehindAnUntrustedOrDowngradingServerIsNotFetched) {
    publish({{"a.txt", "old a", "", ""}, {"b.txt", "old b", "", ""}});
    ASSERT_TRUE(run().last.succeeded);
    const std::string state = stateText();
    // Where the downgrade would lead: the plain server, which does hold the file.
    const std::string plainDir = BRINDLE_TEST_SERVER_ROOT + std::string("/test-server");
    serveFile("new-b.bin", "new b", plainDir);
    const std::string plain = serverBase(plainDir);
    const std::string downgrade = "downgrade/" + plain.substr(plain.rfind(':') + 1);  // "PORT/"
    struct Case {
        std::string url;
        std::string error;
    };
    const Case cases[] = {
        {wideToUtf8(tlsServerUrl("-self-signed", "bytes/5")), "Lỗi tải (b.txt): WinHttpSendRequest failed"},
        {wideToUtf8(tlsServerUrl("-other-name", "bytes/5")), "Lỗi tải (b.txt): WinHttpSendRequest failed"},
        {wideToUtf8(tlsServerUrl("-expired", "bytes/5")), "Lỗi tải (b.txt): WinHttpSendRequest failed"},
        {wideToUtf8(tlsServerUrl("", downgrade)) + "file/new-b.bin", ""},
    };
    for (const Case& broken : cases) {
        SCOPED_TRACE(broken.url);
        publish({{"a.txt", "old a", "", ""}, {"b.txt", "new b", "", "", broken.url}});
        RunRecord result = run();
        EXPECT_FALSE(result.last.succeeded);
        if (!broken.error.empty()) {
            EXPECT_EQ(result.last.error, broken.error);
        } else {
            EXPECT_EQ(result.last.error.rfind("Lỗi tải (b.txt): ", 0), 0u) << result.last.error;
        }
        EXPECT_EQ(readWholeFile(installed(L"b.txt")), "old b");
        EXPECT_EQ(stateText(), state);
    }
}

// Only a build with a key asks for the signature beside the manifest, and
// only such a build needs the manifest's sequence (and keeps the highest).
TEST_F(WorkerOnMachine, TheSignatureAndTheSequenceCountOnlyInASignedBuild) {
    publish({{"a.txt", "a", "", ""}});
    const size_t before = requestsFor(".sig");
    ASSERT_TRUE(run().last.succeeded);
    PublicKey key;
    const bool signedBuild = builtInManifestKey(key);
    EXPECT_EQ(requestsFor("/manifest.json.sig") - before, signedBuild ? 1u : 0u);
    EXPECT_EQ(readRawValue(HKEY_LOCAL_MACHINE, kUninstallKey, L"ManifestSequence").found, signedBuild);

    withSequence = false;
    publish({{"a.txt", "b", "", ""}});
    RunRecord unsequenced = run();
    EXPECT_EQ(unsequenced.last.succeeded, !signedBuild) << unsequenced.last.error;
    EXPECT_EQ(readWholeFile(installed(L"a.txt")), signedBuild ? "a" : "b");
}

// The files of a run come over at most six connections of their own, one
// per lane, beside the manifest's; the folder and the state come out as a
// sequential run leaves them.
TEST_F(WorkerOnMachine, ManyFilesComeOverAtMostSevenConnections) {
    std::vector<ReleaseFile> release;
    for (int i = 0; i < 40; ++i) {
        release.push_back({"data/tệp " + std::to_string(i) + ".bin", std::string(4000 + i, static_cast<char>('a' + i % 26)),
                           "", ""});
    }
    publish(release);
    const size_t before = requestCount();
    RunRecord result = run();
    ASSERT_TRUE(result.last.succeeded) << result.last.error;
    const size_t connections = connectionsSince(before).size();
    EXPECT_GE(connections, 2u);
    EXPECT_LE(connections, 7u);
    StateCache state = readStateFile(install.path());
    EXPECT_EQ(state.size(), release.size());
    for (const ReleaseFile& file : release) {
        EXPECT_EQ(readWholeFile(installed(utf8ToWide(file.path))), file.content) << file.path;
        EXPECT_EQ(state[file.path].sha256, sha256Of(file.content)) << file.path;
    }
    EXPECT_FALSE(anyPartFileFor(release));
}

// The first file that fails for good stops the step: the files in flight
// stop and keep their parts, no file is started after it, the state stays
// the old one; the next run continues the parts.
TEST_F(WorkerOnMachine, TheFirstFileThatFailsStopsTheOthers) {
    std::vector<ReleaseFile> old = {{"slow.bin", "old slow", "", ""}, {"gone.txt", "old gone", "", ""}};
    for (int i = 0; i < 8; ++i) {
        old.push_back({"later " + std::to_string(i) + ".txt", "old " + std::to_string(i), "", ""});
    }
    publish(old);
    ASSERT_TRUE(run().last.succeeded);
    const std::string oldState = stateText();

    const std::string slow = patternBytes(2u << 20);
    serveFile("stopped.bin", slow);
    std::vector<ReleaseFile> release = old;
    release[0] = {"slow.bin", slow, "slow/20/piece/16384/file/stopped.bin", ""};
    release[1] = {"gone.txt", "new gone", "file/not-there.bin", ""};
    // Slow to begin: still in flight when the 404 comes.
    for (size_t i = 2; i < release.size(); ++i) {
        const std::string name = "later-" + std::to_string(i) + ".bin";
        release[i].content = "new " + release[i].path;
        release[i].route = "slow/400/file/" + name;
        serveFile(name, release[i].content);
    }
    publish(release);
    const size_t before = requestsFor("/file/");
    RunRecord failed = run();
    EXPECT_EQ(failed.last.error, "Lỗi tải (gone.txt): HTTP status 404");
    EXPECT_EQ(stateText(), oldState);
    EXPECT_LT(scriptServerBytesSent("/stopped.bin"), slow.size() / 2) << "the slow file was not stopped";
    EXPECT_TRUE(anyPartFileFor({release[0]})) << "the stopped file's part is gone";
    // Six lanes started six files at most; the last two were never asked for.
    EXPECT_LE(requestsFor("/file/") - before, 6u);
    EXPECT_EQ(readWholeFile(installed(L"later 7.txt")), "old 7");
    for (size_t i = 2; i < release.size(); ++i) {
        const std::string now = readWholeFile(installed(utf8ToWide(release[i].path)));
        EXPECT_TRUE(now == release[i].content || now == old[i].content) << release[i].path;
    }

    for (ReleaseFile& file : release) {
        file.route = file.route.substr(file.route.find("file/"));
    }
    release[1].route = "";
    publish(release);
    ASSERT_TRUE(run().last.succeeded);
    EXPECT_TRUE(readWholeFile(installed(L"slow.bin")) == slow);
    EXPECT_LE(scriptServerBytesSent("/stopped.bin"), slow.size() * 11 / 10) << "the part was not continued";
}

// A body longer than announced, whose extra bytes stay on the line: the run
// fails on it (the attempt that continues the short file is announced longer
// than the rest), its session is closed, and the next run completes. On Windows the closed session takes its connections
// with it; Wine's WinHTTP pools connections past the session, so there the
// next request may still meet the stale bytes, and fails before any answer:
// it is sent again on a fresh connection.
TEST_F(WorkerOnMachine, AFileLongerThanAnnouncedDoesNotSpoilTheNextRun) {
    const std::string whole(200000, 'L');
    serveFile("long.bin", whole);
    publish({{"a.txt", "a", "", ""}, {"long.bin", whole, "length/150000/linger/file/long.bin", ""},
             {"c.txt", "c", "", ""}});
    RunRecord first = run();
    EXPECT_EQ(first.last.error, "Lỗi tải (long.bin): response too large");

    publish({{"a.txt", "a", "", ""}, {"long.bin", whole, "", ""}, {"c.txt", "c", "", ""}});
    RunRecord second = run();
    ASSERT_TRUE(second.last.succeeded) << second.last.error;
    EXPECT_EQ(readWholeFile(installed(L"long.bin")), whole);
    EXPECT_EQ(readWholeFile(installed(L"c.txt")), "c");
}

// A server that ends the kept connection after every file, saying so once
// and silently else, costs a new connection per file, not the run: eight
// files over six lanes, so some lane meets a connection that is silently
// gone. Wine's WinHTTP pools connections across sessions, so there a lane
// may take over the manifest's.
TEST_F(WorkerOnMachine, AServerThatClosesTheKeptConnectionCostsOnlyANewOne) {
    std::vector<ReleaseFile> release;
    for (int i = 0; i < 8; ++i) {
        const std::string name = "closing-" + std::to_string(i) + ".bin";
        serveFile(name, "closing " + std::to_string(i));
        release.push_back({name, "closing " + std::to_string(i), (i == 0 ? "close/file/" : "drop/file/") + name, ""});
    }
    publish(release);
    const size_t before = requestCount();
    RunRecord result = run();
    ASSERT_TRUE(result.last.succeeded) << result.last.error;
    EXPECT_EQ(readWholeFile(installed(L"closing-7.bin")), "closing 7");
    EXPECT_GE(connectionsSince(before).size(), 8u);
    EXPECT_LE(connectionsSince(before).size(), 9u);
}

TEST_F(WorkerOnMachine, AHashThatIsNotHexNeverNamesAFile) {
    std::wstring temp = prepareTempFolder(install.path());
    std::wstring escaped = temp + L"..\\..\\escaped-by-hash.part";
    DeleteFileW(escaped.c_str());
    std::string bad = "..\\..\\escaped-by-hash";
    bad.resize(64, 'a');
    publish({{"victim.txt", "content", "", bad}});
    size_t before = requestsFor("/file/");

    RunRecord result = run();
    EXPECT_FALSE(result.last.succeeded);
    EXPECT_EQ(result.last.error, "Lỗi xác minh: victim.txt");
    EXPECT_EQ(requestsFor("/file/"), before) << "the file was fetched";
    std::string written = bad + ".part";
    EXPECT_FALSE(fileExists(temp + utf8ToWide(written)));
    EXPECT_FALSE(fileExists(installed(L"victim.txt")));
}

TEST_F(WorkerOnMachine, ProgressOnlyGrowsAndEndsAtTheTotal) {
    // More files than lanes, of sizes that make the lanes finish out of order.
    std::vector<ReleaseFile> release;
    uint64_t total = 0;
    for (int i = 0; i < 8; ++i) {
        const std::string name = "p" + std::to_string(i) + ".bin";
        const size_t size = 20000 + (i * 37000) % 70000;
        release.push_back({"f" + std::to_string(i) + ".bin", patternBytes(size), "slow/20/piece/6000/file/" + name, ""});
        serveFile(name, release.back().content);
        total += size;
    }
    publish(release);

    RunRecord record = run();
    ASSERT_TRUE(record.last.succeeded) << record.last.error;
    uint64_t previous = 0;
    int32_t previousFile = 0;
    size_t downloadSamples = 0;
    for (const StatusSnapshot& snap : record.seen) {
        if (snap.phase != "Đang tải dữ liệu cập nhật") {
            continue;
        }
        ++downloadSamples;
        EXPECT_EQ(snap.bytesTotal, total);
        EXPECT_EQ(snap.filesTotal, 8);
        EXPECT_GE(snap.bytesDone, previous);
        EXPECT_GE(snap.filesDone, previousFile);
        EXPECT_LE(snap.bytesDone, total);
        previous = snap.bytesDone;
        previousFile = snap.filesDone;
    }
    EXPECT_GT(downloadSamples, 5u) << "the download step was not observed";
    EXPECT_EQ(record.last.bytesDone, total);
    EXPECT_EQ(record.last.bytesTotal, total);
    EXPECT_EQ(record.last.filesDone, 8);
    EXPECT_EQ(record.last.filesTotal, 8);
    EXPECT_EQ(record.last.detail, "f7.bin");
    EXPECT_GT(record.last.speed, 0.0);
}

}  // namespace
}  // namespace br
