#include "app/window.h"

#include <dwmapi.h>

#include <utility>

#include "app/frame_pacing.h"
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

namespace {

// What a frame shows, as one number: its vertices, indices, textures and
// clipping. Equal numbers, equal pictures.
uint64_t pictureOf(const ImDrawData* data) {
    uint64_t hash = 14695981039346656037ull;
    auto mix = [&hash](const void* bytes, size_t count) {
        const unsigned char* at = static_cast<const unsigned char*>(bytes);
        for (size_t i = 0; i < count; ++i) {
            hash = (hash ^ at[i]) * 1099511628211ull;
        }
    };
    if (data == nullptr) {
        return hash;
    }
    for (int list = 0; list < data->CmdListsCount; ++list) {
        const ImDrawList* drawList = data->CmdLists[list];
        mix(drawList->VtxBuffer.Data, static_cast<size_t>(drawList->VtxBuffer.Size) * sizeof(ImDrawVert));
        mix(drawList->IdxBuffer.Data, static_cast<size_t>(drawList->IdxBuffer.Size) * sizeof(ImDrawIdx));
        for (const ImDrawCmd& command : drawList->CmdBuffer) {
            mix(&command.ClipRect, sizeof(command.ClipRect));
            mix(&command.TextureId, sizeof(command.TextureId));
            mix(&command.ElemCount, sizeof(command.ElemCount));
            mix(&command.IdxOffset, sizeof(command.IdxOffset));
            mix(&command.VtxOffset, sizeof(command.VtxOffset));
        }
    }
    return hash;
}

}  // namespace

void runFrameLoop() {
    FramePacer pacer(launcherApp.window);
    bool occluded = false;
    bool activity = false;
    while (launcherApp.appRunning) {
        // Drain everything, even past WM_QUIT, before deciding whether to draw.
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            activity = true;
            TranslateMessage(&message);
            DispatchMessageW(&message);
            if (message.message == WM_QUIT) {
                launcherApp.appRunning = false;
            }
        }
        if (!launcherApp.appRunning) {
            return;
        }
        // The download runs beside the window: a frame drawn before the display
        // can show it only takes a core from it.
        if (!pacer.waitForFrameTime()) {
            continue;
        }
        pacer.frameStarted();

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

        // Hidden (minimised, or the screen locked): only the drawing pauses;
        // the frame goes on, so a finished update still starts the game.
        if (occluded) {
            occluded = launcherApp.swapChain->Present(0, DXGI_PRESENT_TEST) == DXGI_STATUS_OCCLUDED;
        }

        ImGui_ImplDX11_NewFrame();
        ImGui_ImplWin32_NewFrame();
        ImGui::NewFrame();
        drawLauncherFrame();
        ImGui::Render();

        // Each frame that reaches the screen costs the renderer far more than
        // working it out does (under Wine's software renderer a whole core at
        // the display's rate): the worker's progress shows five times a second,
        // the player's doings at once, an unchanged picture not again.
        const uint64_t picture = pictureOf(ImGui::GetDrawData());
        if (occluded || !pacer.presentDue(activity, picture)) {
            continue;
        }
        activity = false;
        if (launcherApp.mainRenderTargetView != nullptr) {
            launcherApp.deviceContext->OMSetRenderTargets(1, &launcherApp.mainRenderTargetView, nullptr);
            launcherApp.deviceContext->ClearRenderTargetView(launcherApp.mainRenderTargetView, kClearColour);
            ImGui_ImplDX11_RenderDrawData(ImGui::GetDrawData());
        }
        occluded = launcherApp.swapChain->Present(1, 0) == DXGI_STATUS_OCCLUDED;
        pacer.presented(picture);
        if (launcherApp.firstFramePresented != nullptr) {
            std::exchange(launcherApp.firstFramePresented, nullptr)();
        }
    }
}

}  // namespace br
