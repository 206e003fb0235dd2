#include "update/status.h"

#include <new>
#include <system_error>
#include <thread>

#include "ui/screens.h"
#include "update/worker.h"

namespace br {

UpdateRunner updateRunner = &RunUpdate;

namespace {

// Deliberately leaked: a detached worker may outlive static destruction.
std::thread& workerSlot() {
    static std::thread* slot = new std::thread();
    return *slot;
}

}  // namespace

Status& globalStatus() {
    static Status* status = new Status();
    return *status;
}

void setPhase(Status& status, const std::string& text) {
    std::lock_guard<std::mutex> hold(status.lock);
    status.phase = text;
}

void setFailed(Status& status, const std::string& text) {
    {
        std::lock_guard<std::mutex> hold(status.lock);
        status.error = text;
    }
    // succeeded before finished: whoever sees finished also sees the outcome.
    status.succeeded.exchange(false);
    status.finished.exchange(true);
}

void setSucceeded(Status& status) {
    {
        std::lock_guard<std::mutex> hold(status.lock);
        status.phase = "Hoàn tất";
    }
    status.succeeded.exchange(true);
    status.finished.exchange(true);
}

void resetStatus(Status& status) {
    std::lock_guard<std::mutex> hold(status.lock);
    status.phase.clear();
    status.detail.clear();
    status.error.clear();
    status.bytesDone = 0;
    status.bytesTotal = 0;
    status.speed = 0.0;
    status.filesDone = 0;
    status.filesTotal = 0;
    status.finished.exchange(false);
    status.succeeded.exchange(false);
}

StatusSnapshot snapshotStatus(Status& status) {
    std::lock_guard<std::mutex> hold(status.lock);
    StatusSnapshot copy;
    copy.phase = status.phase;
    copy.detail = status.detail;
    copy.bytesDone = status.bytesDone;
    copy.bytesTotal = status.bytesTotal;
    copy.speed = status.speed;
    copy.filesDone = status.filesDone;
    copy.filesTotal = status.filesTotal;
    copy.finished = status.finished.load();
    copy.succeeded = status.succeeded.load();
    copy.error = status.error;
    return copy;
}

void startUpdateWorker() {
    std::thread& slot = workerSlot();
    if (slot.joinable()) {
        if (slot.get_id() == std::this_thread::get_id()) {
            throw std::system_error(std::make_error_code(std::errc::resource_deadlock_would_occur));
        }
        slot.join();
        slot = std::thread();
    }
    resetStatus(globalStatus());
    autoLaunchDone = false;
    successFrameCount = 0;
    UpdateRunner runner = updateRunner;
    slot = std::thread([runner] { runner(globalStatus()); });
}

void detachUpdateWorker() {
    std::thread& slot = workerSlot();
    if (slot.joinable()) {
        slot.detach();
    }
}

}  // namespace br
