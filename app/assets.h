#pragma once
// The pictures and fonts the launcher draws with, all embedded in the program
// file, and the few style values the design changes.

#include <d3d11.h>

#include <cstddef>

struct ImFont;

namespace br {

struct TextureImage {
    ID3D11ShaderResourceView* view = nullptr;  // null when loading failed
    int width = 0;
    int height = 0;
};

extern TextureImage backgroundTexture;
extern TextureImage logoTexture;
extern TextureImage footerTexture;

extern ImFont* fontRegular10;
extern ImFont* fontRegular12;
extern ImFont* fontRegular13;
extern ImFont* fontRegular18;
extern ImFont* fontBold12;
extern ImFont* fontBold13;

// Needs the ImGui context; runs before the first frame builds the atlas.
void loadFonts();
void applyStyleSettings();
// Needs the Direct3D device. A picture that cannot be loaded stays empty.
void loadTextures();
void releaseTextures();

bool loadTextureFromMemory(ID3D11Device* device, const void* data, size_t size,
                           ID3D11ShaderResourceView** view, int* width, int* height);

}  // namespace br
