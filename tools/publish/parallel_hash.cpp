#include "tools/publish/parallel_hash.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <numeric>
#include <system_error>
#include <thread>

#include "tools/publish/file_hash.h"

namespace br {

namespace {

struct SharedWork {
    std::vector<ReleaseFile>& files;
    std::vector<size_t> order;  // largest first, so no big file starts last
    std::atomic<size_t> next{0};
    std::atomic<size_t> filesDone{0};
    std::atomic<uint64_t> bytesDone{0};
    std::atomic<bool> failed{false};
    std::mutex lock;  // guards reason and running
    std::condition_variable changed;
    std::string reason;
    unsigned running = 0;
};

void fail(SharedWork& work, const std::string& reason) {
    std::lock_guard<std::mutex> hold(work.lock);
    if (!work.failed.exchange(true)) {
        work.reason = reason;
    }
}

// A file rewritten while it was read would be published with a hash that
// matches neither its old nor its new content.
bool unchangedSinceListed(const ReleaseFile& file) {
    std::error_code error;
    uint64_t size = std::filesystem::file_size(file.source, error);
    if (error) {
        return false;
    }
    auto lastWrite = std::filesystem::last_write_time(file.source, error);
    return !error && size == file.size && lastWrite == file.lastWrite;
}

void hashUntilDone(SharedWork& work) {
    for (size_t taken = work.next++; taken < work.order.size() && !work.failed; taken = work.next++) {
        ReleaseFile& file = work.files[work.order[taken]];
        file.sha256 = sha256OfReleaseFile(file.source, work.bytesDone);
        if (file.sha256.empty()) {
            fail(work, "cannot read " + file.path);
        } else if (!unchangedSinceListed(file)) {
            fail(work, file.path + " changed while it was read; publish again once the release folder is complete");
        }
        ++work.filesDone;
    }
    std::lock_guard<std::mutex> hold(work.lock);
    --work.running;
    work.changed.notify_all();
}

}  // namespace

bool hashReleaseFiles(std::vector<ReleaseFile>& files, unsigned workers,
                      const std::function<void(const HashProgress&)>& tick, std::string& reason) {
    SharedWork work{files, std::vector<size_t>(files.size())};
    std::iota(work.order.begin(), work.order.end(), size_t{0});
    std::stable_sort(work.order.begin(), work.order.end(),
                     [&](size_t a, size_t b) { return files[a].size > files[b].size; });

    HashProgress progress;
    progress.filesTotal = files.size();
    for (const ReleaseFile& file : files) {
        progress.bytesTotal += file.size;
    }
    if (workers == 0) {
        workers = std::max(1u, std::thread::hardware_concurrency());
    }
    workers = static_cast<unsigned>(std::min<size_t>(workers, std::max<size_t>(files.size(), 1)));

    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> threads;
    {
        std::lock_guard<std::mutex> hold(work.lock);
        work.running = workers;
    }
    for (unsigned i = 0; i < workers; ++i) {
        threads.emplace_back(hashUntilDone, std::ref(work));
    }
    for (bool done = false; !done;) {
        {
            std::unique_lock<std::mutex> hold(work.lock);
            done = work.changed.wait_for(hold, std::chrono::milliseconds(250), [&] { return work.running == 0; });
        }
        progress.filesDone = work.filesDone;
        progress.bytesDone = work.bytesDone;
        progress.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        tick(progress);
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    if (work.failed) {
        reason = work.reason;
        return false;
    }
    return true;
}

}  // namespace br
