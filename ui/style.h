#pragma once
// Where everything on the launcher sits and what colour it is. Coordinates are
// pixels of the fixed 520 x 383 client area, origin top left; colours are
// written #RRGGBBAA and converted for the draw list or the style stack.

#include <cstdint>

#include "common/product.h"
#include "imgui.h"

namespace br {

// Draw-list colours are packed 0xAABBGGRR.
constexpr ImU32 packColour(uint32_t rgba) {
    return ((rgba & 0xFFu) << 24) | (((rgba >> 8) & 0xFFu) << 16) | (((rgba >> 16) & 0xFFu) << 8) | (rgba >> 24);
}

constexpr ImVec4 colourVec(uint32_t rgba) {
    return ImVec4(((rgba >> 24) & 0xFFu) / 255.0f, ((rgba >> 16) & 0xFFu) / 255.0f, ((rgba >> 8) & 0xFFu) / 255.0f,
                  (rgba & 0xFFu) / 255.0f);
}

// --- palette -------------------------------------------------------------------
constexpr uint32_t kWashLeft = 0x09253EEB;
constexpr uint32_t kWashRight = 0x185B84B2;
constexpr uint32_t kWindowOutline = 0xFFDC9661;
constexpr uint32_t kGoldAccent = 0xFFD36AFF;
constexpr uint32_t kHeaderRule = 0xFFEEC729;
constexpr uint32_t kCloseGlyph = 0xDCECF0FF;
constexpr uint32_t kCloseGlyphHovered = 0xFFF0BAFF;
constexpr uint32_t kCloseHoverFill = 0xFFFFFF17;
constexpr uint32_t kBodyText = 0xD7EEF4FF;
constexpr uint32_t kSecondaryText = 0xA7C6CFFF;
constexpr uint32_t kErrorText = 0xF08282FF;
constexpr uint32_t kFieldBackground = 0x0A2C46E0;
constexpr uint32_t kPathBoxBorder = 0xFFD36A5A;
constexpr uint32_t kPathText = 0xF7FBFBFF;
constexpr uint32_t kBarFillLeft = 0xFF9C42FF;
constexpr uint32_t kBarFillRight = 0xFFD77EFF;
constexpr uint32_t kBarGlow = 0xFFB24826;
constexpr uint32_t kPictureTint = 0xFFFFFFFF;

// --- controls --------------------------------------------------------------------
struct ButtonStyle {
    uint32_t button;
    uint32_t hovered;
    uint32_t active;
    uint32_t border;  // pushed only when hasBorder
    uint32_t text;
    bool hasBorder;
};

constexpr ButtonStyle kPrimaryButtonStyle = {0xFF9C42EB, 0xFFB056FF, 0xEB8C37FF, 0, 0x092033FF, false};
constexpr ButtonStyle kOutlineButtonStyle = {0x00000000, 0xFFFFFF17, 0xFFFFFF26, 0xFFD36A96, 0xFFD36AFF, true};

struct CheckboxStyle {
    uint32_t frame;
    uint32_t frameHovered;
    uint32_t frameActive;
    uint32_t checkMark;
    uint32_t text;
    float rounding;
};

constexpr CheckboxStyle kCheckboxStyle = {0x0A2C46E0, 0x123A58EB, 0x123A58FF, 0xFFD36AFF, 0xD7EEF4FF, 3.0f};

// --- the frame -------------------------------------------------------------------
constexpr float kLayoutWidth = BRINDLE_WINDOW_WIDTH;
constexpr float kLayoutHeight = BRINDLE_WINDOW_HEIGHT;
constexpr float kMargin = 30.0f;
constexpr float kContentRight = kLayoutWidth - kMargin;  // 490
constexpr float kContentWidth = kContentRight - kMargin;  // 460

constexpr float kOutlineRounding = 8.0f;
constexpr char kBrandTitle[] = BRINDLE_BRAND;
constexpr ImVec2 kBrandTitlePos = {16.0f, 18.0f};
constexpr float kBrandLetterSpacing = 0.9f;
constexpr float kHeaderRuleY = 50.0f;

constexpr ImVec2 kCloseButtonPos = {480.0f, 11.0f};
constexpr float kCloseButtonSize = 28.0f;
constexpr float kCloseHoverRounding = 2.0f;
constexpr char kCloseGlyphText[] = "\xC3\x97";  // U+00D7 multiplication sign

// The header band above the rule drags the window, up to a little before the
// close button, which stays a button.
constexpr float kDragBandHeight = kHeaderRuleY;
constexpr float kDragBandRight = kCloseButtonPos.x - 8.0f;  // 472

constexpr float kLogoBoxWidth = 230.0f;
constexpr float kLogoBoxHeight = 82.0f;
constexpr float kLogoTop = 77.0f;

constexpr float kFooterBoxWidth = 192.0f;
constexpr float kFooterBoxHeight = 56.0f;
constexpr float kFooterScale = 1.35f;
constexpr float kFooterTop = 303.0f;

// --- status block (progress, completion, error) ------------------------------------
constexpr ImVec2 kStatusLinePos = {30.0f, 184.0f};
constexpr float kStatusLineWidth = 400.0f;
constexpr float kPercentageY = 183.0f;
constexpr float kBarTop = 207.0f;
constexpr float kBarBottom = 221.0f;
constexpr float kBarRounding = 4.0f;
constexpr float kBarGlowSpread = 2.0f;
constexpr float kBarGlowRounding = 6.0f;
constexpr ImVec2 kDetailLinePos = {30.0f, 233.0f};
constexpr ImVec2 kSizeLinePos = {30.0f, 256.0f};
constexpr float kSpeedGap = 12.0f;
constexpr ImVec2 kRetryButtonPos = {30.0f, 262.0f};
constexpr ImVec2 kRetryButtonSize = {118.0f, 32.0f};
constexpr ImVec2 kLaunchAnywayButtonPos = {158.0f, 262.0f};
constexpr ImVec2 kLaunchAnywayButtonSize = {150.0f, 32.0f};
constexpr float kWideButtonRounding = 6.0f;

// --- install prompt ---------------------------------------------------------------
constexpr float kCaptionY = 182.0f;
constexpr float kPathBoxTop = 204.0f;
constexpr float kPathBoxHeight = 30.0f;
constexpr float kPathBoxRounding = 4.0f;
constexpr float kPathTextInset = 8.0f;
constexpr float kChooseButtonWidth = 84.0f;
constexpr float kChooseButtonGap = 8.0f;
constexpr float kChooseButtonRounding = 4.0f;
constexpr float kHintY = 242.0f;
constexpr float kCheckboxY = 270.0f;
constexpr float kContinueButtonWidth = 150.0f;
constexpr float kContinueButtonHeight = 32.0f;
constexpr float kButtonRowY = 262.0f;

}  // namespace br
