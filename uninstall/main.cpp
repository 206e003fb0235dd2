// uninstall.exe: removes the installation it sits in (the folder it runs
// from). Without arguments it asks first; "/quiet" asks nothing and shows
// nothing. Exit code 0 when everything it tried went, 1 otherwise.

#include <windows.h>
#include <sddl.h>

#include <cwchar>
#include <string>

#include "common/win32_handles.h"
#include "install/install_paths.h"
#include "install/links.h"
#include "install/registration.h"
#include "uninstall/removal.h"

namespace br {

namespace {

const wchar_t kTitle[] = L"Gỡ cài đặt Brindle";

int say(bool quiet, const std::wstring& text, UINT icon) {
    return quiet ? IDOK : MessageBoxW(nullptr, text.c_str(), kTitle, MB_OK | icon);
}

bool hasSwitch(const wchar_t* name) {
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    bool found = false;
    for (int i = 1; arguments != nullptr && i < count; ++i) {
        found = found || _wcsicmp(arguments[i], name) == 0;
    }
    LocalFree(arguments);
    return found;
}

// The bytes of the open file, from its start, into a new file.
bool copyOpenFile(HANDLE source, const std::wstring& target) {
    UniqueHandle copy(CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                  nullptr));
    LARGE_INTEGER start{};
    if (!copy || !SetFilePointerEx(source, start, nullptr, FILE_BEGIN)) {
        return false;
    }
    char block[65536];
    DWORD got = 0;
    while (ReadFile(source, block, sizeof(block), &got, nullptr) && got > 0) {
        DWORD written = 0;
        if (!WriteFile(copy.get(), block, got, &written, nullptr) || written != got) {
            return false;
        }
    }
    return true;
}

// The running uninstaller cannot delete its own file. A copy of it, in a
// folder that only administrators may write (under the Windows folder, not the
// user's temp folder), waits for it to end and then deletes it and the
// emptied install folder; the copy goes at the next restart. The copy is made
// from self, the uninstaller's own file held open since its start without
// write or delete sharing: whatever happened in the folder during the
// question, the copy is the program that was started.
bool startFinisher(HANDLE self, const std::wstring& folder) {
    wchar_t windows[MAX_PATH];
    UINT length = GetWindowsDirectoryW(windows, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return false;
    }
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)",
                                                              SDDL_REVISION_1, &descriptor, nullptr)) {
        return false;
    }
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    std::wstring privateFolder;
    for (int attempt = 0; attempt < 20 && privateFolder.empty(); ++attempt) {
        std::wstring candidate = std::wstring(windows, length) + L"\\Temp\\brindle-uninstall-" +
                                 std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount64());
        if (CreateDirectoryW(candidate.c_str(), &attributes)) {  // fails for a name that is taken
            privateFolder = candidate;
        }
    }
    LocalFree(descriptor);
    const std::wstring copy = privateFolder + L"\\uninstall.exe";
    if (privateFolder.empty() || !copyOpenFile(self, copy)) {
        return false;
    }
    std::wstring commandLine = L"\"" + copy + L"\" /finish " + std::to_wstring(GetCurrentProcessId()) + L" \"" +
                               folder + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(copy.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        privateFolder.c_str(), &startup, &started)) {
        return false;
    }
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return true;
}

// The copy: "/finish PID FOLDER".
int finish() {
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (arguments == nullptr || count != 4) {
        LocalFree(arguments);
        return 2;
    }
    const DWORD original = static_cast<DWORD>(std::wcstoul(arguments[2], nullptr, 10));
    const std::wstring folder = arguments[3];
    LocalFree(arguments);
    UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, original));
    if (process) {
        WaitForSingleObject(process.get(), 60000);
    }
    const std::wstring uninstaller = folder + L"\\" + kUninstallerName;
    for (int attempt = 0; attempt < 50 && GetFileAttributesW(uninstaller.c_str()) != INVALID_FILE_ATTRIBUTES &&
                          !DeleteFileW(uninstaller.c_str());
         ++attempt) {
        Sleep(100);
    }
    RemoveDirectoryW(folder.c_str());  // only when nothing else is left in it

    const std::wstring self = runningExecutablePath();
    MoveFileExW(self.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    const size_t slash = self.find_last_of(L'\\');
    if (slash != std::wstring::npos) {
        MoveFileExW(self.substr(0, slash).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    }
    return 0;
}

int uninstall(bool quiet) {
    Removal removal;
    removal.self = runningExecutablePath();
    const size_t slash = removal.self.find_last_of(L'\\');
    if (removal.self.empty() || slash == std::wstring::npos) {
        return 1;
    }
    removal.folder = removal.self.substr(0, slash);
    const UniqueHandle selfFile(CreateFileW(removal.self.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    // A folder that is, or lies under, a link is someone else's: the removal
    // would reach wherever it points.
    if (linkAtOrAbove(removal.folder)) {
        say(quiet, L"Không ghi được tệp: " + removal.folder, MB_ICONWARNING);
        return 1;
    }

    if (!quiet) {
        const std::wstring question =
            L"Gỡ cài đặt Brindle khỏi " + removal.folder +
            L"?\n\nSẽ xoá các tệp trò chơi đã cài đặt, trình khởi động, lối tắt trên màn hình, mục gỡ cài đặt và "
            L"thiết lập của Brindle.\nCác tệp riêng của bạn trong thư mục này vẫn được giữ lại.";
        if (MessageBoxW(nullptr, question.c_str(), kTitle, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES) {
            return 0;
        }
    }
    if (!programsRunningFrom(removal.folder).empty()) {
        say(quiet, L"Trình khởi động hoặc trò chơi trong " + removal.folder +
                       L" đang chạy. Hãy đóng chúng rồi gỡ cài đặt lại.",
            MB_ICONWARNING);
        return 1;
    }

    removeRecordedFiles(removal);
    removeLauncherFiles(removal);
    removeDownloadFolder(removal);
    removeShortcut(removal);
    removeSettings(removal);
    removeUninstallEntry(removal);
    removeEmptiedFolders(removal);
    if (!selfFile || !startFinisher(selfFile.get(), removal.folder)) {
        removal.notRemoved.push_back(removal.self);
    }

    if (!removal.notRemoved.empty()) {
        std::wstring text = L"Đã gỡ cài đặt Brindle, trừ những mục không xoá được (có thể đang được dùng):\n";
        for (const std::wstring& left : removal.notRemoved) {
            text += L"\n" + left;
        }
        say(quiet, text, MB_ICONWARNING);
        return 1;
    }
    say(quiet, L"Đã gỡ cài đặt Brindle.", MB_ICONINFORMATION);
    return 0;
}

}  // namespace

}  // namespace br

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    // DLLs from System32 only, never from the folder being removed.
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (br::hasSwitch(L"/finish")) {
        return br::finish();
    }
    return br::uninstall(br::hasSwitch(L"/quiet"));
}
