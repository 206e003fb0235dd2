// At exit the shell leaves a running update to itself: the process's static
// objects are then destroyed while the worker may still read or write what it
// shares with the rest of the program. A copy of this program looks at those
// objects after every ordinary static object has been destroyed.

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "install/run_folder.h"
#include "support/files.h"
#include "update/status.h"

namespace br {
namespace {

const wchar_t kProbeVariable[] = L"BRINDLE_TEST_EXIT_PROBE";
constexpr wchar_t kProbeFolder[] = L"C:\\Thư mục cài đặt của người chơi\\Brindle";

// Constructed before, and so destroyed after, every static object of default
// priority, in this program's files and in the launcher's alike.
struct ExitProbe {
    ~ExitProbe() {
        if (result.empty()) {
            return;
        }
        // What a worker still running would find now.
        StatusSnapshot seen = snapshotStatus(globalStatus());
        const bool intact = installFolder() == kProbeFolder && !shortcutWanted() && seen.phase == "probe";
        HANDLE file = CreateFileW(result.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        WriteFile(file, intact ? "intact" : "changed", intact ? 6 : 7, &written, nullptr);
        CloseHandle(file);
    }
    std::wstring result;
};
ExitProbe exitProbe __attribute__((init_priority(101)));

TEST(ProcessExit, WhatTheWorkerSharesOutlivesStaticDestruction) {
    wchar_t result[MAX_PATH] = {};
    if (GetEnvironmentVariableW(kProbeVariable, result, MAX_PATH) != 0) {
        // The copy: set what a run shares, and return from main.
        setInstallFolder(kProbeFolder);
        setShortcutWanted(false);
        setPhase(globalStatus(), "probe");
        exitProbe.result = result;
        return;
    }
    TempFolder scratch;
    const std::wstring resultFile = scratch.file(L"exit.result");
    SetEnvironmentVariableW(kProbeVariable, resultFile.c_str());
    std::wstring commandLine = L"\"" + runningProgramPath() + L"\" --gtest_filter=ProcessExit.*";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    ASSERT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                               &started));
    SetEnvironmentVariableW(kProbeVariable, nullptr);
    UniqueHandle process(started.hProcess);
    UniqueHandle thread(started.hThread);
    ASSERT_EQ(WaitForSingleObject(process.get(), 60000), WAIT_OBJECT_0);
    DWORD code = 1;
    GetExitCodeProcess(process.get(), &code);
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(readWholeFile(resultFile), "intact");
}

}  // namespace
}  // namespace br
