#pragma once
// The launcher window, its Direct3D 11 renderer and the frame loop.

#include <windows.h>
#include <d3d11.h>

#include <string>

#include "common/product.h"

namespace br {

constexpr int kWindowWidth = BRINDLE_WINDOW_WIDTH;
constexpr int kWindowHeight = BRINDLE_WINDOW_HEIGHT;
constexpr wchar_t kWindowClassName[] = L"BrindleUpdaterCls";

struct LauncherApp {
    HWND window = nullptr;
    ID3D11Device* device = nullptr;
    ID3D11DeviceContext* deviceContext = nullptr;
    IDXGISwapChain* swapChain = nullptr;
    ID3D11RenderTargetView* mainRenderTargetView = nullptr;
    UINT pendingResizeWidth = 0;
    UINT pendingResizeHeight = 0;
    bool appRunning = true;
    bool showInstallPrompt = false;
    std::wstring promptInstallPath;
    // Called once, right after the first frame has reached the screen.
    void (*firstFramePresented)() = nullptr;
    // The run put a new launcher in place: it starts the game, once this one has gone.
    bool handOverAfterRun = false;
};

extern LauncherApp launcherApp;

// Registers the class and creates the hidden window centred on the primary
// screen, with rounded corners where the system offers them.
HWND createLauncherWindow(HINSTANCE instance);

bool createDeviceD3D(HWND window);
void createRenderTarget();
void cleanupRenderTarget();
void cleanupDeviceD3D();

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void runFrameLoop();

// Pure rules behind the window, kept apart so they can be checked directly.
POINT centredWindowOrigin(int screenWidth, int screenHeight);
LRESULT hitTestClientPoint(int x, int y);

}  // namespace br
