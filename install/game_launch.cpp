#include "install/game_launch.h"

#include <windows.h>
#include <shellapi.h>

#include <cstddef>
#include <cstdint>

#include "common/name_case.h"
#include "common/win32_handles.h"
#include "install/install_paths.h"
#include "install/run_folder.h"
#include "update/file_state.h"

namespace br {

namespace {

// Written by the worker, read by the launch once the run has ended; never
// destroyed, like everything a detached worker may still write.
std::string& verifiedStartProgram = *new std::string();

// The client's start program name is kept out of the program's plain text:
// each UTF-16 unit is XORed at build time with a keystream unit whose high and
// low bytes come from two integer hashes of the unit's position.
constexpr uint32_t hashPosition(uint32_t position, uint32_t seed) {
    uint32_t x = position ^ seed;
    x *= 0x7feb352dU;
    x ^= x >> 15;
    x *= 0x846ca68bU;
    x ^= x >> 16;
    x *= 0x9e3779b1U;
    x ^= x >> 13;
    return x;
}

constexpr uint32_t highByteSeed = 0x3c6ef372U;
constexpr uint32_t lowByteSeed = 0xa54ff53aU;

constexpr wchar_t keystreamUnit(size_t position) {
    const uint32_t high = hashPosition(static_cast<uint32_t>(position), highByteSeed) & 0xffU;
    const uint32_t low = hashPosition(static_cast<uint32_t>(position), lowByteSeed) & 0xffU;
    return static_cast<wchar_t>((high << 8) | low);
}

constexpr size_t clientProgramNameLength = 11;

struct ScrambledName {
    wchar_t units[clientProgramNameLength] = {};
};

constexpr ScrambledName scramble(const wchar_t (&plain)[clientProgramNameLength + 1]) {
    ScrambledName scrambled;
    for (size_t i = 0; i < clientProgramNameLength; ++i) {
        scrambled.units[i] = static_cast<wchar_t>(plain[i] ^ keystreamUnit(i));
    }
    return scrambled;
}

constexpr ScrambledName clientProgramName = scramble(L"updater.exe");

}  // namespace

std::wstring clientProgramFileName() {
    std::wstring name(clientProgramNameLength, L'\0');
    for (size_t i = 0; i < clientProgramNameLength; ++i) {
        name[i] = static_cast<wchar_t>(clientProgramName.units[i] ^ keystreamUnit(i));
    }
    return name;
}

void setVerifiedStartProgram(const std::string& sha256) {
    verifiedStartProgram = sha256;
}

// What the start program must hash to: what this run verified, or, when the
// run did not get as far, what an earlier run recorded in the state file.
std::string expectedStartProgram(const std::wstring& folder, const std::wstring& path) {
    if (!verifiedStartProgram.empty()) {
        return verifiedStartProgram;
    }
    for (const auto& [recorded, entry] : readStateFile(folder)) {
        if (sameFileName(resolveInstallPath(folder, recorded), path)) {
            return entry.sha256;
        }
    }
    return std::string();
}

bool launchGame() {
    return launchGameFrom(installFolder());
}

bool launchGameFrom(const std::wstring& folder) {
    const std::wstring path = folder + L"\\" + clientProgramFileName();
    const std::string expected = expectedStartProgram(folder, path);
    // Held without write or delete sharing from its hash until the process
    // exists: the bytes that start are the bytes that were checked.
    UniqueHandle program(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    if (expected.empty() || !program || sha256OfOpenFile(program.get()) != expected) {
        return false;
    }

    std::wstring commandLine = L"\"" + path + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION client{};
    const BOOL started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                        folder.c_str(), &startup, &client);
    program.reset();
    if (!started) {
        return false;
    }
    // The client runs on by itself; the launcher never waits for it.
    CloseHandle(client.hThread);
    CloseHandle(client.hProcess);

    startTitleWatcher();
    return true;
}

const DWORD pauseBetweenAttempts = 200;
const int watcherAttempts = 3;

static bool startWatcherOnce(const wchar_t* ownPath, DWORD livenessWait) {
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC;
    info.lpFile = ownPath;
    info.lpParameters = L"--watch-title";
    info.nShow = SW_HIDE;
    if (!ShellExecuteExW(&info) || info.hProcess == nullptr) {
        return false;
    }
    UniqueHandle watcher(info.hProcess);
    return WaitForSingleObject(watcher.get(), livenessWait) == WAIT_TIMEOUT;
}

void startTitleWatcher(unsigned long livenessWait) {
    wchar_t ownPath[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, ownPath, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return;
    }
    for (int attempt = 1; attempt <= watcherAttempts; ++attempt) {
        if (startWatcherOnce(ownPath, livenessWait)) {
            return;
        }
        if (attempt < watcherAttempts) {
            Sleep(pauseBetweenAttempts);
        }
    }
    OutputDebugStringW(L"BRINDLE: failed to start title watcher.\n");
}

}  // namespace br
