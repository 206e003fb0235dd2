#pragma once
// Shared by the stand-ins for the outside programs the launcher deals with
// (the client's start program, the multiplayer client, the game). They are
// test fixtures: each one appends what happens to it to a record file, one
// UTF-8 line per event, and ends by itself when its test is over.

#include <windows.h>
#include <shellapi.h>

#include <cwchar>
#include <string>
#include <vector>

#include "support/files.h"

namespace standin {

using br::folderOf;

inline std::wstring ownPath() {
    return br::runningProgramPath();
}

// Options come as "--name=value" or "--name"; anything else is ignored.
struct Options {
    std::vector<std::wstring> arguments;

    Options() {
        int count = 0;
        wchar_t** list = CommandLineToArgvW(GetCommandLineW(), &count);
        for (int i = 1; list != nullptr && i < count; ++i) {
            arguments.emplace_back(list[i]);
        }
        LocalFree(list);
    }
    bool has(const std::wstring& name) const {
        for (const std::wstring& a : arguments) {
            if (a == L"--" + name || a.rfind(L"--" + name + L"=", 0) == 0) {
                return true;
            }
        }
        return false;
    }
    std::wstring text(const std::wstring& name, const std::wstring& fallback) const {
        const std::wstring prefix = L"--" + name + L"=";
        for (const std::wstring& a : arguments) {
            if (a.rfind(prefix, 0) == 0) {
                return a.substr(prefix.size());
            }
        }
        return fallback;
    }
    int number(const std::wstring& name, int fallback) const {
        std::wstring value = text(name, L"");
        return value.empty() ? fallback : static_cast<int>(std::wcstol(value.c_str(), nullptr, 10));
    }
};

inline std::wstring& recordPath() {
    static std::wstring path;
    return path;
}

// The record file: "--record=<file>", by default "<program>.record" next to the program.
inline void openRecord(const Options& options, const wchar_t* defaultName) {
    recordPath() = options.text(L"record", folderOf(ownPath()) + L"\\" + defaultName);
}

inline void record(const std::wstring& line) {
    std::wstring full = line + L"\n";
    int size = WideCharToMultiByte(CP_UTF8, 0, full.c_str(), static_cast<int>(full.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, full.c_str(), static_cast<int>(full.size()), bytes.data(), size, nullptr, nullptr);
    HANDLE file = CreateFileW(recordPath().c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(file);
    }
}

// A stand-in ends when "standins.stop" appears next to its record file, or
// after "--lifetime-ms" (two minutes by default), so a failed test never
// leaves one running into the next.
inline ULONGLONG& endOfLife() {
    static ULONGLONG tick = 0;
    return tick;
}

inline void CALLBACK checkForEnd(HWND, UINT, UINT_PTR, DWORD) {
    std::wstring stopFile = folderOf(recordPath()) + L"\\standins.stop";
    if (GetTickCount64() >= endOfLife() || GetFileAttributesW(stopFile.c_str()) != INVALID_FILE_ATTRIBUTES) {
        record(L"end");
        ExitProcess(0);
    }
}

// Needs a message loop on this thread (a modal one will do).
inline void endWhenTold(const Options& options) {
    endOfLife() = GetTickCount64() + static_cast<ULONGLONG>(options.number(L"lifetime-ms", 120000));
    SetTimer(nullptr, 0, 100, checkForEnd);
}

inline void runMessageLoop() {
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

}  // namespace standin
