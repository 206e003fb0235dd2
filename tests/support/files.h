#pragma once
// Files and folders for the tests: where the running test program and the
// programs built beside it are, fresh folders under the user's temp folder,
// and plain whole-file reads and writes.

#include <windows.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <system_error>

#include "common/win32_handles.h"

namespace br {

inline std::wstring runningProgramPath() {
    std::wstring path(32768, L'\0');
    DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(length);
    return path;
}

// Without a trailing separator; "." for a bare name.
inline std::wstring folderOf(const std::wstring& path) {
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring(L".") : path.substr(0, slash);
}

// The test program's folder, where the build puts the stand-ins, the helpers
// and the generated fonts.
inline std::wstring builtFile(const std::wstring& name) {
    return folderOf(runningProgramPath()) + L"\\" + name;
}

inline bool isFolder(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

inline bool fileExists(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// A file, or a folder with everything in it; whatever cannot go stays.
inline void removeTree(const std::wstring& path) {
    if (!isFolder(path)) {
        DeleteFileW(path.c_str());
        return;
    }
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

// A new, empty folder under the user's temp folder, unique to this process and
// call, named after the tag (which may hold spaces and any letters).
inline std::wstring makeTempFolder(const std::wstring& tag = L"test") {
    static std::atomic<unsigned> counter{0};
    wchar_t temp[MAX_PATH + 1] = {};
    DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    std::wstring folder = std::wstring(temp, length) + L"brindle-" + tag + L"-" +
                          std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(counter++);
    removeTree(folder);
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

// makeTempFolder's folder for one test, removed with everything in it at the end.
class TempFolder {
public:
    explicit TempFolder(const std::wstring& tag = L"test") : folder(makeTempFolder(tag)) {}
    ~TempFolder() { removeTree(folder); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // Without a trailing backslash.
    const std::wstring& path() const { return folder; }
    std::wstring file(const std::wstring& name) const { return folder + L"\\" + name; }

private:
    std::wstring folder;
};

inline bool writeWholeFile(const std::wstring& path, const std::string& content) {
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                  nullptr));
    DWORD written = 0;
    return file && WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr) &&
           written == content.size();
}

// Empty both for an empty and for a missing file; check existence separately.
inline std::string readWholeFile(const std::wstring& path) {
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string content;
    char block[65536];
    DWORD got = 0;
    while (file && ReadFile(file.get(), block, sizeof(block), &got, nullptr) && got > 0) {
        content.append(block, got);
    }
    return content;
}

// Polls until `ready` holds or the time is up; true when it held.
template <typename Condition>
bool waitUntil(Condition ready, DWORD timeoutMs = 15000) {
    ULONGLONG end = GetTickCount64() + timeoutMs;
    while (!ready()) {
        if (GetTickCount64() >= end) {
            return false;
        }
        Sleep(20);
    }
    return true;
}

}  // namespace br
