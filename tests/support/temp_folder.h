#pragma once
// A fresh folder under the user's temp folder for one test, removed with
// everything in it when the test ends, plus plain whole-file helpers.

#include <windows.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <system_error>

#include "common/win32_handles.h"

namespace br {

class TempFolder {
public:
    TempFolder() {
        static std::atomic<unsigned> counter{0};
        wchar_t temp[MAX_PATH + 1] = {};
        GetTempPathW(MAX_PATH + 1, temp);
        folder = std::wstring(temp) + L"brindle-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                 std::to_wstring(GetTickCount64()) + L"-" + std::to_wstring(counter++);
        CreateDirectoryW(folder.c_str(), nullptr);
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
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

inline bool fileExists(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace br
