#include "app/handover.h"

#include <shellapi.h>

#include <vector>

#include "common/decimal.h"
#include "common/text_encoding.h"
#include "common/win32_handles.h"
#include "install/game_launch.h"
#include "install/launcher_swap.h"
#include "install/run_folder.h"

namespace br {

namespace {

const wchar_t kHandOverSwitch[] = L"--confirm-start";

// After TerminateProcess the process still has to go before its file is free.
constexpr DWORD kEndedWait = 10000;

// Only the event crosses into the new copy: the process has no other handle
// to hand on, and the list says so to Windows as well.
bool startWithEvent(const std::wstring& program, const std::wstring& folder, HANDLE event,
                    PROCESS_INFORMATION& started) {
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::vector<unsigned char> buffer(size);
    auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(buffer.data());
    if (size == 0 || !InitializeProcThreadAttributeList(attributes, 1, 0, &size)) {
        return false;
    }
    HANDLE inherited = event;
    const bool listed = UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, &inherited,
                                                  sizeof inherited, nullptr, nullptr);
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.lpAttributeList = attributes;
    std::wstring commandLine = L"\"" + program + L"\" " + kHandOverSwitch + L"=" +
                               std::to_wstring(reinterpret_cast<uintptr_t>(event));
    const bool created = listed && CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                                  EXTENDED_STARTUPINFO_PRESENT, nullptr, folder.c_str(),
                                                  &startup.StartupInfo, &started);
    DeleteProcThreadAttributeList(attributes);
    return created;
}

// True when the new copy confirmed; otherwise it has ended (or been ended).
bool handOverTo(const std::wstring& program, const std::wstring& folder, DWORD confirmWait) {
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    UniqueHandle confirmed(CreateEventW(&inheritable, TRUE, FALSE, nullptr));
    PROCESS_INFORMATION started{};
    if (!confirmed || !startWithEvent(program, folder, confirmed.get(), started)) {
        return false;
    }
    UniqueHandle process(started.hProcess);
    CloseHandle(started.hThread);
    // A copy that ends without confirming is given up at once; one that
    // confirmed and then ended has still come up.
    const HANDLE either[] = {confirmed.get(), process.get()};
    if (WaitForMultipleObjects(2, either, FALSE, confirmWait) == WAIT_OBJECT_0) {
        return true;
    }
    TerminateProcess(process.get(), 1);
    WaitForSingleObject(process.get(), kEndedWait);
    return false;
}

}  // namespace

void handOverOrRollBack(unsigned long confirmWait) {
    const std::wstring folder = installFolder();
    if (handOverTo(launcherCopyPath(folder), folder, confirmWait)) {
        return;
    }
    putLauncherBack(folder);
    refuseLauncher(replacedLauncher());
    launchGame();
}

bool parseHandOverArgument(const std::wstring& argument, uint64_t& handle) {
    const std::wstring prefix = std::wstring(kHandOverSwitch) + L"=";
    return argument.size() > prefix.size() && argument.compare(0, prefix.size(), prefix) == 0 &&
           parseDecimal(wideToUtf8(argument.substr(prefix.size())), handle) && handle != 0;
}

// Anyone may start the program with any number after the switch: only an
// inheritable handle that names an event not yet set is taken, and the
// process itself makes none such.
HANDLE handOverEventFrom(const wchar_t* commandLine) {
    int count = 0;
    wchar_t** list = CommandLineToArgvW(commandLine, &count);
    LocalMemory held(list);
    for (int i = 1; list != nullptr && i < count; ++i) {
        uint64_t number = 0;
        if (!parseHandOverArgument(list[i], number)) {
            continue;
        }
        HANDLE event = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(number));
        DWORD flags = 0;
        if (GetHandleInformation(event, &flags) && (flags & HANDLE_FLAG_INHERIT) != 0 &&
            WaitForSingleObject(event, 0) == WAIT_TIMEOUT) {
            return event;
        }
    }
    return nullptr;
}

}  // namespace br
