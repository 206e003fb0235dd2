#pragma once
// The one record through which the update worker reports to the interface.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace br {

struct Status {
    std::mutex lock;  // guards everything below except the two flags
    std::string phase;
    std::string detail;
    uint64_t bytesDone = 0;
    uint64_t bytesTotal = 0;
    double speed = 0.0;
    int32_t filesDone = 0;
    int32_t filesTotal = 0;
    std::atomic<bool> finished{false};
    std::atomic<bool> succeeded{false};  // meaningful only once finished is set
    std::string error;
};

struct StatusSnapshot {
    std::string phase;
    std::string detail;
    uint64_t bytesDone = 0;
    uint64_t bytesTotal = 0;
    double speed = 0.0;
    int32_t filesDone = 0;
    int32_t filesTotal = 0;
    bool finished = false;
    bool succeeded = false;
    std::string error;
};

// The process-wide record. It is never destroyed, so a worker that is still
// running while the process exits can keep writing it.
Status& globalStatus();

void setPhase(Status& status, const std::string& text);
void setFailed(Status& status, const std::string& text);
void setSucceeded(Status& status);
void resetStatus(Status& status);
StatusSnapshot snapshotStatus(Status& status);

// Joins the previous run, clears the global record and the interface's launch
// counters, and starts RunUpdate on a new thread. Throws std::system_error when
// called from the worker itself or when no thread can be created.
void startUpdateWorker();

// At exit: lets a run that is still going continue on its own.
void detachUpdateWorker();

// The body startUpdateWorker runs; RunUpdate unless a test puts its own here.
using UpdateRunner = void (*)(Status&);
extern UpdateRunner updateRunner;

}  // namespace br
