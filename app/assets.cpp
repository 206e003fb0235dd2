#include "app/assets.h"

#include <windows.h>

#include <climits>

#include "app/window.h"
#include "imgui.h"

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#include "stb_image.h"

namespace br {

TextureImage backgroundTexture;
TextureImage logoTexture;
TextureImage footerTexture;

ImFont* fontRegular10 = nullptr;
ImFont* fontRegular12 = nullptr;
ImFont* fontRegular13 = nullptr;
ImFont* fontRegular18 = nullptr;
ImFont* fontBold12 = nullptr;
ImFont* fontBold13 = nullptr;

namespace {

constexpr int kBackgroundResource = 100;
constexpr int kLogoResource = 101;
constexpr int kFooterResource = 102;
constexpr int kRegularFontResource = 200;
constexpr int kBoldFontResource = 201;

const char kSegoeRegular[] = "C:\\Windows\\Fonts\\segoeui.ttf";
const char kSegoeBold[] = "C:\\Windows\\Fonts\\segoeuib.ttf";

struct ResourceData {
    void* data = nullptr;
    DWORD size = 0;
};

// Raw data embedded in the program file; it stays mapped for the process's life.
bool findResourceData(int id, ResourceData* out) {
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC info = FindResourceW(module, MAKEINTRESOURCEW(id), RT_RCDATA);
    if (info == nullptr) {
        return false;
    }
    HGLOBAL loaded = LoadResource(module, info);
    if (loaded == nullptr) {
        return false;
    }
    void* data = LockResource(loaded);
    DWORD size = SizeofResource(module, info);
    if (data == nullptr || size == 0) {
        return false;
    }
    out->data = data;
    out->size = size;
    return true;
}

// The rasterising settings the design was drawn with: the defaults of the
// Dear ImGui release the build fetches (1.90.1, scripts/fetch_deps.sh), set
// here so that another release cannot change how the texts look.
ImFontConfig defaultFontConfig() {
    ImFontConfig config;
    config.OversampleH = 2;
    config.OversampleV = 1;
    config.PixelSnapH = false;
    config.RasterizerMultiply = 1.0f;
    config.RasterizerDensity = 1.0f;
    return config;
}

ImFont* addResourceFont(const ResourceData& font, float size, const ImWchar* ranges) {
    ImFontConfig config = defaultFontConfig();
    // Read-only resource memory: the atlas must not free it.
    config.FontDataOwnedByAtlas = false;
    return ImGui::GetIO().Fonts->AddFontFromMemoryTTF(font.data, static_cast<int>(font.size), size, &config,
                                                      ranges);
}

ImFont* addFileFont(const char* path, float size, const ImWchar* ranges) {
    ImFontConfig config = defaultFontConfig();
    return ImGui::GetIO().Fonts->AddFontFromFileTTF(path, size, &config, ranges);
}

// The six fonts, in the order the atlas receives them.
template <typename AddRegular, typename AddBold>
void addLauncherFonts(AddRegular regular, AddBold bold) {
    fontRegular10 = regular(10.0f);
    fontRegular12 = regular(12.0f);
    fontRegular13 = regular(13.0f);
    fontRegular18 = regular(18.0f);
    fontBold12 = bold(12.0f);
    fontBold13 = bold(13.0f);
}

bool fileExists(const char* path) {
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

void loadTextureResource(int id, TextureImage& texture) {
    ResourceData picture;
    if (findResourceData(id, &picture)) {
        loadTextureFromMemory(launcherApp.device, picture.data, picture.size, &texture.view, &texture.width,
                              &texture.height);
    }
}

void releaseTexture(TextureImage& texture) {
    if (texture.view != nullptr) {
        texture.view->Release();
        texture.view = nullptr;
    }
}

ImVec4 opaque(int red, int green, int blue) {
    return ImVec4(red / 255.0f, green / 255.0f, blue / 255.0f, 1.0f);
}

}  // namespace

void loadFonts() {
    const ImWchar* ranges = ImGui::GetIO().Fonts->GetGlyphRangesVietnamese();
    ResourceData regular;
    ResourceData bold;
    bool hasRegular = findResourceData(kRegularFontResource, &regular);
    bool hasBold = findResourceData(kBoldFontResource, &bold);

    if (hasRegular) {
        const ResourceData& boldFace = hasBold ? bold : regular;
        addLauncherFonts([&](float size) { return addResourceFont(regular, size, ranges); },
                         [&](float size) { return addResourceFont(boldFace, size, ranges); });
    } else {
        // A program file without its fonts falls back to the system's Segoe UI.
        bool hasSegoeBold = fileExists(kSegoeBold);
        if (fileExists(kSegoeRegular)) {
            const char* boldPath = hasSegoeBold ? kSegoeBold : kSegoeRegular;
            addLauncherFonts([&](float size) { return addFileFont(kSegoeRegular, size, ranges); },
                             [&](float size) { return addFileFont(boldPath, size, ranges); });
        }
    }

    if (fontRegular13 != nullptr) {
        ImGui::GetIO().FontDefault = fontRegular13;
    }
}

void applyStyleSettings() {
    ImGuiStyle& style = ImGui::GetStyle();
    style.WindowPadding = ImVec2(0.0f, 0.0f);
    style.WindowRounding = 0.0f;
    style.FrameBorderSize = 0.0f;
    style.Colors[ImGuiCol_Text] = opaque(247, 251, 251);
    style.Colors[ImGuiCol_WindowBg] = opaque(9, 33, 51);
}

void loadTextures() {
    loadTextureResource(kBackgroundResource, backgroundTexture);
    loadTextureResource(kLogoResource, logoTexture);
    loadTextureResource(kFooterResource, footerTexture);
}

void releaseTextures() {
    releaseTexture(backgroundTexture);
    releaseTexture(logoTexture);
    releaseTexture(footerTexture);
}

bool loadTextureFromMemory(ID3D11Device* device, const void* data, size_t size,
                           ID3D11ShaderResourceView** view, int* width, int* height) {
    if (device == nullptr || size > static_cast<size_t>(INT_MAX)) {
        return false;
    }
    int pictureWidth = 0;
    int pictureHeight = 0;
    int channelsInFile = 0;
    unsigned char* pixels = stbi_load_from_memory(static_cast<const stbi_uc*>(data), static_cast<int>(size),
                                                  &pictureWidth, &pictureHeight, &channelsInFile, 4);
    if (pixels == nullptr) {
        return false;
    }

    D3D11_TEXTURE2D_DESC desc = {};
    desc.Width = static_cast<UINT>(pictureWidth);
    desc.Height = static_cast<UINT>(pictureHeight);
    desc.MipLevels = 1;
    desc.ArraySize = 1;
    desc.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
    desc.SampleDesc.Count = 1;
    desc.SampleDesc.Quality = 0;
    desc.Usage = D3D11_USAGE_DEFAULT;
    desc.BindFlags = D3D11_BIND_SHADER_RESOURCE;
    desc.CPUAccessFlags = 0;
    desc.MiscFlags = 0;

    D3D11_SUBRESOURCE_DATA initial = {};
    initial.pSysMem = pixels;
    initial.SysMemPitch = desc.Width * 4;
    initial.SysMemSlicePitch = 0;

    ID3D11Texture2D* texture = nullptr;
    HRESULT created = device->CreateTexture2D(&desc, &initial, &texture);
    stbi_image_free(pixels);
    if (FAILED(created) || texture == nullptr) {
        return false;
    }

    D3D11_SHADER_RESOURCE_VIEW_DESC viewDesc = {};
    viewDesc.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
    viewDesc.ViewDimension = D3D11_SRV_DIMENSION_TEXTURE2D;
    viewDesc.Texture2D.MostDetailedMip = 0;
    viewDesc.Texture2D.MipLevels = 1;
    HRESULT viewed = device->CreateShaderResourceView(texture, &viewDesc, view);
    texture->Release();  // the view keeps the texture alive
    if (FAILED(viewed)) {
        if (*view != nullptr) {
            (*view)->Release();
            *view = nullptr;
        }
        return false;
    }
    *width = pictureWidth;
    *height = pictureHeight;
    return true;
}

}  // namespace br
