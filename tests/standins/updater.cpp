// Stand-in for the multiplayer client's start program ("updater.exe"): records
// how it was started, then starts the client and the game stand-ins that sit
// next to it, the way the real one hands over to the client.

#include "standin.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    standin::Options options;
    standin::openRecord(options, L"updater.record");

    std::wstring directory(32768, L'\0');
    directory.resize(GetCurrentDirectoryW(static_cast<DWORD>(directory.size()), directory.data()));
    standin::record(L"cmdline " + std::wstring(GetCommandLineW()));
    standin::record(L"cwd " + directory);

    const std::wstring folder = standin::folderOf(standin::ownPath());
    for (const wchar_t* name : {L"ragemp_v.exe", L"GTA5.exe"}) {
        std::wstring program = folder + L"\\" + name;
        if (GetFileAttributesW(program.c_str()) == INVALID_FILE_ATTRIBUTES) {
            continue;
        }
        std::wstring commandLine = L"\"" + program + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                           &process)) {
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
            standin::record(L"started " + std::wstring(name));
        }
    }
    return 0;
}
