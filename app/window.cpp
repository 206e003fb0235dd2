#include "app/window.h"

#include <dwmapi.h>

#include "common/win32_handles.h"
#include "imgui.h"
#include "imgui_impl_dx11.h"
#include "imgui_impl_win32.h"
#include "ui/screens.h"
#include "ui/style.h"

extern IMGUI_IMPL_API LRESULT ImGui_ImplWin32_WndProcHandler(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);

namespace br {

LauncherApp launcherApp;

namespace {

constexpr float kClearColour[4] = {0.035f, 0.13f, 0.20f, 1.0f};

template <typename T>
void releaseRef(T*& object) {
    if (object != nullptr) {
        object->Release();
        object = nullptr;
    }
}

}  // namespace

POINT centredWindowOrigin(int screenWidth, int screenHeight) {
    // C++ division truncates toward zero, as the placement rule wants on small screens.
    return POINT{(screenWidth - kWindowWidth) / 2, (screenHeight - kWindowHeight) / 2};
}

LRESULT hitTestClientPoint(int x, int y) {
    // A negative y reads as a huge unsigned number: client area, not the band.
    if (static_cast<uint32_t>(y) > static_cast<uint32_t>(kDragBandHeight) - 1) {
        return HTCLIENT;
    }
    return x < static_cast<int>(kDragBandRight) ? HTCAPTION : HTCLIENT;
}

HWND createLauncherWindow(HINSTANCE instance) {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON, 0, 0, LR_SHARED | LR_DEFAULTSIZE));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kWindowClassName;
    windowClass.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                                        GetSystemMetrics(SM_CXSMICON),
                                                        GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    RegisterClassExW(&windowClass);

    POINT origin = centredWindowOrigin(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    HWND window = CreateWindowExW(0, kWindowClassName, L"BRINDLE Updater", WS_POPUP, origin.x, origin.y,
                                  kWindowWidth, kWindowHeight, nullptr, nullptr, instance, nullptr);

    // Attribute 33 / value 2: rounded corners on systems that know them; others ignore it.
    DWORD cornerPreference = 2;
    DwmSetWindowAttribute(window, 33, &cornerPreference, sizeof(cornerPreference));
    return window;
}

bool createDeviceD3D(HWND window) {
    DXGI_SWAP_CHAIN_DESC desc = {};
    desc.BufferDesc.Width = 0;
    desc.BufferDesc.Height = 0;
    desc.BufferDesc.RefreshRate.Numerator = 60;
    desc.BufferDesc.RefreshRate.Denominator = 1;
    desc.BufferDesc.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
    desc.SampleDesc.Count = 1;
    desc.SampleDesc.Quality = 0;
    desc.BufferUsage = DXGI_USAGE_RENDER_TARGET_OUTPUT;
    desc.BufferCount = 2;
    desc.OutputWindow = window;
    desc.Windowed = TRUE;
    desc.SwapEffect = DXGI_SWAP_EFFECT_DISCARD;
    desc.Flags = 0;

    const D3D_FEATURE_LEVEL levels[2] = {D3D_FEATURE_LEVEL_11_0, D3D_FEATURE_LEVEL_10_0};
    D3D_FEATURE_LEVEL obtained;
    HRESULT result = D3D11CreateDeviceAndSwapChain(
        nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, levels, 2, D3D11_SDK_VERSION, &desc,
        &launcherApp.swapChain, &launcherApp.device, &obtained, &launcherApp.deviceContext);
    if (FAILED(result)) {
        return false;
    }
    // DXGI would switch the fixed-size window to exclusive full screen on
    // Alt+Enter; the launcher has no such mode.
    ComRef<IDXGIFactory> factory;
    if (SUCCEEDED(launcherApp.swapChain->GetParent(IID_PPV_ARGS(factory.put())))) {
        factory->MakeWindowAssociation(window, DXGI_MWA_NO_ALT_ENTER);
    }
    return true;
}

void createRenderTarget() {
    ID3D11Texture2D* backBuffer = nullptr;
    launcherApp.swapChain->GetBuffer(0, IID_PPV_ARGS(&backBuffer));
    if (backBuffer != nullptr) {
        launcherApp.device->CreateRenderTargetView(backBuffer, nullptr, &launcherApp.mainRenderTargetView);
        backBuffer->Release();
    }
}

void cleanupRenderTarget() {
    releaseRef(launcherApp.mainRenderTargetView);
}

void cleanupDeviceD3D() {
    cleanupRenderTarget();
    if (launcherApp.swapChain != nullptr) {
        // A swap chain must not be released in full screen, however it got there.
        launcherApp.swapChain->SetFullscreenState(FALSE, nullptr);
    }
    releaseRef(launcherApp.swapChain);
    releaseRef(launcherApp.deviceContext);
    releaseRef(launcherApp.device);
}

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (ImGui_ImplWin32_WndProcHandler(window, message, wParam, lParam)) {
        return 1;
    }
    switch (message) {
    case WM_SIZE:
        if (wParam != SIZE_MINIMIZED) {
            launcherApp.pendingResizeWidth = LOWORD(lParam);
            launcherApp.pendingResizeHeight = HIWORD(lParam);
        }
        return 0;
    case WM_NCCALCSIZE:
        // The whole window rectangle is client area: no frame, no caption.
        if (wParam == TRUE) {
            return 0;
        }
        break;
    case WM_NCHITTEST: {
        POINT point = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        ScreenToClient(window, &point);
        return hitTestClientPoint(point.x, point.y);
    }
    case WM_SYSCOMMAND:
        // Alt or F10 alone would open the window menu of a window that has none.
        if ((wParam & 0xFFF0) == SC_KEYMENU) {
            return 0;
        }
        break;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void runFrameLoop() {
    bool occluded = false;
    while (launcherApp.appRunning) {
        // Drain everything, even past WM_QUIT, before deciding whether to draw.
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
            if (message.message == WM_QUIT) {
                launcherApp.appRunning = false;
            }
        }
        if (!launcherApp.appRunning) {
            return;
        }

        if (launcherApp.pendingResizeWidth != 0 && launcherApp.pendingResizeHeight != 0) {
            cleanupRenderTarget();
            launcherApp.swapChain->ResizeBuffers(0, launcherApp.pendingResizeWidth,
                                                 launcherApp.pendingResizeHeight, DXGI_FORMAT_UNKNOWN, 0);
            launcherApp.pendingResizeWidth = 0;
            launcherApp.pendingResizeHeight = 0;
            createRenderTarget();
        } else if (launcherApp.mainRenderTargetView == nullptr) {
            // A failed resize left no back buffer view: try again rather than draw into nothing.
            createRenderTarget();
        }

        // Hidden (minimised, or the screen locked): Present returns at once
        // then, so without a pause the loop would spin a core. Only the
        // drawing pauses; the frame goes on, so a finished update still
        // starts the game.
        if (occluded) {
            occluded = launcherApp.swapChain->Present(0, DXGI_PRESENT_TEST) == DXGI_STATUS_OCCLUDED;
        }

        ImGui_ImplDX11_NewFrame();
        ImGui_ImplWin32_NewFrame();
        ImGui::NewFrame();
        drawLauncherFrame();
        ImGui::Render();

        if (occluded) {
            Sleep(10);
            continue;
        }
        if (launcherApp.mainRenderTargetView != nullptr) {
            launcherApp.deviceContext->OMSetRenderTargets(1, &launcherApp.mainRenderTargetView, nullptr);
            launcherApp.deviceContext->ClearRenderTargetView(launcherApp.mainRenderTargetView, kClearColour);
            ImGui_ImplDX11_RenderDrawData(ImGui::GetDrawData());
        }
        occluded = launcherApp.swapChain->Present(1, 0) == DXGI_STATUS_OCCLUDED;
    }
}

}  // namespace br
