// Entry point: picks the mode, brings the launcher up, runs it, takes it down.

#include <windows.h>


#include "app/assets.h"
#include "app/handover.h"
#include "app/window.h"
#include "common/win32_handles.h"
#include "imgui.h"
#include "imgui_impl_dx11.h"
#include "imgui_impl_win32.h"
#include "install/stored_folder.h"
#include "install/title_watcher.h"
#include "update/status.h"

namespace {

// One launcher per user session: two would race over the same downloads, the
// state file and the registration, and both would start the game.
const wchar_t kLauncherMutexName[] = L"Local\\BrindleLauncher";

// A second start only shows the launcher that is already running.
void bringRunningLauncherToFront() {
    HWND running = FindWindowW(br::kWindowClassName, nullptr);
    if (running == nullptr) {
        return;  // still starting: its window comes up by itself
    }
    if (IsIconic(running)) {
        ShowWindow(running, SW_RESTORE);
    }
    SetForegroundWindow(running);
}

// Owned by the main thread until the process has ended (the system closes it
// then), past a worker that is still running at exit.
HANDLE launcherMutex = nullptr;
// Set by the launcher that has just put this copy in place and handed over.
br::UniqueHandle handOverEvent;

// The update runs once the install prompt is answered, or at once.
void startFirstScreen() {
    if (br::hasStoredInstallFolder()) {
        br::startUpdateWorker();
    } else {
        br::launcherApp.showInstallPrompt = true;
        br::launcherApp.promptInstallPath = br::storedOrDefaultInstallFolder();
    }
}

// This copy came up: the launcher that handed over sees the event and ends,
// and only then does this one's update start.
void takeOver() {
    SetEvent(handOverEvent.get());
    handOverEvent.reset();
    WaitForSingleObject(launcherMutex, br::kHandOverWait);
    startFirstScreen();
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
    // Before anything can load a DLL: DLLs come from System32 only, never from
    // the program's folder, which users without administrator rights may
    // write to (the DLLs that are not KnownDLLs are delay-loaded, so none has
    // been loaded yet).
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    using namespace br;

    if (startedAsTitleWatcher(GetCommandLineW())) {
        runTitleWatcher();
        return 0;
    }

    // A copy started by the launcher that has just put it in place is no
    // second start: that one is waiting for it. A name taken by something
    // that is no mutex, or that this process may not open, guards nothing: go
    // on alone.
    handOverEvent.reset(handOverEventFrom(GetCommandLineW()));
    launcherMutex = CreateMutexW(nullptr, TRUE, kLauncherMutexName);
    if (launcherMutex != nullptr && GetLastError() == ERROR_ALREADY_EXISTS && !handOverEvent) {
        CloseHandle(launcherMutex);
        bringRunningLauncherToFront();
        return 0;
    }

    // The run needs nothing of the interface: it goes on while the window,
    // its device, the fonts and the pictures are made, which under a software
    // renderer takes longer than many an update.
    if (handOverEvent) {
        setPhase(globalStatus(), "Đang chuẩn bị");
        launcherApp.firstFramePresented = takeOver;
    } else {
        startFirstScreen();
    }

    launcherApp.window = createLauncherWindow(instance);
    if (!createDeviceD3D(launcherApp.window)) {
        cleanupDeviceD3D();
        UnregisterClassW(kWindowClassName, instance);
        return 1;
    }
    createRenderTarget();
    ShowWindow(launcherApp.window, SW_SHOWDEFAULT);
    UpdateWindow(launcherApp.window);

    IMGUI_CHECKVERSION();
    ImGui::CreateContext();
    ImGuiIO& io = ImGui::GetIO();
    io.IniFilename = nullptr;
    io.LogFilename = nullptr;
    loadFonts();
    applyStyleSettings();

    ImGui_ImplWin32_Init(launcherApp.window);
    ImGui_ImplDX11_Init(launcherApp.device, launcherApp.deviceContext);
    loadTextures();

    runFrameLoop();

    releaseTextures();
    ImGui_ImplDX11_Shutdown();
    ImGui_ImplWin32_Shutdown();
    ImGui::DestroyContext();
    cleanupDeviceD3D();
    DestroyWindow(launcherApp.window);
    UnregisterClassW(kWindowClassName, instance);
    // Closing the window abandons a running update; never wait for it.
    detachUpdateWorker();
    if (launcherApp.handOverAfterRun) {
        handOverOrRollBack(kHandOverWait);
    }
    return 0;
}
