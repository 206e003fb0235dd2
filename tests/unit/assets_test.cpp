// Pictures becoming Direct3D textures, and the fonts' fall-back to the system's
// Segoe UI in a program file that carries no font of its own (as this test
// program does not).

#include <gtest/gtest.h>

#include <windows.h>
#include <d3d11.h>

#include <string>
#include <vector>

#include "app/assets.h"
#include "imgui.h"
#include "common/text_encoding.h"
#include "support/files.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include "stb_image_write.h"

namespace br {
namespace {

template <typename T>
struct Ref {
    T* p = nullptr;
    ~Ref() {
        if (p != nullptr) {
            p->Release();
        }
    }
};

class Textures : public testing::Test {
protected:
    void SetUp() override {
        HRESULT result = D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, nullptr, 0,
                                           D3D11_SDK_VERSION, &device.p, nullptr, &context.p);
        ASSERT_TRUE(SUCCEEDED(result)) << std::hex << result;
    }

    // The RGBA bytes of a texture, read back through a staging copy.
    std::vector<unsigned char> readBack(ID3D11ShaderResourceView* view, int width, int height) {
        Ref<ID3D11Resource> resource;
        view->GetResource(&resource.p);
        D3D11_TEXTURE2D_DESC desc = {};
        desc.Width = width;
        desc.Height = height;
        desc.MipLevels = 1;
        desc.ArraySize = 1;
        desc.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
        desc.SampleDesc.Count = 1;
        desc.Usage = D3D11_USAGE_STAGING;
        desc.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
        Ref<ID3D11Texture2D> staging;
        EXPECT_TRUE(SUCCEEDED(device.p->CreateTexture2D(&desc, nullptr, &staging.p)));
        context.p->CopyResource(staging.p, resource.p);
        D3D11_MAPPED_SUBRESOURCE mapped = {};
        std::vector<unsigned char> pixels;
        if (SUCCEEDED(context.p->Map(staging.p, 0, D3D11_MAP_READ, 0, &mapped))) {
            for (int y = 0; y < height; ++y) {
                const unsigned char* row = static_cast<const unsigned char*>(mapped.pData) + y * mapped.RowPitch;
                pixels.insert(pixels.end(), row, row + width * 4);
            }
            context.p->Unmap(staging.p, 0);
        }
        return pixels;
    }

    // The loaded texture's RGBA bytes; nothing when loading failed.
    std::vector<unsigned char> loadAndReadBack(const std::vector<unsigned char>& png, int* width, int* height) {
        ID3D11ShaderResourceView* view = nullptr;
        if (!loadTextureFromMemory(device.p, png.data(), png.size(), &view, width, height)) {
            ADD_FAILURE() << "the picture did not load";
            return {};
        }
        Ref<ID3D11ShaderResourceView> owner{view};
        return readBack(view, *width, *height);
    }

    Ref<ID3D11Device> device;
    Ref<ID3D11DeviceContext> context;
};

void appendBytes(void* context, void* data, int size) {
    auto* out = static_cast<std::vector<unsigned char>*>(context);
    out->insert(out->end(), static_cast<unsigned char*>(data), static_cast<unsigned char*>(data) + size);
}

std::vector<unsigned char> encodePng(int width, int height, int channels, const std::vector<unsigned char>& pixels) {
    std::vector<unsigned char> png;
    stbi_write_png_to_func(appendBytes, &png, width, height, channels, pixels.data(), width * channels);
    return png;
}

TEST_F(Textures, RgbPictureBecomesAnOpaqueRgbaTexture) {
    // 3 x 2, rows top to bottom: red green blue / white black grey.
    std::vector<unsigned char> rgb = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255, 0, 0, 0, 128, 128, 128};
    int width = 0;
    int height = 0;
    std::vector<unsigned char> pixels = loadAndReadBack(encodePng(3, 2, 3, rgb), &width, &height);
    EXPECT_EQ(width, 3);
    EXPECT_EQ(height, 2);
    ASSERT_EQ(pixels.size(), 24u);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(pixels[i * 4 + 0], rgb[i * 3 + 0]) << "pixel " << i;
        EXPECT_EQ(pixels[i * 4 + 1], rgb[i * 3 + 1]) << "pixel " << i;
        EXPECT_EQ(pixels[i * 4 + 2], rgb[i * 3 + 2]) << "pixel " << i;
        EXPECT_EQ(pixels[i * 4 + 3], 255) << "pixel " << i;
    }
}

TEST_F(Textures, RgbaPictureKeepsItsTransparency) {
    std::vector<unsigned char> rgba = {10, 20, 30, 0, 200, 100, 50, 128};
    int width = 0;
    int height = 0;
    EXPECT_EQ(loadAndReadBack(encodePng(2, 1, 4, rgba), &width, &height), rgba);
}

TEST_F(Textures, UndecodableDataLeavesNothing) {
    std::vector<unsigned char> png = encodePng(2, 2, 3, std::vector<unsigned char>(12, 7));
    std::vector<std::vector<unsigned char>> broken = {
        {}, {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'},
        std::vector<unsigned char>(png.begin(), png.begin() + png.size() / 2)};
    for (const auto& data : broken) {
        ID3D11ShaderResourceView* view = nullptr;
        int width = 0;
        int height = 0;
        EXPECT_FALSE(loadTextureFromMemory(device.p, data.data(), data.size(), &view, &width, &height));
        EXPECT_EQ(view, nullptr);
        EXPECT_EQ(width, 0);
        EXPECT_EQ(height, 0);
    }
}

TEST(TextureResources, MissingResourcesLeaveEveryPictureEmpty) {
    // This test program embeds no pictures.
    loadTextures();
    for (const TextureImage* texture : {&backgroundTexture, &logoTexture, &footerTexture}) {
        EXPECT_EQ(texture->view, nullptr);
        EXPECT_EQ(texture->width, 0);
        EXPECT_EQ(texture->height, 0);
    }
}

// --- fonts without resources -------------------------------------------------------

// Puts a file at a system font path for one test, and removes it afterwards,
// but never touches a file that was there before.
class PlacedFile {
public:
    PlacedFile(const std::string& source, const std::string& target) : target(target) {
        placed = GetFileAttributesA(target.c_str()) == INVALID_FILE_ATTRIBUTES &&
                 CopyFileA(source.c_str(), target.c_str(), TRUE);
    }
    ~PlacedFile() {
        if (placed) {
            DeleteFileA(target.c_str());
        }
    }
    bool placed = false;

private:
    std::string target;
};

void resetFonts() {
    for (ImFont** font : {&fontRegular10, &fontRegular12, &fontRegular13, &fontRegular18, &fontBold12, &fontBold13}) {
        *font = nullptr;
    }
}

const char kSegoe[] = "C:\\Windows\\Fonts\\segoeui.ttf";
const char kSegoeBold[] = "C:\\Windows\\Fonts\\segoeuib.ttf";

// One test, so that no other test process sees the stand-in files come and go.
TEST(Fonts, FallBackToSegoeUiFiles) {
    if (GetFileAttributesA(kSegoe) != INVALID_FILE_ATTRIBUTES) {
        GTEST_SKIP() << "this system has Segoe UI of its own";
    }
    // Without any font nothing is added and the default stays unset.
    ImGui::CreateContext();
    resetFonts();
    loadFonts();
    EXPECT_EQ(ImGui::GetIO().Fonts->Fonts.Size, 0);
    EXPECT_EQ(fontRegular13, nullptr);
    EXPECT_EQ(fontBold12, nullptr);
    EXPECT_EQ(ImGui::GetIO().FontDefault, nullptr);
    ImGui::DestroyContext();

    PlacedFile regular(wideToUtf8(builtFile(L"generated\\BeVietnamPro-Regular.ttf")), kSegoe);
    ASSERT_TRUE(regular.placed);
    ImGui::CreateContext();
    resetFonts();
    loadFonts();
    ImFont* all[] = {fontRegular10, fontRegular12, fontRegular13, fontRegular18, fontBold12, fontBold13};
    const float sizes[] = {10, 12, 13, 18, 12, 13};
    for (int i = 0; i < 6; ++i) {
        ASSERT_NE(all[i], nullptr) << i;
        EXPECT_EQ(all[i]->ConfigData->SizePixels, sizes[i]);
        EXPECT_EQ(all[i]->ConfigData->OversampleH, 2);
        EXPECT_EQ(all[i]->ConfigData->OversampleV, 1);
    }
    // No bold file: the bold handles hold the regular face.
    EXPECT_NE(std::string(fontBold12->ConfigData->Name).find("segoeui.ttf"), std::string::npos)
        << fontBold12->ConfigData->Name;
    EXPECT_EQ(ImGui::GetIO().FontDefault, fontRegular13);
    ImGui::DestroyContext();

    PlacedFile bold(wideToUtf8(builtFile(L"generated\\BeVietnamPro-Bold.ttf")), kSegoeBold);
    ASSERT_TRUE(bold.placed);
    ImGui::CreateContext();
    resetFonts();
    loadFonts();
    ASSERT_NE(fontBold13, nullptr);
    EXPECT_NE(std::string(fontBold12->ConfigData->Name).find("segoeuib.ttf"), std::string::npos);
    EXPECT_NE(std::string(fontBold13->ConfigData->Name).find("segoeuib.ttf"), std::string::npos);
    EXPECT_NE(std::string(fontRegular18->ConfigData->Name).find("segoeui.ttf"), std::string::npos);
    // Every font covers Vietnamese: a character from the far end of the ranges is there.
    ASSERT_TRUE(ImGui::GetIO().Fonts->Build());
    EXPECT_NE(fontRegular12->FindGlyphNoFallback(0x1EF9), nullptr);  // ỹ
    EXPECT_NE(fontBold13->FindGlyphNoFallback(0x00D7), nullptr);     // ×
    EXPECT_EQ(fontRegular12->FindGlyphNoFallback(0x2014), nullptr) << "outside the ranges";
    ImGui::DestroyContext();
}

}  // namespace
}  // namespace br
