#include "update/worker.h"

#include <windows.h>

#include <algorithm>
#include <exception>
#include <set>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "common/name_case.h"
#include "common/product.h"
#include "common/text_encoding.h"
#include "install/download_folder.h"
#include "install/game_launch.h"
#include "install/install_paths.h"
#include "install/launcher_swap.h"
#include "install/links.h"
#include "install/registration.h"
#include "install/run_folder.h"
#include "install/settings.h"
#include "update/file_state.h"
#include "update/http_client.h"
#include "update/manifest.h"
#include "update/retries.h"
#include "update/signature.h"
#include "update/status.h"

namespace br {

namespace {

// The client's own executable is re-hashed every run: the client may patch it
// in place without changing its size or time stamp.
constexpr char kAlwaysHashedName[] = BRINDLE_CLIENT_EXE;


// The files that the check found missing or different, in manifest order.
struct DownloadList {
    std::vector<ManifestEntry> items;
    uint64_t bytes = 0;
};

// Progress that goes beyond the phase: the fields that belong together are
// written under one hold of the lock.
template <typename Change>
void report(Status& status, Change change) {
    std::lock_guard<std::mutex> hold(status.lock);
    change(status);
}

std::string fileNameOf(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool isStartProgram(const std::wstring& target, const std::wstring& folder) {
    return sameFileName(target, folder + L"\\" + clientProgramFileName());
}

// Whether the previous state may vouch for the file. Never for the client's
// executable, nor for the start program that the launch runs with
// administrator rights: the state file may sit in a folder that others can
// write, so a swapped file with the recorded size and time would otherwise be
// started unchecked.
bool stateMayVouchFor(const ManifestEntry& entry, const std::wstring& target, const std::wstring& folder) {
    return !sameFileName(fileNameOf(entry.path), kAlwaysHashedName) && !isStartProgram(target, folder);
}

// Where a manifest path lands; empty when the path rules refuse it or when it
// names one of the launcher's own files there (the state file, its side file,
// the launcher put aside, the download folder and what is in it), which no
// release installs, removes or deletes.
std::wstring installTarget(const std::wstring& folder, const std::string& path) {
    std::wstring target = resolveInstallPath(folder, path);
    const std::wstring key = fileNameKey(target);
    const std::wstring downloads = fileNameKey(downloadFolder(folder));
    if (key == fileNameKey(stateFilePath(folder)) || key == fileNameKey(stateFilePath(folder) + L".new") ||
        key == fileNameKey(asideLauncherPath(folder)) || key + L"\\" == downloads ||
        key.rfind(downloads, 0) == 0) {
        return std::wstring();
    }
    return target;
}

// The text of a manifest hash ends up in a temp file name: only plain hex may.
bool isHashText(const std::string& text) {
    return text.size() == 64 && std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
           });
}

// In a build with a key, no manifest is read that its signature, fetched from
// beside it, does not vouch for: whoever controls the server, a mirror or the
// network cannot hand the launcher files of their own.
bool signedBy(const std::wstring& address, const PublicKey& key, const std::string& body, HttpSession& http) {
    std::string text;
    HttpFailure failure;
    Signature signature;
    return fetchWithRetries(http, address + L".sig", text, failure) && parseSignatureText(text, signature) &&
           signatureMatches(key, body, signature);
}

// A signed release never gives way to an older one, although that was signed
// too: whoever serves the files cannot hold players at a release whose faults
// are known by then. The highest sequence accepted so far is kept where only
// administrators can write; the same release again is taken.
bool isCurrentRelease(const Manifest& manifest) {
    uint64_t highest = 0;
    return manifest.hasSequence && (!readMachineQword(kSequenceValue, highest) || manifest.sequence >= highest);
}

bool fetchManifest(Status& status, const std::wstring& address, Manifest& manifest, HttpSession& http) {
    setPhase(status, "Đang kiểm tra phiên bản");
    std::string body;
    HttpFailure failure;
    if (!fetchWithRetries(http, address, body, failure)) {
        setFailed(status, "Không thể kết nối máy chủ: " + failure.reason);
        return false;
    }
    PublicKey key;
    const bool signedBuild = builtInManifestKey(key);
    if (signedBuild && !signedBy(address, key, body, http)) {
        setFailed(status, "Không xác thực được manifest.");
        return false;
    }
    bool parsed = false;
    try {
        parsed = parseManifest(body, manifest);
    } catch (const std::exception&) {
        parsed = false;
    }
    if (!parsed) {
        setFailed(status, "Không đọc được manifest.");
        return false;
    }
    if (signedBuild && !isCurrentRelease(manifest)) {
        setFailed(status, "Không xác thực được manifest.");
        return false;
    }
    return true;
}

void rememberAcceptedRelease(const Manifest& manifest) {
    PublicKey key;
    if (builtInManifestKey(key)) {
        writeMachineQword(kSequenceValue, manifest.sequence);
    }
}

// A manifest of which not one file could be installed is as unreadable as one
// without files: the removal of dropped files would otherwise empty the folder.
bool installsAnything(const Manifest& manifest, const std::wstring& folder) {
    return std::any_of(manifest.files.begin(), manifest.files.end(),
                       [&](const ManifestEntry& entry) { return !installTarget(folder, entry.path).empty(); });
}

// The previous state vouches for a file whose size and time it recorded, so
// such a file is not read; a file of another size than the manifest's is not
// read either.
bool isUpToDate(const ManifestEntry& entry, const std::wstring& target, const std::wstring& folder,
                const FileStamp& stamp, const StateCache& previous) {
    auto record = previous.find(entry.path);
    bool vouched = stateMayVouchFor(entry, target, folder) && record != previous.end() &&
                   record->second.size == stamp.size && record->second.lastWriteTime == stamp.lastWriteTime;
    if (vouched) {
        return record->second.sha256 == entry.sha256;
    }
    return stamp.size == entry.size && sha256OfFile(target) == entry.sha256;
}

// Records every file that is already right in current; returns the others.
DownloadList checkFiles(Status& status, const Manifest& manifest, const std::wstring& folder,
                        const StateCache& previous, StateCache& current) {
    setPhase(status, "Đang kiểm tra tệp");
    report(status, [&](Status& s) {
        s.filesTotal = static_cast<int32_t>(manifest.files.size());
        s.filesDone = 0;
    });

    DownloadList downloads;
    int32_t checked = 0;
    for (const ManifestEntry& entry : manifest.files) {
        std::wstring target = installTarget(folder, entry.path);
        // A launcher that did not come up is not fetched again, nor recorded;
        // the one in place stays.
        if (isLauncherCopy(target, folder) && isRefusedLauncher(entry.sha256)) {
            target.clear();
        }
        if (!target.empty()) {
            FileStamp stamp = getFileStamp(target);
            if (stamp.exists && isUpToDate(entry, target, folder, stamp, previous)) {
                current[entry.path] = StateEntry{entry.sha256, stamp.size, stamp.lastWriteTime};
                if (isStartProgram(target, folder)) {
                    setVerifiedStartProgram(entry.sha256);
                }
            } else {
                downloads.bytes += entry.size;
                downloads.items.push_back(entry);
            }
        }
        ++checked;
        report(status, [&](Status& s) {
            s.filesDone = checked;
            s.detail = entry.path;
        });
    }

    report(status, [&](Status& s) {
        s.bytesTotal = downloads.bytes;
        s.filesTotal = static_cast<int32_t>(downloads.items.size());
        s.filesDone = 0;
        s.detail.clear();
    });
    return downloads;
}

// Never through a link: not a folder on the way, nor the file itself; looked
// at before the folders are made and again right before the move. The
// download folder lies in the install folder, so the move is a rename, never
// a copy: the file keeps the descriptor it inherited there.
bool moveIntoPlace(const std::wstring& tempFile, const std::wstring& folder, const std::wstring& target) {
    if (linkOnTheWay(folder, target)) {
        return false;
    }
    createParentDirectories(target);
    return !linkOnTheWay(folder, target) &&
           MoveFileExW(tempFile.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING);
}

// Brings tempFile to the content the manifest names; on failure, error is
// the run's text for it. A part that a run before left complete (it ended
// between download and move) needs no download. A resumed file whose whole
// fails the hash may have begun with wrong bytes: it is fetched once more
// from its start. A part is kept after a failure only when the line failed
// or the step was stopped: its bytes are then the right beginning.
bool fetchVerified(const ManifestEntry& item, const std::wstring& tempFile, const ProgressCallback& progress,
                   HttpSession& http, std::string& error) {
    const FileStamp part = getFileStamp(tempFile);
    if (part.exists && part.size == item.size && sha256OfFile(tempFile) == item.sha256) {
        return true;
    }
    for (int pass = 0;; ++pass) {
        bool resumed = false;
        HttpFailure failure;
        if (!downloadWithRetries(http, utf8ToWide(item.url), tempFile, item.size, progress, resumed, failure)) {
            if (failure.kind == HttpFailureKind::Final) {
                DeleteFileW(tempFile.c_str());
            }
            error = "Lỗi tải (" + item.path + "): " + failure.reason;
            return false;
        }
        if (sha256OfFile(tempFile) == item.sha256) {
            return true;
        }
        DeleteFileW(tempFile.c_str());
        if (!resumed || pass > 0) {
            error = "Lỗi xác minh: " + item.path;
            return false;
        }
    }
}

std::wstring partFileName(const ManifestEntry& item) {
    return utf8ToWide(item.sha256) + L".part";
}

// A verified launcher for the running one's place, which takes it only once
// every other file is in.
struct NewLauncher {
    ManifestEntry item;
    std::wstring file;  // empty: none
};

// The download step: up to downloadLanes files at a time, each lane on its
// own connection taking the next file in manifest order as it finishes one.
// The first file that fails for good stops the step. What the lanes share is
// guarded by lock, which is taken before the status's.
struct DownloadStep {
    DownloadStep(Status& status, const DownloadList& downloads, const std::wstring& folder, StateCache& current,
                 NewLauncher& launcher)
        : status(status), downloads(downloads), folder(folder), current(current), launcher(launcher) {}

    Status& status;
    const DownloadList& downloads;
    const std::wstring& folder;
    StateCache& current;
    NewLauncher& launcher;
    std::wstring tempFolder;
    ULONGLONG startTick = 0;
    StopSignal stop;

    std::mutex lock;
    size_t next = 0;               // the next file to start
    int32_t filesDone = 0;
    uint64_t bytesDone = 0;        // of the files done
    uint64_t arrivedDone = 0;      // over the network, for files done or given up
    std::vector<uint64_t> shown;   // per lane: bytes of its file on disk, never back
    std::vector<uint64_t> arrived; // per lane: bytes over the network for its file
    std::string error;             // the text of the first file that failed for good
};

// Under step.lock: the bar over all lanes, which never goes back since no
// lane's share does and a finished file's size replaces its share.
void reportProgress(DownloadStep& step) {
    uint64_t done = step.bytesDone;
    uint64_t arrived = step.arrivedDone;
    for (size_t lane = 0; lane < step.shown.size(); ++lane) {
        done += step.shown[lane];
        arrived += step.arrived[lane];
    }
    const double seconds = static_cast<double>(GetTickCount64() - step.startTick) / 1000.0;
    report(step.status, [&](Status& s) {
        s.bytesDone = std::min(done, step.downloads.bytes);
        s.filesDone = step.filesDone;
        if (seconds > 0.25) {
            s.speed = static_cast<double>(arrived) / seconds;
        }
    });
}

// Download, verify, move into place, record.
bool installFile(DownloadStep& step, size_t lane, const ManifestEntry& item, HttpSession& http,
                 std::string& error) {
    if (!isHashText(item.sha256)) {
        error = "Lỗi xác minh: " + item.path;
        return false;
    }
    if (step.tempFolder.empty()) {
        error = "Lỗi tải (" + item.path + "): cannot create temp file";
        return false;
    }
    const std::wstring tempFile = step.tempFolder + partFileName(item);
    // A link left under the temp file's name would take the download elsewhere;
    // deleting it removes the link, not what it points to.
    if (isLink(tempFile)) {
        DeleteFileW(tempFile.c_str());
    }
    ProgressCallback progress = [&](uint64_t position, uint64_t arrived) {
        std::lock_guard<std::mutex> hold(step.lock);
        step.shown[lane] = std::max(step.shown[lane], std::min(position, item.size));
        step.arrived[lane] = arrived;
        reportProgress(step);
    };
    if (!fetchVerified(item, tempFile, progress, http, error)) {
        return false;
    }
    std::wstring target = installTarget(step.folder, item.path);
    if (isOwnExecutable(target)) {
        if (isLauncherCopy(target, step.folder)) {
            std::lock_guard<std::mutex> hold(step.lock);
            step.launcher = NewLauncher{item, tempFile};
            return true;
        }
        // Under another name the running launcher is never replaced.
        DeleteFileW(tempFile.c_str());
        return true;
    }
    if (!moveIntoPlace(tempFile, step.folder, target)) {
        DeleteFileW(tempFile.c_str());
        error = "Không ghi được tệp: " + item.path;
        return false;
    }
    FileStamp stamp = getFileStamp(target);
    std::lock_guard<std::mutex> hold(step.lock);
    step.current[item.path] = StateEntry{item.sha256, stamp.size, stamp.lastWriteTime};
    if (isStartProgram(target, step.folder)) {
        setVerifiedStartProgram(item.sha256);
    }
    return true;
}

// One lane: files one after another on one kept connection until none is
// left or the step stops.
void runLane(DownloadStep& step, size_t lane) {
    HttpSession http;
    http.stop = &step.stop;
    for (;;) {
        size_t index = 0;
        {
            std::lock_guard<std::mutex> hold(step.lock);
            if (step.stop.raised() || step.next == step.downloads.items.size()) {
                return;
            }
            index = step.next++;
            report(step.status, [&](Status& s) { s.detail = step.downloads.items[index].path; });
        }
        const ManifestEntry& item = step.downloads.items[index];
        std::string error;
        const bool installed = installFile(step, lane, item, http, error);
        std::lock_guard<std::mutex> hold(step.lock);
        step.arrivedDone += step.arrived[lane];
        step.arrived[lane] = 0;
        step.shown[lane] = 0;
        if (installed) {
            step.bytesDone += item.size;
            ++step.filesDone;
        } else if (step.error.empty()) {
            // Files that the stop ended fail too: only the first failure counts.
            step.error = error;
            step.stop.raise();
        }
        reportProgress(step);
    }
}

// The lanes run on threads of their own and on the worker's, which joins
// them before it returns; a lane that cannot be started leaves its share to
// the others.
bool downloadAll(Status& status, const DownloadList& downloads, const std::wstring& folder, StateCache& current,
                 NewLauncher& launcher) {
    removeOldDownloadFolder();
    DownloadStep step(status, downloads, folder, current, launcher);
    step.tempFolder = prepareTempFolder(folder);
    if (!step.tempFolder.empty()) {
        // The parts of this release's downloads are continued; the others would
        // only fill the disk.
        std::vector<std::wstring> wanted;
        for (const ManifestEntry& item : downloads.items) {
            wanted.push_back(partFileName(item));
        }
        removePartsExcept(step.tempFolder, wanted);
    }
    step.startTick = GetTickCount64();
    setPhase(status, downloads.items.empty() ? "Đã là bản mới nhất" : "Đang tải dữ liệu cập nhật");

    const size_t laneCount = std::max<size_t>(1, std::min(downloadLanes, downloads.items.size()));
    step.shown.assign(laneCount, 0);
    step.arrived.assign(laneCount, 0);
    std::vector<std::thread> lanes;
    for (size_t lane = 1; lane < laneCount; ++lane) {
        try {
            lanes.emplace_back(runLane, std::ref(step), lane);
        } catch (const std::system_error&) {
            break;
        }
    }
    runLane(step, 0);
    for (std::thread& lane : lanes) {
        lane.join();
    }
    if (!step.error.empty()) {
        setFailed(status, step.error);
        return false;
    }
    return true;
}

// The running launcher goes aside and the new one takes its name, so that
// the next start is the new launcher's; recorded like any file.
bool swapLauncher(Status& status, const NewLauncher& launcher, const std::wstring& folder, StateCache& current) {
    if (launcher.file.empty()) {
        return true;
    }
    const std::wstring target = launcherCopyPath(folder);
    if (linkOnTheWay(folder, target) || !swapInLauncher(launcher.file, folder)) {
        DeleteFileW(launcher.file.c_str());
        setFailed(status, "Không ghi được tệp: " + launcher.item.path);
        return false;
    }
    FileStamp stamp = getFileStamp(target);
    current[launcher.item.path] = StateEntry{launcher.item.sha256, stamp.size, stamp.lastWriteTime};
    setReplacedLauncher(launcher.item.sha256);
    return true;
}

// The files of this release as the file system names them: a path that names
// one of them in any letter case is never deleted.
std::set<std::wstring> releaseFileKeys(const Manifest& manifest, const std::wstring& folder) {
    std::set<std::wstring> kept;
    for (const ManifestEntry& entry : manifest.files) {
        std::wstring target = installTarget(folder, entry.path);
        if (!target.empty()) {
            kept.insert(fileNameKey(target));
        }
    }
    return kept;
}

void deleteUnlessKept(const std::wstring& folder, const std::string& relativePath,
                      const std::set<std::wstring>& kept) {
    std::wstring target = installTarget(folder, relativePath);
    if (target.empty() || isOwnExecutable(target) || kept.count(fileNameKey(target)) != 0 ||
        linkOnTheWay(folder, target)) {
        return;
    }
    if (GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES) {
        DeleteFileW(target.c_str());
    }
}

// Files the previous run recorded that this manifest no longer lists.
void removeDroppedFiles(const Manifest& manifest, const StateCache& previous, const std::wstring& folder,
                        const std::set<std::wstring>& kept) {
    std::set<std::string> listed;
    for (const ManifestEntry& entry : manifest.files) {
        listed.insert(entry.path);
    }
    for (const auto& record : previous) {
        if (listed.count(record.first) == 0) {
            deleteUnlessKept(folder, record.first, kept);
        }
    }
}

void applyDeletes(const Manifest& manifest, const std::wstring& folder, const std::set<std::wstring>& kept) {
    for (const std::string& path : manifest.deletes) {
        deleteUnlessKept(folder, path, kept);
    }
}

}  // namespace

size_t downloadLanes = BRINDLE_DOWNLOAD_LANES;

void RunUpdate(Status& status) {
    RunUpdateFrom(status, manifestUrl());
}

void RunUpdateFrom(Status& status, const std::wstring& manifestAddress) {
    setPhase(status, "Đang chuẩn bị");
    setVerifiedStartProgram("");
    setReplacedLauncher("");
    // Held until the run returns: the folder cannot be renamed or replaced meanwhile.
    UniqueHandle heldFolder;
    if (!registerInstallation(heldFolder)) {
        setFailed(status, "Không ghi được tệp: " + wideToUtf8(installFolder()));
        return;
    }
    const std::wstring folder = installFolder();
    removeAsideLauncher(folder);

    // The manifest and its signature come over one kept connection, closed
    // once they are in: the download step opens its own.
    HttpSession http;
    Manifest manifest;
    if (!fetchManifest(status, manifestAddress, manifest, http)) {
        return;
    }
    http.close();

    if (!installsAnything(manifest, folder)) {
        setFailed(status, "Không đọc được manifest.");
        return;
    }
    rememberAcceptedRelease(manifest);
    const StateCache previous = readStateFile(folder);
    StateCache current;
    const DownloadList downloads = checkFiles(status, manifest, folder, previous, current);
    NewLauncher launcher;
    if (!downloadAll(status, downloads, folder, current, launcher) ||
        !swapLauncher(status, launcher, folder, current)) {
        return;
    }

    const std::set<std::wstring> kept = releaseFileKeys(manifest, folder);
    removeDroppedFiles(manifest, previous, folder, kept);
    writeStateFile(folder, current);
    applyDeletes(manifest, folder, kept);

    setSucceeded(status);
}

}  // namespace br
