// Update runs against a misbehaving server and a misbehaving disk. Whatever
// goes wrong, a run must keep what was installed: every file that was correct
// before is still correct (or already the new release's), no ".part" file is
// left in the install folder, the state file is the old one or a complete new
// one, the error names the failure, and the next run without the fault brings
// the folder to exactly the release. Hostile paths, foreign letters, long
// paths and huge manifests get the same treatment.

#include <functional>
#include <map>

#include "common/text_encoding.h"
#include "support/update_run.h"
#include "update/http_client.h"

namespace br {
namespace {

using namespace test;

// "/" separated path -> SHA-256 of the file's bytes, so that a difference
// prints as a short line.
using FolderContent = std::map<std::string, std::string>;

// Every file under folder except the launcher copy that registration puts at
// the top, which no release here lists.
void collectFiles(const std::wstring& folder, const std::string& prefix, FolderContent& found) {
    WIN32_FIND_DATAW entry;
    FindHandle search(FindFirstFileW((folder + L"\\*").c_str(), &entry));
    if (!search) {
        return;
    }
    do {
        std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..") {
            continue;
        }
        std::string relative = prefix + wideToUtf8(name);
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            collectFiles(folder + L"\\" + name, relative + "/", found);
        } else if (relative != "brindle.exe") {
            found[relative] = sha256OfFile(folder + L"\\" + name);
        }
    } while (FindNextFileW(search.get(), &entry));
}

FolderContent filesUnder(const std::wstring& folder) {
    FolderContent found;
    collectFiles(folder, "", found);
    return found;
}

// Where a manifest path lands, "/" separated as filesUnder lists it.
std::string folderPathOf(const std::string& manifestPath) {
    std::string path;
    for (char c : manifestPath) {
        c = c == '\\' ? '/' : c;
        if (c != '/' || (!path.empty() && path.back() != '/')) {
            path += c;
        }
    }
    return path;
}

FolderContent contentOf(const std::vector<ReleaseFile>& release) {
    FolderContent content;
    for (const ReleaseFile& file : release) {
        content[folderPathOf(file.path)] = sha256Of(file.content);
    }
    return content;
}

// Sets a variable of this process for one test and puts the old value back.
class EnvironmentOverride {
public:
    EnvironmentOverride(const wchar_t* name, const std::wstring& value) : name(name) {
        std::wstring old(32767, L'\0');
        DWORD length = GetEnvironmentVariableW(name, old.data(), static_cast<DWORD>(old.size()));
        had = length > 0 && length < old.size();
        previous = old.substr(0, had ? length : 0);
        SetEnvironmentVariableW(name, value.c_str());
    }
    ~EnvironmentOverride() { SetEnvironmentVariableW(name, had ? previous.c_str() : nullptr); }
    EnvironmentOverride(const EnvironmentOverride&) = delete;
    EnvironmentOverride& operator=(const EnvironmentOverride&) = delete;

private:
    const wchar_t* name;
    bool had = false;
    std::wstring previous;
};

// The user's temp folder, as GetTempPathW finds it, for one test.
struct TempFolderOverride {
    explicit TempFolderOverride(const std::wstring& folder) : tmp(L"TMP", folder), temp(L"TEMP", folder) {}
    EnvironmentOverride tmp;
    EnvironmentOverride temp;
};

// The current folder, for one test.
class CurrentFolderOverride {
public:
    explicit CurrentFolderOverride(const std::wstring& folder) {
        wchar_t old[MAX_PATH];
        DWORD length = GetCurrentDirectoryW(MAX_PATH, old);
        previous.assign(old, length < MAX_PATH ? length : 0);
        SetCurrentDirectoryW(folder.c_str());
    }
    ~CurrentFolderOverride() { SetCurrentDirectoryW(previous.c_str()); }

private:
    std::wstring previous;
};

std::string reversed(std::string text) {
    std::reverse(text.begin(), text.end());
    return text;
}

// The first release, and the next one, in which data/a.bin is the file the
// faults hit. Downloads go in manifest order, so the map is already replaced
// when a.bin fails, and new/added.txt is not yet there.
const std::vector<ReleaseFile> kFirst = {
    {"Bản đồ/khu vực 1.dat", "map v1", "", ""},
    {"data/a.bin", patternBytes(200000), "", ""},
    {"unchanged.txt", "same in both", "", ""},
    {"old.txt", "dropped by the next release", "", ""},
};
const std::vector<ReleaseFile> kNext = {
    {"Bản đồ/khu vực 1.dat", "map v2", "", ""},
    {"data/a.bin", reversed(patternBytes(200000)), "", ""},
    {"unchanged.txt", "same in both", "", ""},
    {"new/added.txt", "new in v2", "", ""},
};
const std::string kFaulted = "data/a.bin";

struct Fault {
    const char* name;
    std::string prefix;                // route modifiers for data/a.bin of the next release
    std::vector<std::string> errors;   // the run ends with one of these
    std::function<void()> arrange;     // breaks the disk side, if anything
    std::function<void()> mend;        // takes that back
    bool mayComplete = false;          // the bytes that arrive can still be the right ones
    bool completes = false;            // retried and continued, the run ends with the release
};

std::vector<std::string> downloadErrors(const std::vector<std::string>& reasons) {
    std::vector<std::string> texts;
    for (const std::string& reason : reasons) {
        texts.push_back("Lỗi tải (" + kFaulted + "): " + reason);
    }
    return texts;
}

const std::string kVerifyError = "Lỗi xác minh: " + kFaulted;
const std::vector<std::string> kBrokenBody = {"read failed", "query data failed"};

class FaultsOnMachine : public UpdateRunTest {
protected:
    void TearDown() override {
        if (holder) {
            TerminateProcess(holder.get(), 0);
            WaitForSingleObject(holder.get(), 10000);
            holder.reset();
        }
        UpdateRunTest::TearDown();
    }

    // The release served through route prefix (e.g. "cut/5000/") for one of
    // its files; the others are served plainly.
    std::vector<ReleaseFile> served(const std::vector<ReleaseFile>& release, const std::string& faulted = "",
                                    const std::string& prefix = "") {
        std::vector<ReleaseFile> result = release;
        for (size_t i = 0; i < result.size(); ++i) {
            if (result[i].path == faulted) {
                std::string name = "fault-" + std::to_string(i) + ".bin";
                serveFile(name, result[i].content);
                result[i].route = prefix + "file/" + name;
            }
        }
        return result;
    }

    // The folder holds exactly the release, and the state file records
    // exactly it, with the stamps the files have now.
    void expectExactly(const std::vector<ReleaseFile>& release, std::wstring folder = L"") {
        if (folder.empty()) {
            folder = install.path();
        }
        FolderContent found = filesUnder(folder);
        EXPECT_EQ(found.erase("brindle.state"), 1u) << "no state file";
        EXPECT_EQ(found, contentOf(release));
        StateCache state = readStateFile(folder);
        EXPECT_EQ(state.size(), release.size());
        for (const ReleaseFile& file : release) {
            std::wstring path = utf8ToWide(folderPathOf(file.path));
            std::replace(path.begin(), path.end(), L'/', L'\\');
            FileStamp stamp = getFileStamp(folder + L"\\" + path);
            auto record = state.find(file.path);
            ASSERT_NE(record, state.end()) << file.path;
            EXPECT_EQ(record->second.sha256, sha256Of(file.content)) << file.path;
            EXPECT_EQ(record->second.size, stamp.size) << file.path;
            EXPECT_EQ(record->second.lastWriteTime, stamp.lastWriteTime) << file.path;
        }
    }

    // Each file is what it was or, complete, what the new release says; a
    // file that was not there before is a complete file of the new release
    // (or a part of one in the download folder).
    void expectNothingLost(const FolderContent& before, const std::vector<ReleaseFile>& next) {
        FolderContent after = filesUnder(install.path());
        FolderContent wanted = contentOf(next);
        for (const auto& [path, content] : before) {
            auto now = after.find(path);
            ASSERT_NE(now, after.end()) << path << " was lost";
            auto fresh = wanted.find(path);
            EXPECT_TRUE(now->second == content || (fresh != wanted.end() && now->second == fresh->second))
                << path << " was damaged";
        }
        // What the download folder keeps for the next attempt is checked apart.
        const std::string downloads = wideToUtf8(kDownloadFolderName) + "/";
        for (const auto& [path, content] : after) {
            if (before.count(path) == 0 && path.rfind(downloads, 0) != 0) {
                auto fresh = wanted.find(path);
                EXPECT_TRUE(fresh != wanted.end() && fresh->second == content) << path << " appeared";
            }
        }
    }

    std::wstring partOf(const std::string& content) {
        return downloadFolder(install.path()) + utf8ToWide(sha256Of(content)) + L".part";
    }

    void holdOpenInAnotherProcess(const std::wstring& file) {
        std::wstring own = runningExecutablePath();
        std::wstring helper = own.substr(0, own.find_last_of(L'\\')) + L"\\brindle_hold_file.exe";
        std::wstring marker = markers.file(L"held");
        std::wstring commandLine = L"\"" + helper + L"\" \"" + file + L"\" \"" + marker + L"\"";
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION started = {};
        ASSERT_TRUE(CreateProcessW(helper.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                   &startup, &started));
        CloseHandle(started.hThread);
        holder.reset(started.hProcess);
        for (int i = 0; i < 200 && !fileExists(marker); ++i) {
            Sleep(50);
        }
        ASSERT_TRUE(fileExists(marker)) << "the holder did not get the file";
    }

    void releaseHeldFile() {
        TerminateProcess(holder.get(), 0);
        WaitForSingleObject(holder.get(), 10000);
        holder.reset();
    }

    // The first release installed, the fault in place, the next release
    // tried and checked, the fault taken back, and the next release tried again.
    void tryFault(const Fault& fault) {
        SCOPED_TRACE(fault.name);
        publish(kFirst);
        RunRecord first = run();
        ASSERT_TRUE(first.last.succeeded) << first.last.error;
        const std::string stateBefore = stateText();
        if (fault.arrange) {
            fault.arrange();
        }
        const FolderContent before = filesUnder(install.path());

        publish(served(kNext, kFaulted, fault.prefix));
        RunRecord failed = run();
        if (fault.completes || (fault.mayComplete && failed.last.succeeded)) {
            EXPECT_TRUE(failed.last.succeeded) << failed.last.error;
            expectExactly(kNext);
        } else {
            EXPECT_FALSE(failed.last.succeeded);
            EXPECT_NE(std::find(fault.errors.begin(), fault.errors.end(), failed.last.error), fault.errors.end())
                << failed.last.error;
            expectNothingLost(before, kNext);
            EXPECT_EQ(stateText(), stateBefore) << "the state file changed";
            // What stays of the download is a beginning of its file, for the next run to continue.
            const std::string part = readWholeFile(partOf(kNext[1].content));
            EXPECT_EQ(kNext[1].content.compare(0, part.size(), part), 0) << "the temp file holds other bytes";
        }
        if (fault.mend) {
            fault.mend();
        }
        publish(served(kNext));
        RunRecord mended = run();
        EXPECT_TRUE(mended.last.succeeded) << mended.last.error;
        expectExactly(kNext);
    }

    UniqueHandle holder;
    TempFolder markers;
};

// A server that sends more than it announced leaves bytes unread on the
// connection; the next call must not take them for its own response.
TEST(HttpFaults, ALongBodyDoesNotSpoilTheNextCall) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        HttpSession session;
        std::string body;
        HttpFailure failure;
        // What this call returns does not matter here (the hash check judges
        // downloads); only that it leaves nothing behind.
        fetchToMemory(session, scriptServerUrl("length/100/bytes/60000"), body, failure);
        body.clear();
        ASSERT_TRUE(fetchToMemory(session, scriptServerUrl("text/next"), body, failure)) << failure.reason;
        EXPECT_EQ(body, "next");
    }
}

TEST_F(FaultsOnMachine, ServerFaultsKeepTheInstallationAndTheNextRunConverges) {
    // Wine's WinHTTP may take a reset for the end of the body.
    const std::vector<std::string> broken =
        downloadErrors({"read failed", "query data failed", "WinHttpReceiveResponse failed"});
    const std::vector<std::string> tooLarge = downloadErrors({"response too large"});
    // The faulted file is 200000 bytes.
    const std::vector<Fault> faults = {
        // Every answer ends early: each attempt continues where the last one stopped.
        {"connection closed mid-file", "piece/8192/cut/90000/", {}, nullptr, nullptr, false, true},
        {"connection reset mid-file", "slow/5/piece/8192/reset/90000/", broken, nullptr, nullptr, true},
        {"every connection reset before the body", "reset/0/", broken},
        {"500 on a file", "status/500/", downloadErrors({"HTTP status 500"})},
        {"503 after two redirects", "redirect/2/status/503/", downloadErrors({"HTTP status 503"})},
        {"endless redirects", "redirect/40/", downloadErrors({"WinHttpReceiveResponse failed"})},
        // More announced than the manifest promised: not read.
        {"body shorter than announced", "length/250000/", tooLarge},
        // The first attempt ends at the announced length, short of the file;
        // the answer to its continuation announces more than the rest.
        {"body longer than announced", "length/150000/", tooLarge},
        {"one wrong byte", "corrupt/123456/", {kVerifyError}},
    };

    for (const Fault& fault : faults) {
        tryFault(fault);
    }
}

TEST_F(FaultsOnMachine, RedirectsAndATrickleStillDeliverTheRelease) {
    publish(kFirst);
    ASSERT_TRUE(run().last.succeeded);
    const size_t redirectsBefore = requestsFor("/redirect/");
    publish(served(kNext, kFaulted, "redirect/3/slow/10/piece/16384/"));
    RunRecord record = run();
    EXPECT_TRUE(record.last.succeeded) << record.last.error;
    expectExactly(kNext);
    EXPECT_EQ(requestsFor("/redirect/") - redirectsBefore, 3u);
}

TEST_F(FaultsOnMachine, DiskFaultsKeepTheInstallationAndTheNextRunConverges) {
    const std::wstring target = installed(L"data\\a.bin");
    const std::string cannotWrite = "Không ghi được tệp: " + kFaulted;
    const std::vector<Fault> faults = {
        {"destination held open by another process", "", {cannotWrite},
         [&] { holdOpenInAnotherProcess(target); }, [&] { releaseHeldFile(); }},
        // Windows refuses to replace a read-only file; Wine replaces it.
        {"read-only destination", "", {cannotWrite},
         [&] { SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY); },
         [&] { SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL); }, true},
        {"a folder where the file goes", "", {cannotWrite},
         [&] {
             DeleteFileW(target.c_str());
             CreateDirectoryW(target.c_str(), nullptr);
             writeWholeFile(target + L"\\inside.txt", "a player's own file");
         },
         [&] {
             DeleteFileW((target + L"\\inside.txt").c_str());
             RemoveDirectoryW(target.c_str());
         }},
        {"a file where a folder goes", "", {"Không ghi được tệp: new/added.txt"},
         [&] {
             RemoveDirectoryW(installed(L"new").c_str());  // left empty by the last release
             writeWholeFile(installed(L"new"), "a file named like the folder");
         },
         [&] { DeleteFileW(installed(L"new").c_str()); }},
    };

    for (const Fault& fault : faults) {
        tryFault(fault);
    }
}

// The receive time-out is a minute: a server that stops sending for longer
// ends the attempt, and the next one continues the file.
TEST_F(FaultsOnMachine, StalledServerTimesOutAndTheNextAttemptFinishes) {
    // 70 s of silence after 150000 bytes of each answer: the continuation is shorter.
    tryFault({"stalled server", "piece/16384/stall/150000/70000/", {}, nullptr, nullptr, false, true});
    EXPECT_EQ(recordedPauses(), std::vector<uint32_t>{1000});
}

// A line that drops every 4 MiB: one run installs a 64 MiB file, each
// attempt continuing the last, and the server sends little more than the file.
TEST_F(FaultsOnMachine, ALineThatDropsEveryFewMegabytesStillDeliversABigFile) {
    const std::string big = patternBytes(64u << 20);
    serveFile("lossy-64m.bin", big);
    publish({{"big.bin", big, "piece/65536/cut/4194304/file/lossy-64m.bin", ""}});
    RunRecord record = run();
    ASSERT_TRUE(record.last.succeeded) << record.last.error;
    EXPECT_TRUE(readWholeFile(installed(L"big.bin")) == big) << "the installed file differs";
    EXPECT_GE(requestsFor("/lossy-64m.bin"), 16u);
    EXPECT_LE(scriptServerBytesSent("/lossy-64m.bin"), big.size() * 115 / 100);
    uint64_t shown = 0;
    for (const StatusSnapshot& snap : record.seen) {
        EXPECT_GE(snap.bytesDone, shown) << "the bar went back";
        EXPECT_LE(snap.bytesDone, std::max<uint64_t>(snap.bytesTotal, big.size()));
        shown = snap.bytesDone;
    }
    serveFile("lossy-64m.bin", "");
}

// A busy server is asked again, after the wait it names or 1, 2 s; the
// manifest too. A file that is not there fails at once, with one request.
TEST_F(FaultsOnMachine, ABusyServerIsAskedAgainAndAMissingFileIsNot) {
    serveFile("busy-a.bin", "a");
    serveFile("busy-b.bin", "b");
    publish({{"a.txt", "a", "fail/2/503/file/busy-a.bin", ""},
             {"b.txt", "b", "retry-after/3/fail/2/503/file/busy-b.bin", ""}});
    serveFile("manifest.json.route", "fail/2/503/file/manifest.json");
    RunRecord busy = run();
    DeleteFileW(serverFile("root/manifest.json.route").c_str());
    ASSERT_TRUE(busy.last.succeeded) << busy.last.error;
    EXPECT_EQ(readWholeFile(installed(L"b.txt")), "b");
    EXPECT_EQ(requestsFor("/busy-a.bin"), 3u);
    // The manifest's waits, then those of the two files, whose lanes wait side by side.
    std::vector<uint32_t> pauses = recordedPauses();
    ASSERT_EQ(pauses.size(), 6u);
    std::sort(pauses.begin() + 2, pauses.end());
    EXPECT_EQ(pauses, (std::vector<uint32_t>{1000, 2000, 1000, 2000, 3000, 3000}));

    recordedPauses().clear();
    publish({{"gone.txt", "x", "file/never-served.bin", ""}});
    RunRecord missing = run();
    EXPECT_EQ(missing.last.error, "Lỗi tải (gone.txt): HTTP status 404");
    EXPECT_EQ(requestsFor("/never-served.bin"), 1u);
    EXPECT_TRUE(recordedPauses().empty());
}

// What an earlier run left in the download folder: the beginning of a file
// of this release is continued, or fetched whole from a server without
// ranges; a beginning with wrong bytes is fetched once more from its start;
// the parts of no file of the release go.
TEST_F(FaultsOnMachine, PartsThatAnEarlierRunLeftAreContinuedOrCleared) {
    publish(kFirst);
    ASSERT_TRUE(run().last.succeeded);
    const std::string one = patternBytes(300000);
    const std::string two = reversed(one);
    const std::string three(300000, '3');
    serveFile("left-one.bin", one);
    serveFile("left-two.bin", two);
    serveFile("left-three.bin", three);
    const std::wstring downloads = downloadFolder(install.path());
    ASSERT_TRUE(writeWholeFile(partOf(one), one.substr(0, 100000)));
    ASSERT_TRUE(writeWholeFile(partOf(two), two.substr(0, 100000)));
    ASSERT_TRUE(writeWholeFile(partOf(three), std::string(100000, 'w')));
    ASSERT_TRUE(writeWholeFile(downloads + std::wstring(64, L'0') + L".part", "of an older release"));
    ASSERT_TRUE(writeWholeFile(downloads + L"notes.txt", "not ours either"));

    publish({{"one.bin", one, "file/left-one.bin", ""},
             {"two.bin", two, "no-range/file/left-two.bin", ""},
             {"three.bin", three, "file/left-three.bin", ""}});
    RunRecord record = run();
    ASSERT_TRUE(record.last.succeeded) << record.last.error;
    EXPECT_EQ(readWholeFile(installed(L"one.bin")), one);
    EXPECT_EQ(readWholeFile(installed(L"two.bin")), two);
    EXPECT_EQ(readWholeFile(installed(L"three.bin")), three);
    EXPECT_EQ(scriptServerBytesSent("/left-one.bin"), 200000u);
    EXPECT_EQ(scriptServerBytesSent("/left-two.bin"), 300000u);
    EXPECT_EQ(scriptServerBytesSent("/left-three.bin"), 500000u);
    EXPECT_EQ(requestsFor("/left-three.bin"), 2u);
    EXPECT_TRUE(filesUnder(downloads.substr(0, downloads.size() - 1)).empty());
}

// Nothing that a manifest names may create, change or delete anything
// outside the install folder, whatever its spelling.
TEST_F(FaultsOnMachine, ManifestPathsNeverReachOutsideTheFolder) {
    TempFolder outside;
    ASSERT_TRUE(writeWholeFile(outside.file(L"precious.txt"), "keep me"));
    const std::string away = wideToUtf8(outside.path());  // C:\...\brindle-test-...
    std::string awayForward = away;
    std::replace(awayForward.begin(), awayForward.end(), '\\', '/');
    const std::string sibling = "../" + away.substr(away.find_last_of('\\') + 1);

    const std::vector<ReleaseFile> hostile = {
        {sibling + "/climbed.txt", "x", "", ""},
        {awayForward + "/drive.txt", "x", "", ""},
        {away + "\\drive-back.txt", "x", "", ""},
        {"c:drive-relative.txt", "x", "", ""},
        {"kept.txt:stream", "x", "", ""},
        {"CON", "x", "", ""},
        {"nul.txt", "x", "", ""},
        {"aux/inside.txt", "x", "", ""},
        {"Com1.log", "x", "", ""},
        {"trailing. ", "x", "", ""},
        {"./dot.txt", "x", "", ""},
        {std::string("kept.txt\0.bak", 12), "x", "", ""},
        {"line\nbreak.txt", "x", "", ""},
        // The launcher's own names in the folder.
        {"brindle.state", "x", "", ""},
        {"BRINDLE.STATE.new", "x", "", ""},
        {"Brindle_Update", "x", "", ""},
        {"brindle_update/" + std::string(64, 'a') + ".part", "x", "", ""},
    };
    std::vector<ReleaseFile> release = {{"kept.txt", "kept", "", ""}, {"\\\\server\\share\\unc.txt", "unc", "", ""}};
    release.insert(release.end(), hostile.begin(), hostile.end());
    const size_t fetchedBefore = requestsFor("/file/release-");
    publish(release, {sibling + "/precious.txt", awayForward + "/precious.txt", away + "\\precious.txt",
                      "kept.txt:stream", "NUL", "con.txt", "kept.txt. ", "brindle.state", "brindle_update"});

    RunRecord record = run();
    ASSERT_TRUE(record.last.succeeded) << record.last.error;
    // The share path only loses its leading separators and stays inside.
    expectExactly({{"kept.txt", "kept", "", ""}, {"\\\\server\\share\\unc.txt", "unc", "", ""}});
    EXPECT_EQ(requestsFor("/file/release-") - fetchedBefore, 2u) << "a refused entry was fetched";
    EXPECT_EQ(record.last.filesTotal, 2);
    const FolderContent left = filesUnder(outside.path());
    EXPECT_EQ(left, (FolderContent{{"precious.txt", sha256Of("keep me")}}));
}

// Letters outside ASCII and spaces, in the install folder and in the user's
// temp folder, reach every file operation and every error text intact. The
// downloads wait in the install folder's own download folder: nothing of a
// run goes into the user's temp folder, and what an earlier version left
// there goes.
TEST_F(FaultsOnMachine, VietnameseFoldersWithSpacesAndNothingInTheUsersTemp) {
    TempFolder root;
    const std::wstring players = root.file(L"Người chơi");
    const std::wstring game = players + L"\\Trò chơi";
    const std::wstring temp = players + L"\\Thư mục tạm";
    ASSERT_TRUE(CreateDirectoryW(players.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(temp.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((temp + L"\\brindle_update").c_str(), nullptr));
    ASSERT_TRUE(writeWholeFile(temp + L"\\brindle_update\\" + std::wstring(64, L'b') + L".part", "left over"));
    TempFolderOverride userTemp(temp);
    setInstallFolder(game);

    const std::vector<ReleaseFile> release = {{"Bản đồ/khu vực 1.dat", patternBytes(70000), "", ""},
                                              {"Âm thanh/tiếng động ở đây.ogg", "âm thanh", "", ""}};
    publish({{release[0].path, release[0].content, "", ""},
             {release[1].path, release[1].content, "", sha256Of("không phải")}});
    RunRecord failed = run();
    EXPECT_FALSE(failed.last.succeeded);
    EXPECT_EQ(failed.last.error, "Lỗi xác minh: Âm thanh/tiếng động ở đây.ogg");
    // The failed file leaves nothing; the other, stopped in flight, may keep a beginning.
    FolderContent parts = filesUnder(game + L"\\brindle_update");
    const std::string stopped = sha256Of(release[0].content) + ".part";
    if (parts.count(stopped) != 0) {
        const std::string part = readWholeFile(game + L"\\brindle_update\\" + utf8ToWide(stopped));
        EXPECT_EQ(release[0].content.compare(0, part.size(), part), 0) << "the part is no beginning of its file";
        parts.erase(stopped);
    }
    EXPECT_EQ(parts, FolderContent{}) << "a temp file stayed";
    EXPECT_FALSE(isFolder(temp + L"\\brindle_update")) << "the old download folder stayed";

    publish(release);
    RunRecord record = run();
    ASSERT_TRUE(record.last.succeeded) << record.last.error;
    expectExactly(release, game);
    EXPECT_TRUE(isFolder(game + L"\\brindle_update"));
    EXPECT_EQ(filesUnder(temp), FolderContent{});
    EXPECT_EQ(readSetting(L"brindle_path"), game);
}

// The module path goes through a 260-unit buffer; the user's temp folder
// plays no part any more, however long. Paths longer than that are either
// served or refused by the file system, never cut short.
TEST_F(FaultsOnMachine, PathsNearTheLimitFailCleanlyOrWorkWhole) {
    TempFolder root;
    TempFolder current;
    CurrentFolderOverride here(current.path());
    const std::vector<ReleaseFile> release = {{"data/" + std::string(40, 'n') + ".bin", "near the limit", "", ""}};
    publish(release);
    {
        const std::wstring tooLong = root.file(std::wstring(260 - root.path().size(), L't'));
        ASSERT_GE(tooLong.size(), 260u);
        TempFolderOverride userTemp(tooLong);
        RunRecord record = run();
        ASSERT_TRUE(record.last.succeeded) << record.last.error;
        expectExactly(release);
        EXPECT_EQ(filesUnder(current.path()), FolderContent{}) << "downloads went to the current folder";
    }
    {
        // An install folder whose files' and downloads' paths pass 260 units.
        const std::wstring deep = root.file(std::wstring(240 - root.path().size(), L'd'));
        setInstallFolder(deep);
        RunRecord record = run();
        if (record.last.succeeded) {
            expectExactly(release, deep);
        } else {
            EXPECT_TRUE(record.last.error == "Lỗi tải (" + release[0].path + "): cannot create temp file" ||
                        record.last.error == "Không ghi được tệp: " + release[0].path)
                << record.last.error;
        }
        EXPECT_EQ(filesUnder(deep + L"\\brindle_update"), FolderContent{});
        EXPECT_EQ(filesUnder(current.path()), FolderContent{});
        // Nothing landed under a name cut at 259 or 260 units.
        const std::wstring whole = deep + L"\\data\\" + utf8ToWide(std::string(40, 'n')) + L".bin";
        for (size_t cut : {259, 260}) {
            EXPECT_FALSE(fileExists(whole.substr(0, cut))) << cut;
        }
    }
}

// A manifest of tens of megabytes is read like any other; one nested past
// any sense is refused without taking the process down.
TEST_F(FaultsOnMachine, HugeAndDeepManifests) {
    const std::vector<ReleaseFile> release = {{"real.bin", patternBytes(5000), "", ""}};
    serveFile("huge-real.bin", release[0].content);
    std::string text = "{\"padding\": \"" + std::string(8 << 20, 'p') + "\", \"files\": [";
    for (int i = 0; i < 150000; ++i) {
        // Without a URL: dropped by the parser, never looked at.
        text += "{\"path\": \"dropped/" + std::to_string(i) + ".bin\", \"sha256\": \"" + std::string(64, 'a') +
                "\", \"size\": 1},";
    }
    text += "{\"path\": \"real.bin\", \"sha256\": \"" + sha256Of(release[0].content) + "\", \"size\": 5000, " +
            "\"url\": \"" + fileUrl("file/huge-real.bin") + "\"}], \"deletes\": [";
    for (int i = 0; i < 3000; ++i) {
        text += "\"gone/" + std::to_string(i) + ".bin\",";
    }
    text += "\"last.bin\"]}";
    ASSERT_GT(text.size(), 20u << 20);
    publishManifestText(text);
    RunRecord record = run();
    ASSERT_TRUE(record.last.succeeded) << record.last.error;
    expectExactly(release);

    for (const std::string& deep : {std::string(4 << 20, '['), "{\"files\": " + std::string(1 << 20, '[') +
                                                                  std::string(1 << 20, ']') + "}"}) {
        publishManifestText(deep);
        RunRecord refused = run();
        EXPECT_FALSE(refused.last.succeeded);
        EXPECT_EQ(refused.last.error, "Không đọc được manifest.");
        expectExactly(release);
    }
}

}  // namespace
}  // namespace br
