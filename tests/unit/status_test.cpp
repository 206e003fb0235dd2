// The shared update record: snapshot contents, flag order, worker restarts.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "ui/screens.h"
#include "update/status.h"

namespace br {
namespace {

TEST(Status, FreshSnapshotIsEmpty) {
    Status status;
    StatusSnapshot snap = snapshotStatus(status);
    EXPECT_TRUE(snap.phase.empty());
    EXPECT_TRUE(snap.detail.empty());
    EXPECT_TRUE(snap.error.empty());
    EXPECT_EQ(snap.bytesDone, 0u);
    EXPECT_EQ(snap.bytesTotal, 0u);
    EXPECT_EQ(snap.speed, 0.0);
    EXPECT_EQ(snap.filesDone, 0);
    EXPECT_EQ(snap.filesTotal, 0);
    EXPECT_FALSE(snap.finished);
    EXPECT_FALSE(snap.succeeded);
}

TEST(Status, OutcomesAndReset) {
    Status status;
    setPhase(status, "Đang kiểm tra tệp");
    {
        std::lock_guard<std::mutex> hold(status.lock);
        status.bytesDone = 5;
        status.filesTotal = 3;
    }
    setFailed(status, "Lỗi tải xuống: a.txt");
    StatusSnapshot failed = snapshotStatus(status);
    EXPECT_TRUE(failed.finished);
    EXPECT_FALSE(failed.succeeded);
    EXPECT_EQ(failed.error, "Lỗi tải xuống: a.txt");
    // A failure keeps what the run last showed.
    EXPECT_EQ(failed.phase, "Đang kiểm tra tệp");
    EXPECT_EQ(failed.bytesDone, 5u);

    resetStatus(status);
    StatusSnapshot cleared = snapshotStatus(status);
    EXPECT_FALSE(cleared.finished);
    EXPECT_FALSE(cleared.succeeded);
    EXPECT_TRUE(cleared.error.empty());
    EXPECT_TRUE(cleared.phase.empty());
    EXPECT_EQ(cleared.bytesDone, 0u);
    EXPECT_EQ(cleared.filesTotal, 0);

    setSucceeded(status);
    StatusSnapshot done = snapshotStatus(status);
    EXPECT_TRUE(done.finished);
    EXPECT_TRUE(done.succeeded);
    EXPECT_EQ(done.phase, "Hoàn tất");
}

// A reader must never see a finished run whose outcome is not yet written:
// succeeded/failed runs alternate while a reader checks every snapshot it takes
// against the outcome the run's texts announce.
TEST(Status, FinishedNeverShowsAnUndecidedOutcome) {
    Status status;
    std::atomic<bool> writing{true};
    std::atomic<int> contradictions{0};
    std::atomic<long> finishedSeen{0};

    std::thread reader([&] {
        while (writing.load()) {
            StatusSnapshot snap = snapshotStatus(status);
            if (!snap.finished) {
                continue;
            }
            ++finishedSeen;
            bool announcedSuccess = snap.phase == "Hoàn tất" && snap.error.empty();
            bool announcedFailure = !snap.error.empty();
            if (snap.succeeded != announcedSuccess || snap.succeeded == announcedFailure) {
                ++contradictions;
            }
        }
    });

    // Keep finishing runs until the reader has caught plenty of them (bounded).
    for (int run = 0; run < 5000000 && (run < 20000 || finishedSeen.load() < 2000); ++run) {
        resetStatus(status);
        if (run % 2 == 0) {
            setSucceeded(status);
        } else {
            setFailed(status, "Không thể kết nối tới máy chủ cập nhật");
        }
    }
    writing = false;
    reader.join();
    EXPECT_EQ(contradictions.load(), 0);
    EXPECT_GT(finishedSeen.load(), 0);
}

// Runs that the test releases one at a time.
struct GatedRuns {
    std::mutex lock;
    std::condition_variable changed;
    int started = 0;
    int released = 0;
};
GatedRuns gate;

void gatedRun(Status& status) {
    std::unique_lock<std::mutex> hold(gate.lock);
    int mine = ++gate.started;
    gate.changed.notify_all();
    gate.changed.wait(hold, [mine] { return gate.released >= mine; });
    hold.unlock();
    setPhase(status, "run " + std::to_string(mine));
    setFailed(status, "failed " + std::to_string(mine));
}

TEST(Status, RestartWaitsForTheRunningWorkerAndStartsClean) {
    UpdateRunner previous = updateRunner;
    updateRunner = &gatedRun;
    gate.started = 0;
    gate.released = 0;

    startUpdateWorker();
    {
        std::unique_lock<std::mutex> hold(gate.lock);
        gate.changed.wait(hold, [] { return gate.started == 1; });
    }
    autoLaunchDone = true;
    successFrameCount = 30;

    std::atomic<bool> restartReturned{false};
    std::thread restarter([&] {
        startUpdateWorker();
        restartReturned = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(restartReturned.load()) << "restart did not wait for the running worker";

    {
        std::lock_guard<std::mutex> hold(gate.lock);
        gate.released = 1;
    }
    gate.changed.notify_all();
    // The second run now starts on an empty record and waits at the gate.
    {
        std::unique_lock<std::mutex> hold(gate.lock);
        gate.changed.wait(hold, [] { return gate.started == 2; });
    }
    restarter.join();
    EXPECT_TRUE(restartReturned.load());
    StatusSnapshot fresh = snapshotStatus(globalStatus());
    EXPECT_FALSE(fresh.finished);
    EXPECT_TRUE(fresh.error.empty()) << fresh.error;
    EXPECT_TRUE(fresh.phase.empty()) << fresh.phase;
    EXPECT_FALSE(autoLaunchDone);
    EXPECT_EQ(successFrameCount, 0);

    {
        std::lock_guard<std::mutex> hold(gate.lock);
        gate.released = 2;
    }
    gate.changed.notify_all();
    // A third start joins the finished second run before going on.
    gate.released = 3;
    updateRunner = [](Status& status) { setSucceeded(status); };
    startUpdateWorker();
    while (!snapshotStatus(globalStatus()).finished) {
        std::this_thread::yield();
    }
    EXPECT_TRUE(snapshotStatus(globalStatus()).succeeded);
    startUpdateWorker();  // joins the ended run
    detachUpdateWorker();
    updateRunner = previous;
}

}  // namespace
}  // namespace br
