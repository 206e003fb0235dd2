// Runs the launcher's own code on one benchmark workload and times it.
//   bench_driver hash <file>          sha256OfFile
//   bench_driver download <list> [session]  downloadToFile for each "url<TAB>target<TAB>size"
//                                     line; with "session", all on one HttpSession as the update run
//                                     does, else on a fresh session each
//   bench_driver update <folder>      one complete RunUpdate into that install folder
//   bench_driver update-steps <folder>  the steps of an up-to-date run, timed one by one
//   bench_driver install <manifest url> <folder> [lanes]  one complete run from that manifest, its
//                                     download step on that many lanes (the launcher's count if not given)
// Prints "seconds=… cpu=…" and what the work produced, on one line.

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "bench/bench_clock.h"
#include "install/install_paths.h"
#include "install/run_folder.h"
#include "install/registration.h"
#include "update/file_state.h"
#include "update/http_client.h"
#include "update/manifest.h"
#include "update/status.h"
#include "update/worker.h"

namespace {

int hashFile(const wchar_t* path) {
    bench::Stopwatch stopwatch;
    std::string hash = br::sha256OfFile(path);
    stopwatch.print();
    std::printf("sha256=%s\n", hash.c_str());
    return hash.empty() ? 1 : 0;
}

int downloadList(const wchar_t* listPath, bool shared) {
    const auto items = bench::readDownloadList(listPath);
    br::Status& status = br::globalStatus();
    unsigned long long total = 0;

    bench::Stopwatch stopwatch;
    const ULONGLONG startTick = GetTickCount64();
    br::HttpSession session;
    for (const auto& [url, file, size] : items) {
        if (!shared) {
            session.close();
        }
        // The same work per chunk as the update worker's progress report.
        uint64_t fileBytes = 0;
        br::ProgressCallback progress = [&status, &fileBytes, total, startTick](uint64_t received, uint64_t) {
            fileBytes = received;
            uint64_t done = total + received;
            double elapsed = static_cast<double>(GetTickCount64() - startTick) / 1000.0;
            std::lock_guard<std::mutex> hold(status.lock);
            status.bytesDone = done;
            if (elapsed > 0.25) {
                status.speed = static_cast<double>(done) / elapsed;
            }
        };
        br::DownloadAttempt attempt;
        br::HttpFailure failure;
        if (!br::downloadToFile(session, url, file, size, progress, attempt, failure)) {
            std::fprintf(stderr, "download failed: %s\n", failure.reason.c_str());
            return 1;
        }
        total += fileBytes;
    }
    stopwatch.print();
    std::printf("bytes=%llu files=%zu\n", total, items.size());
    return 0;
}

int updateFolder(const wchar_t* folder) {
    br::setInstallFolder(folder);
    br::Status& status = br::globalStatus();

    bench::Stopwatch stopwatch;
    br::RunUpdate(status);
    br::StatusSnapshot outcome = br::snapshotStatus(status);
    stopwatch.print();
    std::printf("succeeded=%d phase=%s error=%s\n", outcome.succeeded ? 1 : 0,
                outcome.phase.c_str(), outcome.error.c_str());
    return outcome.succeeded ? 0 : 1;
}

int installFrom(const wchar_t* manifest, const wchar_t* folder) {
    br::setInstallFolder(folder);
    br::Status& status = br::globalStatus();

    bench::Stopwatch stopwatch;
    br::RunUpdateFrom(status, manifest);
    br::StatusSnapshot outcome = br::snapshotStatus(status);
    stopwatch.print();
    std::printf("succeeded=%d files=%d error=%s\n", outcome.succeeded ? 1 : 0, outcome.filesTotal,
                outcome.error.c_str());
    return outcome.succeeded ? 0 : 1;
}

// The steps of an up-to-date run, each timed on its own: where its time goes.
int updateSteps(const wchar_t* folder) {
    br::setInstallFolder(folder);
    bench::Stopwatch whole;
    auto lap = [](const char* name, auto step) {
        bench::Stopwatch stopwatch;
        step();
        std::printf("%s=%.6f ", name, stopwatch.wall());
    };
    std::string body;
    br::HttpFailure failure;
    br::HttpSession session;
    br::Manifest manifest;
    br::StateCache state;
    size_t present = 0;
    lap("register", [] {
        br::UniqueHandle held;
        br::registerInstallation(held);
    });
    lap("fetch", [&] { br::fetchToMemory(session, br::manifestUrl(), body, failure); });
    lap("parse", [&] { br::parseManifest(body, manifest); });
    lap("readstate", [&] { state = br::readStateFile(folder); });
    lap("stamps", [&] {
        for (const br::ManifestEntry& entry : manifest.files) {
            present += br::getFileStamp(br::resolveInstallPath(folder, entry.path)).exists ? 1 : 0;
        }
    });
    lap("writestate", [&] { br::writeStateFile(folder, state); });
    whole.print();
    std::printf("files=%zu present=%zu records=%zu\n", manifest.files.size(), present, state.size());
    return present == manifest.files.size() && state.size() == present ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 3 && std::wcscmp(argv[1], L"hash") == 0) {
        return hashFile(argv[2]);
    }
    if ((argc == 3 || argc == 4) && std::wcscmp(argv[1], L"download") == 0) {
        return downloadList(argv[2], argc == 4 && std::wcscmp(argv[3], L"session") == 0);
    }
    if (argc == 3 && std::wcscmp(argv[1], L"update") == 0) {
        return updateFolder(argv[2]);
    }
    if (argc == 3 && std::wcscmp(argv[1], L"update-steps") == 0) {
        return updateSteps(argv[2]);
    }
    if ((argc == 4 || argc == 5) && std::wcscmp(argv[1], L"install") == 0) {
        if (argc == 5) {
            br::downloadLanes = static_cast<size_t>(std::wcstoul(argv[4], nullptr, 10));
        }
        return installFrom(argv[2], argv[3]);
    }
    std::fprintf(stderr, "usage: bench_driver hash <file> | download <list> | update <install folder>"
                         " | update-steps <install folder> | install <manifest url> <install folder> [lanes]\n");
    return 2;
}
