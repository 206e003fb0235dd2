#pragma once
// The tests' side of the stand-ins: where they are, a scratch folder for their
// records, starting and ending them, reading what they recorded.

#include <windows.h>

#include <string>
#include <vector>

#include "common/text_encoding.h"

namespace standin {

// The stand-ins are built next to the test program.
inline std::wstring builtProgram(const std::wstring& name) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    return folder.substr(0, folder.find_last_of(L'\\')) + L"\\" + name;
}

// A fresh folder under the temp folder, named after the test; emptied and
// removed again at the end, after a "standins.stop" file has ended every
// stand-in recording into it.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::wstring& name) {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        path = std::wstring(temp) + L"brindle test " + name + L" " + std::to_wstring(GetCurrentProcessId());
        removeTree(path);
        CreateDirectoryW(path.c_str(), nullptr);
    }
    ~ScratchFolder() {
        HANDLE stop = CreateFileW(file(L"standins.stop").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        CloseHandle(stop);
        Sleep(300);
        removeTree(path);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::wstring file(const std::wstring& name) const { return path + L"\\" + name; }

    std::wstring path;

private:
    static void removeTree(const std::wstring& folder) {
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                std::wstring name = found.cFileName;
                if (name == L"." || name == L"..") {
                    continue;
                }
                std::wstring child = folder + L"\\" + name;
                if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    removeTree(child);
                } else {
                    DeleteFileW(child.c_str());
                }
            } while (FindNextFileW(search, &found));
            FindClose(search);
        }
        RemoveDirectoryW(folder.c_str());
    }
};

// One started stand-in; ended with the test at the latest.
class Running {
public:
    Running(const std::wstring& program, const std::wstring& arguments) {
        std::wstring commandLine = L"\"" + program + L"\" " + arguments;
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION started{};
        if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                           &started)) {
            CloseHandle(started.hThread);
            process = started.hProcess;
            id = started.dwProcessId;
        }
    }
    ~Running() {
        if (process != nullptr) {
            TerminateProcess(process, 0);
            WaitForSingleObject(process, 5000);
            CloseHandle(process);
        }
    }
    Running(const Running&) = delete;
    Running& operator=(const Running&) = delete;

    bool alive() const { return process != nullptr && WaitForSingleObject(process, 0) == WAIT_TIMEOUT; }

    HANDLE process = nullptr;
    DWORD id = 0;
};

inline std::vector<std::string> readRecord(const std::wstring& path) {
    std::vector<std::string> lines;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return lines;
    }
    std::string text;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) {
        text.append(buffer, read);
    }
    CloseHandle(file);
    size_t begin = 0;
    for (size_t end; (end = text.find('\n', begin)) != std::string::npos; begin = end + 1) {
        lines.push_back(text.substr(begin, end - begin));
    }
    return lines;
}

inline bool recordHas(const std::wstring& path, const std::string& line) {
    for (const std::string& recorded : readRecord(path)) {
        if (recorded == line) {
            return true;
        }
    }
    return false;
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

inline std::string windowTitle(HWND window) {
    wchar_t title[256] = {};
    GetWindowTextW(window, title, 256);
    return br::wideToUtf8(title);
}

struct WindowSearch {
    DWORD processId;
    HWND found;
};

inline BOOL CALLBACK matchVisibleWindowOf(HWND window, LPARAM search) {
    auto* wanted = reinterpret_cast<WindowSearch*>(search);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == wanted->processId && IsWindowVisible(window)) {
        wanted->found = window;
        return FALSE;
    }
    return TRUE;
}

// The visible top-level window of a process, or null.
inline HWND visibleWindowOf(DWORD processId) {
    WindowSearch search{processId, nullptr};
    EnumWindows(matchVisibleWindowOf, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace standin
