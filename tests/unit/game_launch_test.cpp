// The game launch: how the client's start program is started, and how the
// hidden title watcher is started and retried.

#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

#include "install/game_launch.h"
#include "standins/standin.h"
#include "update/file_state.h"
#include "support/standins.h"

namespace br {
namespace {

// The launch starts "this program --watch-title" as the watcher, which here is
// the test program. Started so, it plays a watcher: it records how it was
// started into the file named by BRINDLE_TEST_WATCHER_RECORD, ends at once
// (a watcher that could not run) for the first BRINDLE_TEST_WATCHER_FAILS
// starts, and otherwise stays up until its test is over. This runs before the
// tests do.
int playWatcherWhenStartedAsOne() {
    if (std::wcsstr(GetCommandLineW(), L"--watch-title") == nullptr) {
        return 0;
    }
    wchar_t record[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"BRINDLE_TEST_WATCHER_RECORD", record, MAX_PATH) == 0) {
        ExitProcess(0);
    }
    standin::recordPath() = record;
    const size_t earlierStarts = standin::readRecord(record).size() / 2;

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    GetStartupInfoW(&startup);
    standin::record(L"start " + std::to_wstring(startup.dwFlags & STARTF_USESHOWWINDOW ? 1 : 0) + L" " +
                    std::to_wstring(startup.wShowWindow));
    standin::record(L"cmdline " + std::wstring(GetCommandLineW()));

    wchar_t fails[16] = {};
    GetEnvironmentVariableW(L"BRINDLE_TEST_WATCHER_FAILS", fails, 16);
    if (earlierStarts < static_cast<size_t>(std::wcstol(fails, nullptr, 10))) {
        ExitProcess(1);
    }
    const std::wstring stopFile = standin::folderOf(record) + L"\\standins.stop";
    for (int waited = 0; waited < 20000 && GetFileAttributesW(stopFile.c_str()) == INVALID_FILE_ATTRIBUTES;
         waited += 20) {
        Sleep(20);
    }
    ExitProcess(0);
}

const int watcherPlayed = playWatcherWhenStartedAsOne();

// Texts sent to the debugger output, caught on their way.
std::vector<std::string> debugTexts;

LONG CALLBACK catchDebugText(EXCEPTION_POINTERS* exception) {
    const EXCEPTION_RECORD* raised = exception->ExceptionRecord;
    if (raised->NumberParameters >= 2 && raised->ExceptionInformation[1] != 0) {
        if (raised->ExceptionCode == DBG_PRINTEXCEPTION_WIDE_C) {
            debugTexts.push_back(wideToUtf8(reinterpret_cast<const wchar_t*>(raised->ExceptionInformation[1])));
        } else if (raised->ExceptionCode == DBG_PRINTEXCEPTION_C) {
            debugTexts.emplace_back(reinterpret_cast<const char*>(raised->ExceptionInformation[1]));
        }
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

class GameLaunch : public testing::Test {
protected:
    GameLaunch() : scratch(utf8ToWide(testing::UnitTest::GetInstance()->current_test_info()->name())) {
        installFolder = scratch.file(L"Game Files");
        CreateDirectoryW(installFolder.c_str(), nullptr);
        watcherRecord = scratch.file(L"watcher.record");
        SetEnvironmentVariableW(L"BRINDLE_TEST_WATCHER_RECORD", watcherRecord.c_str());
        SetEnvironmentVariableW(L"BRINDLE_TEST_WATCHER_FAILS", L"0");
    }
    ~GameLaunch() override {
        setVerifiedStartProgram("");
        SetEnvironmentVariableW(L"BRINDLE_TEST_WATCHER_RECORD", nullptr);
        SetEnvironmentVariableW(L"BRINDLE_TEST_WATCHER_FAILS", nullptr);
    }

    // Runs `step`, catching what it sends to the debugger output (and nothing
    // else: the test framework reports failures there too).
    template <typename Step>
    auto catchingDebugTexts(Step step) {
        debugTexts.clear();
        PVOID catcher = AddVectoredExceptionHandler(1, catchDebugText);
        auto result = step();
        RemoveVectoredExceptionHandler(catcher);
        return result;
    }

    bool launch() {
        return catchingDebugTexts([&] { return launchGameFrom(installFolder); });
    }

    // The watcher's start with one that ends at once on its first
    // `failingStarts` starts; returns how long the start took. A copy that
    // fails ends in a fraction of the wait given here even on a busy machine
    // (under Wine a new process may need more than the real 150 ms to get as
    // far as ending), so what is tested is the retrying, not the machine.
    ULONGLONG timedWatcherStart(const wchar_t* failingStarts, unsigned long livenessWait) {
        SetEnvironmentVariableW(L"BRINDLE_TEST_WATCHER_FAILS", failingStarts);
        const ULONGLONG start = GetTickCount64();
        catchingDebugTexts([&] {
            startTitleWatcher(livenessWait);
            return 0;
        });
        return GetTickCount64() - start;
    }

    // The start program in place, as the run verified it.
    void installClient() {
        ASSERT_TRUE(CopyFileW(standin::builtProgram(L"updater.exe").c_str(), startProgram().c_str(), FALSE));
        setVerifiedStartProgram(sha256OfFile(startProgram()));
    }
    std::wstring startProgram() const { return installFolder + L"\\updater.exe"; }
    std::vector<std::string> watcherStarts() const {
        std::vector<std::string> starts;
        for (const std::string& line : standin::readRecord(watcherRecord)) {
            if (line.rfind("start ", 0) == 0) {
                starts.push_back(line);
            }
        }
        return starts;
    }

    standin::ScratchFolder scratch;
    std::wstring installFolder;
    std::wstring watcherRecord;
};

const char watcherFailureText[] = "BRINDLE: failed to start title watcher.\n";

TEST_F(GameLaunch, StartsTheClientFromTheInstallFolderThenTheWatcherHidden) {
    installClient();
    ASSERT_NE(installFolder.find(L"Game Files"), std::wstring::npos);
    // What an unquoted path with spaces would start instead.
    ASSERT_TRUE(CopyFileW(standin::builtProgram(L"updater.exe").c_str(), scratch.file(L"Game.exe").c_str(), FALSE));

    EXPECT_TRUE(launch());

    const std::wstring clientRecord = installFolder + L"\\updater.record";
    ASSERT_TRUE(standin::waitUntil([&] { return standin::readRecord(clientRecord).size() >= 2; }));
    std::vector<std::string> client = standin::readRecord(clientRecord);
    // The quoted path is the one and only token; the folder is the current directory.
    EXPECT_EQ(client[0], "cmdline \"" + wideToUtf8(installFolder) + "\\updater.exe\"");
    EXPECT_EQ(client[1], "cwd " + wideToUtf8(installFolder));
    EXPECT_TRUE(standin::readRecord(scratch.file(L"updater.record")).empty());

    ASSERT_TRUE(standin::waitUntil([&] { return standin::readRecord(watcherRecord).size() >= 2; }));
    std::vector<std::string> watcher = standin::readRecord(watcherRecord);
    EXPECT_EQ(watcher[0], "start 1 0") << "not started with SW_HIDE";
    const std::string ownPath = wideToUtf8(standin::builtProgram(L"brindle_tests.exe"));
    EXPECT_NE(watcher[1].find(ownPath), std::string::npos) << watcher[1];
    EXPECT_EQ(watcher[1].substr(watcher[1].size() - 14), " --watch-title");
    EXPECT_TRUE(debugTexts.empty());
}

TEST_F(GameLaunch, WithoutTheStartProgramNothingIsStarted) {
    EXPECT_FALSE(launch());
    Sleep(1000);
    EXPECT_TRUE(watcherStarts().empty());
    EXPECT_TRUE(debugTexts.empty());
}

// The launch runs the start program with administrator rights from a folder
// that others may be able to write: only the bytes this run verified start,
// or, when the run did not get to them, those the state file records.
TEST_F(GameLaunch, OnlyTheVerifiedStartProgramStarts) {
    installClient();
    const std::string verified = sha256OfFile(startProgram());
    std::string changed = readWholeFile(startProgram());
    changed[changed.size() / 2] ^= 0x01;
    ASSERT_TRUE(writeWholeFile(startProgram(), changed));
    EXPECT_FALSE(launch()) << "a start program changed after its check was started";

    // No verdict of this run: the state file's record decides.
    setVerifiedStartProgram("");
    writeStateFile(installFolder, {{"UPDATER.EXE", StateEntry{verified, 1, 1}}});
    EXPECT_FALSE(launch());
    EXPECT_FALSE(launchGameFrom(scratch.file(L"elsewhere"))) << "no record, no start";
    ASSERT_TRUE(CopyFileW(standin::builtProgram(L"updater.exe").c_str(), startProgram().c_str(), FALSE));
    EXPECT_TRUE(launch());
    ASSERT_TRUE(standin::waitUntil([&] { return watcherStarts().size() == 1; }));
}

TEST_F(GameLaunch, AStartProgramThatCannotStartStartsNoWatcher) {
    // Something verified exists under the name, but it is no program.
    ASSERT_TRUE(writeWholeFile(startProgram(), "no program"));
    setVerifiedStartProgram(sha256OfFile(startProgram()));
    EXPECT_FALSE(launch());
    Sleep(1000);
    EXPECT_TRUE(watcherStarts().empty());
}

const unsigned long patientLivenessWait = 2000;

TEST_F(GameLaunch, AWatcherThatEndsAtOnceIsTriedThreeTimesThenReported) {
    const ULONGLONG took = timedWatcherStart(L"100", patientLivenessWait);
    EXPECT_EQ(watcherStarts().size(), 3u);
    EXPECT_GE(took, 2u * 200u);
    ASSERT_FALSE(debugTexts.empty());
    for (const std::string& text : debugTexts) {
        EXPECT_EQ(text, watcherFailureText);
    }
}

TEST_F(GameLaunch, AWatcherStillUpAfterItsSecondStartEndsTheRetries) {
    const ULONGLONG took = timedWatcherStart(L"1", patientLivenessWait);
    Sleep(600);  // room for a third start that must not come
    EXPECT_EQ(watcherStarts().size(), 2u);
    EXPECT_GE(took, 200u + patientLivenessWait);
    EXPECT_TRUE(debugTexts.empty());
}

}  // namespace
}  // namespace br
