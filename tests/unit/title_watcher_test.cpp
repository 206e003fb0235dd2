// The title watcher: its timers over plain data, then the whole loop, with
// short limits, against stand-ins for the client and the game.

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "common/text_encoding.h"
#include "install/title_watcher.h"
#include "support/standins.h"

namespace br {
namespace {

const WatcherLimits testLimits = {20000, 1500, 1500, 1500, 250};

// --- the timers --------------------------------------------------------------

const HWND someWindow = reinterpret_cast<HWND>(0x1234);

// The mode is one whole argument; the program's own path may hold any text.
TEST(TitleWatcherMode, OnlyAWholeArgumentSelectsIt) {
    EXPECT_TRUE(startedAsTitleWatcher(L"\"C:\\Brindle\\brindle.exe\" --watch-title"));
    EXPECT_TRUE(startedAsTitleWatcher(L"brindle.exe other --watch-title"));
    for (const wchar_t* launcher : {L"\"C:\\x --watch-title\\brindle.exe\"", L"C:\\--watch-title\\brindle.exe",
                                    L"brindle.exe --watch-titles", L"brindle.exe \"a --watch-title\"", L""}) {
        EXPECT_FALSE(startedAsTitleWatcher(launcher)) << wideToUtf8(launcher);
    }
}

TEST(TitleWatcherTimers, ProcessesCountAsGoneOnlyAfterTheyWereSeen) {
    TitleWatcher watcher;
    EXPECT_FALSE(noteProcesses(watcher, ProcessScan::missing, 1000, testLimits));
    EXPECT_FALSE(noteProcesses(watcher, ProcessScan::missing, 1000 + 100000, testLimits));
    EXPECT_EQ(watcher.clientGoneSince, 0u);

    EXPECT_FALSE(noteProcesses(watcher, ProcessScan::found, 200000, testLimits));
    EXPECT_TRUE(watcher.clientSeen);
    EXPECT_FALSE(noteProcesses(watcher, ProcessScan::missing, 201000, testLimits));
    EXPECT_EQ(watcher.clientGoneSince, 201000u);
    EXPECT_FALSE(noteProcesses(watcher, ProcessScan::missing, 202499, testLimits));
    EXPECT_TRUE(noteProcesses(watcher, ProcessScan::missing, 202500, testLimits));
}

TEST(TitleWatcherTimers, ProcessesFoundAgainOrAnUnreadableSnapshotRestartTheGoneTimer) {
    TitleWatcher watcher;
    noteProcesses(watcher, ProcessScan::found, 1000, testLimits);
    noteProcesses(watcher, ProcessScan::missing, 2000, testLimits);
    EXPECT_FALSE(noteProcesses(watcher, ProcessScan::found, 3000, testLimits));
    EXPECT_EQ(watcher.clientGoneSince, 0u);
    EXPECT_FALSE(noteProcesses(watcher, ProcessScan::missing, 3400, testLimits));
    EXPECT_FALSE(noteProcesses(watcher, ProcessScan::unreadable, 4000, testLimits));
    EXPECT_EQ(watcher.clientGoneSince, 0u);
    EXPECT_FALSE(noteProcesses(watcher, ProcessScan::missing, 5000, testLimits));
    EXPECT_FALSE(noteProcesses(watcher, ProcessScan::missing, 6499, testLimits));
    EXPECT_TRUE(noteProcesses(watcher, ProcessScan::missing, 6500, testLimits));
}

TEST(TitleWatcherTimers, AnotherTitleIsReplacedAndSettlesFromTheLastTimeItWasSet) {
    TitleWatcher watcher;
    watcher.gameWindow = someWindow;
    bool setTitle = false;
    EXPECT_FALSE(noteGameWindow(watcher, false, 1000, testLimits, setTitle));
    EXPECT_TRUE(setTitle);
    EXPECT_FALSE(noteGameWindow(watcher, true, 2000, testLimits, setTitle));
    EXPECT_FALSE(setTitle);
    // The game put its own title back: set again, and the settle time starts over.
    EXPECT_FALSE(noteGameWindow(watcher, false, 2400, testLimits, setTitle));
    EXPECT_TRUE(setTitle);
    EXPECT_FALSE(noteGameWindow(watcher, true, 3899, testLimits, setTitle));
    EXPECT_TRUE(noteGameWindow(watcher, true, 3900, testLimits, setTitle));
    EXPECT_FALSE(setTitle);
}

TEST(TitleWatcherTimers, AMissingWindowCountsOnlyAfterItWasFoundAndTheSettleTimeRunsOn) {
    TitleWatcher watcher;
    bool setTitle = true;
    EXPECT_FALSE(noteGameWindow(watcher, false, 1000, testLimits, setTitle));
    EXPECT_FALSE(noteGameWindow(watcher, false, 100000, testLimits, setTitle));
    EXPECT_FALSE(setTitle);
    EXPECT_EQ(watcher.windowGoneSince, 0u);

    watcher.gameWindow = someWindow;
    noteGameWindow(watcher, false, 200000, testLimits, setTitle);  // title set at 200000
    watcher.gameWindow = nullptr;
    EXPECT_FALSE(noteGameWindow(watcher, false, 200500, testLimits, setTitle));
    EXPECT_EQ(watcher.windowGoneSince, 200500u);
    // Back within the gone limit, title still in place, and the title was set
    // more than the settle time ago: done on this very pass.
    watcher.gameWindow = someWindow;
    EXPECT_TRUE(noteGameWindow(watcher, true, 201600, testLimits, setTitle));
    EXPECT_FALSE(setTitle);
    EXPECT_EQ(watcher.windowGoneSince, 0u);
}

// --- the loop against stand-ins ------------------------------------------------
// These tests own the display: any other game or client window would be handled too.

using standin::Running;
using standin::ScratchFolder;

std::wstring gameProgram() {
    return standin::builtProgram(L"GTA5.exe");
}

std::wstring clientProgram() {
    return standin::builtProgram(L"ragemp_v.exe");
}

std::wstring recordOption(const std::wstring& record) {
    return L"\"--record=" + record + L"\"";
}

// Starts a stand-in and waits until it has recorded `firstRecord` (when given).
struct ShownStandIn {
    ShownStandIn(const std::wstring& program, const std::wstring& recordFile, const std::wstring& options,
                 const std::string& firstRecord)
        : record(recordFile), running(program, recordOption(recordFile) + L" " + options) {
        EXPECT_TRUE(firstRecord.empty() || standin::waitUntil([&] { return standin::recordHas(record, firstRecord); }))
            << wideToUtf8(program) << " " << wideToUtf8(options) << " never recorded " << firstRecord;
    }
    std::vector<std::string> lines() const { return standin::readRecord(record); }
    size_t count(const std::string& line) const {
        std::vector<std::string> all = lines();
        return static_cast<size_t>(std::count(all.begin(), all.end(), line));
    }
    HWND window() const { return standin::visibleWindowOf(running.id); }

    std::wstring record;
    Running running;
};

struct GameStandIn : ShownStandIn {
    GameStandIn(const ScratchFolder& folder, const std::wstring& name, const std::wstring& options,
                const std::wstring& program = gameProgram())
        : ShownStandIn(program, folder.file(name), options,
                       options.find(L"--no-window") == std::wstring::npos ? "title " + titleIn(options)
                                                                          : std::string()) {}

    static std::string titleIn(const std::wstring& options) {
        if (options.find(L"--untitled") != std::wstring::npos) {
            return "";
        }
        size_t at = options.find(L"--title=");
        return at == std::wstring::npos ? "Grand Theft Auto V" : wideToUtf8(options.substr(at + 8));
    }
};

struct ClientStandIn : ShownStandIn {
    ClientStandIn(const ScratchFolder& folder, const std::wstring& name, const std::wstring& options,
                  const std::wstring& program = clientProgram())
        : ShownStandIn(program, folder.file(name), options, "shown") {
        // The box is up once its window is visible.
        EXPECT_TRUE(standin::waitUntil([&] { return window() != nullptr; }));
    }
};

// Runs the watcher; returns how long after `since` it ended.
uint64_t watcherEndsAfter(uint64_t since, const WatcherLimits& limits) {
    runTitleWatcherWith(limits);
    return GetTickCount64() - since;
}

uint64_t runWatcherFor(const WatcherLimits& limits) {
    return watcherEndsAfter(GetTickCount64(), limits);
}

WatcherLimits withOverall(uint64_t overall) {
    WatcherLimits limits = testLimits;
    limits.overall = overall;
    return limits;
}

TEST(TitleWatcher, RunsToTheOverallLimitWhenNothingIsEverFound) {
    uint64_t elapsed = runWatcherFor(withOverall(2000));
    EXPECT_GE(elapsed, 2000u);
    EXPECT_LT(elapsed, 2000u + 4000u);
}

TEST(TitleWatcher, GivesTheGameWindowTheBrandTitleAndEndsOnceItHasSettled) {
    ScratchFolder folder(L"retitle");
    GameStandIn game(folder, L"game.record", L"");

    uint64_t elapsed = runWatcherFor(testLimits);
    EXPECT_GE(elapsed, testLimits.titleSettled);
    EXPECT_LT(elapsed, testLimits.overall);
    EXPECT_EQ(standin::windowTitle(game.window()), "BRINDLEHUB");
    EXPECT_EQ(game.count("settext BRINDLEHUB"), 1u);
    EXPECT_EQ(game.lines(),
              (std::vector<std::string>{"window 800x600", "title Grand Theft Auto V", "settext BRINDLEHUB",
                                        "title BRINDLEHUB"}));
}

TEST(TitleWatcher, LeavesATitleAlreadyInPlaceAndEndsAfterTheSettleTime) {
    ScratchFolder folder(L"in place");
    GameStandIn game(folder, L"game.record", L"--title=BRINDLEHUB");

    uint64_t elapsed = runWatcherFor(testLimits);
    EXPECT_GE(elapsed, testLimits.titleSettled);
    EXPECT_LT(elapsed, testLimits.overall);
    EXPECT_EQ(game.count("settext BRINDLEHUB"), 0u);
    EXPECT_EQ(standin::windowTitle(game.window()), "BRINDLEHUB");
}

TEST(TitleWatcher, KeepsRetitlingAGameThatResetsItsTitleUntilItStops) {
    ScratchFolder folder(L"resetting");
    uint64_t gameStart = GetTickCount64();
    GameStandIn game(folder, L"game.record", L"--retitle-ms=400 --retitle-for-ms=3000");

    uint64_t sinceGameStart = watcherEndsAfter(gameStart, testLimits);
    EXPECT_GE(game.count("settext BRINDLEHUB"), 3u);
    // The game's last reset comes shortly before 3000 ms; the title is set
    // again after it, then has to stay for the settle time.
    EXPECT_GE(sinceGameStart, 3000u - 400u + testLimits.titleSettled);
    EXPECT_EQ(standin::windowTitle(game.window()), "BRINDLEHUB");
}

TEST(TitleWatcher, EndsOnceTheWatchedProcessesHaveBeenGoneForTheLimit) {
    ScratchFolder folder(L"processes gone");
    uint64_t gameStart = GetTickCount64();
    GameStandIn game(folder, L"game.record", L"--no-window --lifetime-ms=1000");

    uint64_t sinceGameStart = watcherEndsAfter(gameStart, testLimits);
    EXPECT_FALSE(game.running.alive());
    EXPECT_GE(sinceGameStart, 1000u + testLimits.processesGone);
    EXPECT_LT(sinceGameStart, testLimits.overall);
}

TEST(TitleWatcher, EndsOnceTheGameWindowHasBeenGoneForTheLimit) {
    ScratchFolder folder(L"window gone");
    uint64_t gameStart = GetTickCount64();
    GameStandIn game(folder, L"game.record", L"--window-ms=1200");
    WatcherLimits limits = testLimits;
    limits.titleSettled = 15000;

    uint64_t sinceGameStart = watcherEndsAfter(gameStart, limits);
    EXPECT_TRUE(game.running.alive());
    EXPECT_TRUE(standin::recordHas(game.record, "settext BRINDLEHUB"));
    EXPECT_TRUE(standin::recordHas(game.record, "window gone"));
    EXPECT_GE(sinceGameStart, 1200u + limits.windowGone);
    EXPECT_LT(sinceGameStart, limits.titleSettled);
}

TEST(TitleWatcher, NeverRetitlesSmallWindowsDialogsOrUntitledWindowsOfTheGame) {
    ScratchFolder folder(L"not the game window");
    GameStandIn narrow(folder, L"narrow.record", L"--size=639x600");
    GameStandIn low(folder, L"low.record", L"--size=800x359");
    GameStandIn dialog(folder, L"dialog.record", L"--dialog");
    GameStandIn untitled(folder, L"untitled.record", L"--untitled");
    CopyFileW(gameProgram().c_str(), folder.file(L"GTA5Demo.exe").c_str(), FALSE);
    GameStandIn otherProgram(folder, L"other.record", L"", folder.file(L"GTA5Demo.exe"));
    EXPECT_TRUE(standin::recordHas(narrow.record, "window 639x600"));
    EXPECT_TRUE(standin::recordHas(low.record, "window 800x359"));

    // Game processes run all along, so only the overall limit ends this.
    uint64_t elapsed = runWatcherFor(withOverall(2500));
    EXPECT_GE(elapsed, 2500u);
    for (const GameStandIn* game : {&narrow, &low, &dialog, &untitled, &otherProgram}) {
        for (const std::string& line : game->lines()) {
            EXPECT_EQ(line.rfind("settext", 0), std::string::npos) << wideToUtf8(game->record) << ": " << line;
        }
    }
    EXPECT_EQ(standin::windowTitle(untitled.window()), "");
    EXPECT_EQ(standin::windowTitle(dialog.window()), "Grand Theft Auto V");
}

TEST(TitleWatcher, PressesTheClientDialogsOkButton) {
    ScratchFolder folder(L"dialog ok");
    ClientStandIn client(folder, L"client.record", L"");
    ClientStandIn lowerCase(folder, L"lower.record", L"\"--title=rage MULTIPLAYER\"");

    runWatcherFor(withOverall(1500));
    for (const ClientStandIn* dialog : {&client, &lowerCase}) {
        std::vector<std::string> lines = dialog->lines();
        ASSERT_GE(lines.size(), 2u) << wideToUtf8(dialog->record);
        EXPECT_EQ(lines[1], "ok") << wideToUtf8(dialog->record);
        EXPECT_EQ(dialog->window(), nullptr);
        EXPECT_TRUE(dialog->running.alive());
    }
}

TEST(TitleWatcher, ClosesAClientDialogWithoutAUsableOkButton) {
    ScratchFolder folder(L"dialog close");
    ClientStandIn disabled(folder, L"disabled.record", L"--ok=disabled");
    ClientStandIn hidden(folder, L"hidden.record", L"--ok=hidden");
    ClientStandIn none(folder, L"none.record", L"--ok=none");

    runWatcherFor(withOverall(1500));
    for (const ClientStandIn* dialog : {&disabled, &hidden, &none}) {
        EXPECT_EQ(dialog->count("ok"), 0u) << wideToUtf8(dialog->record);
        EXPECT_GE(dialog->count("close"), 1u) << wideToUtf8(dialog->record);
        EXPECT_EQ(dialog->window(), nullptr) << wideToUtf8(dialog->record);
    }
}

TEST(TitleWatcher, LeavesRageMultiplayerWindowsOfOtherProgramsOrClassesAlone) {
    ScratchFolder folder(L"not the client dialog");
    CopyFileW(clientProgram().c_str(), folder.file(L"ragemp_x.exe").c_str(), FALSE);
    ClientStandIn otherProgram(folder, L"other.record", L"", folder.file(L"ragemp_x.exe"));
    ClientStandIn otherClass(folder, L"class.record", L"--class=RageDialog");
    ClientStandIn otherTitle(folder, L"title.record", L"\"--title=RAGE Multiplayer - Update\"");

    runWatcherFor(withOverall(1500));
    for (const ClientStandIn* dialog : {&otherProgram, &otherClass, &otherTitle}) {
        EXPECT_EQ(dialog->lines(), std::vector<std::string>{"shown"}) << wideToUtf8(dialog->record);
        EXPECT_NE(dialog->window(), nullptr) << wideToUtf8(dialog->record);
    }
}

TEST(TitleWatcher, CatchesAClientDialogThatComesUpWhileItRuns) {
    ScratchFolder folder(L"dialog later");
    ShownStandIn client(clientProgram(), folder.file(L"client.record"), L"--delay-ms=700", "");

    runWatcherFor(withOverall(3000));
    std::vector<std::string> lines = client.lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "shown");
    EXPECT_EQ(lines[1], "ok");
    EXPECT_EQ(client.window(), nullptr);
}

// A game that does not answer while it loads holds nothing up: the watcher
// goes on dismissing dialogs and gives the title once the game answers.
TEST(TitleWatcher, AGameThatStopsAnsweringDoesNotHoldItUp) {
    ScratchFolder folder(L"hung game");
    GameStandIn game(folder, L"game.record", L"--hang-after-ms=100 --hang-for-ms=8000");
    ASSERT_TRUE(standin::waitUntil([&] { return standin::recordHas(game.record, "hung"); }));
    ShownStandIn client(clientProgram(), folder.file(L"client.record"), L"--delay-ms=1500", "");

    uint64_t elapsed = 0;
    std::thread watcher([&] { elapsed = runWatcherFor(testLimits); });
    // The dialog comes up 1.5 s into the game's 8 s hang; each pass may wait a
    // second for the game before it looks again.
    EXPECT_TRUE(standin::waitUntil([&] { return standin::recordHas(client.record, "ok"); }, 5000));
    EXPECT_FALSE(standin::recordHas(game.record, "answering")) << "the dialog went only once the game answered";
    watcher.join();
    std::vector<std::string> lines = game.lines();
    auto answering = std::find(lines.begin(), lines.end(), "answering");
    ASSERT_NE(answering, lines.end());
    EXPECT_NE(std::find(answering, lines.end(), "settext BRINDLEHUB"), lines.end());
    EXPECT_EQ(standin::windowTitle(game.window()), "BRINDLEHUB");
    EXPECT_LT(elapsed, testLimits.overall);
}

// Its limits hold while the game does not answer: the overall limit ends it
// in the middle of a long hang.
TEST(TitleWatcher, EndsByItsLimitWhileTheGameDoesNotAnswer) {
    ScratchFolder folder(L"hung game limit");
    GameStandIn game(folder, L"game.record", L"--hang-after-ms=100 --hang-for-ms=12000");
    ASSERT_TRUE(standin::waitUntil([&] { return standin::recordHas(game.record, "hung"); }));

    const uint64_t elapsed = runWatcherFor(withOverall(2500));
    EXPECT_GE(elapsed, 2500u);
    EXPECT_LT(elapsed, 2500u + 3000u) << "the watcher waited for the game";
}

// Only the show event of a whole window starts a dismissal.
TEST(TitleWatcher, ShowEventsOfTheClientDialogDismissIt) {
    ScratchFolder folder(L"show event");
    ClientStandIn client(folder, L"client.record", L"");
    HWND dialog = client.window();
    ASSERT_NE(dialog, nullptr);

    onWindowShown(nullptr, EVENT_OBJECT_CREATE, dialog, OBJID_WINDOW, CHILDID_SELF, 0, 0);
    onWindowShown(nullptr, EVENT_OBJECT_SHOW, dialog, OBJID_CLIENT, CHILDID_SELF, 0, 0);
    onWindowShown(nullptr, EVENT_OBJECT_SHOW, dialog, OBJID_WINDOW, 1, 0, 0);
    onWindowShown(nullptr, EVENT_OBJECT_SHOW, nullptr, OBJID_WINDOW, CHILDID_SELF, 0, 0);
    EXPECT_EQ(client.lines(), std::vector<std::string>{"shown"});
    EXPECT_TRUE(IsWindowVisible(dialog));

    onWindowShown(nullptr, EVENT_OBJECT_SHOW, dialog, OBJID_WINDOW, CHILDID_SELF, 0, 0);
    EXPECT_TRUE(standin::waitUntil([&] { return client.window() == nullptr; }, 5000));
    EXPECT_EQ(client.lines().at(1), "ok");
}

}  // namespace
}  // namespace br
