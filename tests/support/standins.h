#pragma once
// The tests' side of the stand-ins for the outside programs (tests/standins):
// a scratch folder for their records, starting and ending them, reading what
// they recorded, finding their windows.

#include <windows.h>
#include <tlhelp32.h>

#include <string>
#include <vector>

#include "common/name_case.h"
#include "common/text_encoding.h"
#include "common/win32_handles.h"
#include "support/files.h"

namespace standin {

using br::waitUntil;

inline std::wstring builtProgram(const std::wstring& name) {
    return br::builtFile(name);
}

// A stand-in still running from the build folder or from inside `folder`, or
// a copy of this program that this one started (a watcher the launch started).
inline bool standInRunning(const std::wstring& folder) {
    const std::wstring insideKey = br::fileNameKey(folder + L"\\");
    const std::wstring ownKey = br::fileNameKey(br::runningProgramPath());
    const std::wstring built[] = {br::fileNameKey(builtProgram(L"updater.exe")),
                                  br::fileNameKey(builtProgram(L"ragemp_v.exe")),
                                  br::fileNameKey(builtProgram(L"GTA5.exe"))};
    br::UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    if (!snapshot || !Process32FirstW(snapshot.get(), &entry)) {
        return false;
    }
    do {
        br::UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
        wchar_t image[MAX_PATH] = {};
        DWORD size = MAX_PATH;
        if (!process || !QueryFullProcessImageNameW(process.get(), 0, image, &size)) {
            continue;
        }
        const std::wstring key = br::fileNameKey(std::wstring(image, size));
        if (key.rfind(insideKey, 0) == 0 || (entry.th32ParentProcessID == GetCurrentProcessId() && key == ownKey)) {
            return true;
        }
        for (const std::wstring& program : built) {
            if (key == program) {
                return true;
            }
        }
    } while (Process32NextW(snapshot.get(), &entry));
    return false;
}

// A fresh folder under the temp folder, named after the test (with spaces, as
// players' folders have); at the end a "standins.stop" file ends every
// stand-in recording into it, and the folder goes once they have ended.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::wstring& name) {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        path = std::wstring(temp) + L"brindle test " + name + L" " + std::to_wstring(GetCurrentProcessId());
        br::removeTree(path);
        CreateDirectoryW(path.c_str(), nullptr);
    }
    ~ScratchFolder() {
        br::writeWholeFile(file(L"standins.stop"), "");
        // They look for the stop file ten times a second.
        waitUntil([&] { return !standInRunning(path); }, 10000);
        br::removeTree(path);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::wstring file(const std::wstring& name) const { return path + L"\\" + name; }

    std::wstring path;
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

// The record's lines, without their line ends; none for a missing file.
inline std::vector<std::string> readRecord(const std::wstring& path) {
    const std::string text = br::readWholeFile(path);
    std::vector<std::string> lines;
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
