#pragma once
// Raised once to end the download step early: what is in flight stops at its
// next chunk, a wait before another attempt ends at once, nothing new starts.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace br {

class StopSignal {
public:
    void raise() {
        {
            std::lock_guard<std::mutex> hold(lock_);
            raised_.store(true);
        }
        wake_.notify_all();
    }

    bool raised() const { return raised_.load(std::memory_order_relaxed); }

    // Waits up to milliseconds; true when the signal was raised meanwhile.
    bool waitFor(uint32_t milliseconds) {
        std::unique_lock<std::mutex> hold(lock_);
        return wake_.wait_for(hold, std::chrono::milliseconds(milliseconds), [this] { return raised_.load(); });
    }

private:
    std::atomic<bool> raised_{false};
    std::mutex lock_;
    std::condition_variable wake_;
};

}  // namespace br
