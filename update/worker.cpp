#include "update/worker.h"

#include <windows.h>

#include <algorithm>
#include <exception>
#include <set>
#include <string>
#include <vector>

#include "common/text_encoding.h"
#include "install/install_location.h"
#include "install/registration.h"
#include "update/file_state.h"
#include "update/http_client.h"
#include "update/manifest.h"
#include "update/status.h"

namespace br {

namespace {

// The client's own executable is re-hashed every run: the client may patch it
// in place without changing its size or time stamp.
constexpr char kAlwaysHashedName[] = "ragemp_v.exe";

std::string fileNameOf(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool equalsIgnoringAsciiCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) {
            return false;
        }
    }
    return true;
}

uint64_t fileTimeValue(const FILETIME& time) {
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// The text of a manifest hash ends up in a temp file name: only plain hex may.
bool isHashText(const std::string& text) {
    return text.size() == 64 && std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
           });
}

// The file system ignores letter case, so the removal steps do too: a path that
// names a file of the current release in any case is never deleted.
std::wstring foldCase(std::wstring path) {
    if (!path.empty()) {
        CharUpperBuffW(path.data(), static_cast<DWORD>(path.size()));
    }
    return path;
}

void deleteUnlessKept(const std::wstring& folder, const std::string& relativePath,
                      const std::set<std::wstring>& kept) {
    std::wstring target = resolveInstallPath(folder, relativePath);
    if (target.empty() || isOwnExecutable(target) || kept.count(foldCase(target)) != 0) {
        return;
    }
    if (GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES) {
        DeleteFileW(target.c_str());
    }
}

}  // namespace

void RunUpdate(Status& status) {
    setPhase(status, "Đang chuẩn bị");
    registerInstallation();

    setPhase(status, "Đang kiểm tra phiên bản");
    std::string body;
    std::string reason;
    if (!fetchToMemory(manifestUrl(), body, reason)) {
        setFailed(status, "Không thể kết nối máy chủ: " + reason);
        return;
    }
    Manifest manifest;
    bool parsed = false;
    try {
        parsed = parseManifest(body, manifest);
    } catch (const std::exception&) {
        parsed = false;
    }
    if (!parsed) {
        setFailed(status, "Không đọc được manifest.");
        return;
    }
    body.clear();
    body.shrink_to_fit();

    const std::wstring folder = installFolder();
    const StateCache previous = readStateFile(folder);
    StateCache current;

    setPhase(status, "Đang kiểm tra tệp");
    {
        std::lock_guard<std::mutex> hold(status.lock);
        status.filesTotal = static_cast<int32_t>(manifest.files.size());
        status.filesDone = 0;
    }

    std::vector<ManifestEntry> toDownload;
    uint64_t bytesToDownload = 0;
    int32_t checked = 0;
    for (const ManifestEntry& entry : manifest.files) {
        std::wstring target = resolveInstallPath(folder, entry.path);
        if (!target.empty()) {
            bool upToDate = false;
            uint64_t size = 0;
            uint64_t lastWrite = 0;
            WIN32_FILE_ATTRIBUTE_DATA info;
            if (GetFileAttributesExW(target.c_str(), GetFileExInfoStandard, &info) &&
                (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
                size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
                lastWrite = fileTimeValue(info.ftLastWriteTime);
                auto record = previous.find(entry.path);
                bool vouched = !equalsIgnoringAsciiCase(fileNameOf(entry.path), kAlwaysHashedName) &&
                               record != previous.end() && record->second.size == size &&
                               record->second.lastWriteTime == lastWrite;
                if (vouched) {
                    upToDate = record->second.sha256 == entry.sha256;
                } else if (size == entry.size) {
                    upToDate = sha256OfFile(target) == entry.sha256;
                }
            }
            if (upToDate) {
                current[entry.path] = StateEntry{entry.sha256, size, lastWrite};
            } else {
                bytesToDownload += entry.size;
                toDownload.push_back(entry);
            }
        }
        ++checked;
        std::lock_guard<std::mutex> hold(status.lock);
        status.filesDone = checked;
        status.detail = entry.path;
    }

    {
        std::lock_guard<std::mutex> hold(status.lock);
        status.bytesTotal = bytesToDownload;
        status.filesTotal = static_cast<int32_t>(toDownload.size());
        status.filesDone = 0;
        status.detail.clear();
    }

    const std::wstring tempFolder = prepareTempFolder();
    uint64_t byteBase = 0;
    const ULONGLONG startTick = GetTickCount64();
    setPhase(status, toDownload.empty() ? "Đã là bản mới nhất" : "Đang tải dữ liệu cập nhật");

    for (size_t index = 0; index < toDownload.size(); ++index) {
        const ManifestEntry& item = toDownload[index];
        {
            std::lock_guard<std::mutex> hold(status.lock);
            status.detail = item.path;
            status.filesDone = static_cast<int32_t>(index);
        }
        if (!isHashText(item.sha256)) {
            setFailed(status, "Lỗi xác minh: " + item.path);
            return;
        }
        if (tempFolder.empty()) {
            setFailed(status, "Lỗi tải (" + item.path + "): cannot create temp file");
            return;
        }
        const std::wstring tempFile = tempFolder + utf8ToWide(item.sha256) + L".part";
        ProgressCallback progress = [&status, byteBase, startTick, &item](uint64_t received, uint64_t) {
            // A body longer than announced must not push the bar past this file's share.
            uint64_t done = byteBase + std::min(received, item.size);
            double seconds = static_cast<double>(GetTickCount64() - startTick) / 1000.0;
            std::lock_guard<std::mutex> hold(status.lock);
            status.bytesDone = done;
            if (seconds > 0.25) {
                status.speed = static_cast<double>(done) / seconds;
            }
        };
        if (!downloadToFile(utf8ToWide(item.url), tempFile, progress, reason)) {
            DeleteFileW(tempFile.c_str());
            setFailed(status, "Lỗi tải (" + item.path + "): " + reason);
            return;
        }
        if (sha256OfFile(tempFile) != item.sha256) {
            DeleteFileW(tempFile.c_str());
            setFailed(status, "Lỗi xác minh: " + item.path);
            return;
        }
        std::wstring target = resolveInstallPath(folder, item.path);
        if (isOwnExecutable(target)) {
            // Never overwrite the running launcher; registration refreshes the installed copy.
            DeleteFileW(tempFile.c_str());
        } else {
            createParentDirectories(target);
            if (!MoveFileExW(tempFile.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED)) {
                DeleteFileW(tempFile.c_str());
                setFailed(status, "Không ghi được tệp: " + item.path);
                return;
            }
            FileStamp stamp = getFileStamp(target);
            current[item.path] = StateEntry{item.sha256, stamp.size, stamp.lastWriteTime};
        }
        byteBase += item.size;
        std::lock_guard<std::mutex> hold(status.lock);
        status.bytesDone = byteBase;
        status.filesDone = static_cast<int32_t>(index + 1);
    }

    std::set<std::string> listed;
    std::set<std::wstring> kept;
    for (const ManifestEntry& entry : manifest.files) {
        listed.insert(entry.path);
        std::wstring target = resolveInstallPath(folder, entry.path);
        if (!target.empty()) {
            kept.insert(foldCase(target));
        }
    }
    for (const auto& record : previous) {
        if (listed.count(record.first) == 0) {
            deleteUnlessKept(folder, record.first, kept);
        }
    }
    writeStateFile(folder, current);
    for (const std::string& path : manifest.deletes) {
        deleteUnlessKept(folder, path, kept);
    }

    setSucceeded(status);
}

}  // namespace br
