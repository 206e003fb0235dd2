#include "install/launcher_swap.h"

#include <windows.h>

#include <iterator>

#include "common/name_case.h"
#include "common/text_encoding.h"
#include "install/install_paths.h"
#include "install/registration.h"
#include "install/settings.h"
#include "update/file_state.h"

namespace br {

namespace {

const wchar_t kAsideLauncherName[] = L"brindle.exe.old";

// Written by the worker, read by the interface once the run has ended; never
// destroyed, like everything a detached worker may still write.
std::string& replacedLauncherHash = *new std::string();

// A launcher that has just been ended keeps its file mapped for a moment.
constexpr int kPutBackAttempts = 20;
constexpr DWORD kPutBackPause = 250;

// The run recorded the new launcher; the state file must not vouch for it
// while the old one has its name. Without a record the file is hashed.
void forgetLauncherRecord(const std::wstring& folder) {
    StateCache state = readStateFile(folder);
    const size_t before = state.size();
    for (auto record = state.begin(); record != state.end();) {
        record = isLauncherCopy(resolveInstallPath(folder, record->first), folder) ? state.erase(record)
                                                                                   : std::next(record);
    }
    if (state.size() != before) {
        writeStateFile(folder, state);
    }
}

std::string refusedLauncher() {
    return wideToUtf8(readMachineText(kRefusedLauncherValue));
}

}  // namespace

std::wstring launcherCopyPath(const std::wstring& folder) {
    return folder + L"\\" + kInstalledCopyName;
}

std::wstring asideLauncherPath(const std::wstring& folder) {
    return folder + L"\\" + kAsideLauncherName;
}

bool isLauncherCopy(const std::wstring& target, const std::wstring& folder) {
    return sameFileName(target, launcherCopyPath(folder));
}

// Windows lets a running program's file be renamed, not replaced, so the
// running launcher goes aside first; what an earlier swap left aside goes.
bool swapInLauncher(const std::wstring& replacement, const std::wstring& folder) {
    const std::wstring launcher = launcherCopyPath(folder);
    const std::wstring aside = asideLauncherPath(folder);
    if (!MoveFileExW(launcher.c_str(), aside.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        return false;
    }
    if (MoveFileExW(replacement.c_str(), launcher.c_str(), 0)) {
        return true;
    }
    MoveFileExW(aside.c_str(), launcher.c_str(), 0);
    return false;
}

bool putLauncherBack(const std::wstring& folder) {
    const std::wstring launcher = launcherCopyPath(folder);
    const std::wstring aside = asideLauncherPath(folder);
    for (int attempt = 1;; ++attempt) {
        if (MoveFileExW(aside.c_str(), launcher.c_str(), MOVEFILE_REPLACE_EXISTING)) {
            forgetLauncherRecord(folder);
            return true;
        }
        if (attempt == kPutBackAttempts || GetFileAttributesW(aside.c_str()) == INVALID_FILE_ATTRIBUTES) {
            return false;
        }
        Sleep(kPutBackPause);
    }
}

void removeAsideLauncher(const std::wstring& folder) {
    DeleteFileW(asideLauncherPath(folder).c_str());
}

void refuseLauncher(const std::string& sha256) {
    writeMachineText(kRefusedLauncherValue, utf8ToWide(sha256));
}

// Compared as the manifest spells it, like every hash the run checks.
bool isRefusedLauncher(const std::string& sha256) {
    const std::string refused = refusedLauncher();
    return !refused.empty() && refused == sha256;
}

void setReplacedLauncher(const std::string& sha256) {
    replacedLauncherHash = sha256;
}

std::string replacedLauncher() {
    return replacedLauncherHash;
}

}  // namespace br
