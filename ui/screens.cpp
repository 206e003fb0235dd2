#include "ui/screens.h"

#include <algorithm>
#include <cfloat>
#include <cstdio>

#include "app/assets.h"
#include "app/window.h"
#include "common/text_encoding.h"
#include "install/game_launch.h"
#include "install/folder_dialog.h"
#include "install/launcher_swap.h"
#include "install/run_folder.h"
#include "ui/style.h"
#include "ui/text.h"

namespace br {

bool createShortcutChoice = true;
bool autoLaunchDone = false;
int32_t successFrameCount = 0;

namespace {

constexpr int32_t kAutoLaunchFrames = 24;

// Everything drawn directly uses a font at its own pixel size; a missing font
// (a program file without any) falls back to whatever ImGui is drawing with.
ImFont* orCurrent(ImFont* font) {
    return font != nullptr ? font : ImGui::GetFont();
}

ImVec2 measure(ImFont* font, float size, const std::string& text) {
    return orCurrent(font)->CalcTextSizeA(size, FLT_MAX, 0.0f, text.data(), text.data() + text.size());
}

void drawText(ImDrawList* drawList, ImFont* font, float size, ImVec2 pos, uint32_t colour, const std::string& text) {
    drawList->AddText(orCurrent(font), size, pos, packColour(colour), text.data(), text.data() + text.size());
}

void pushButtonStyle(const ButtonStyle& style) {
    ImGui::PushStyleColor(ImGuiCol_Button, colourVec(style.button));
    ImGui::PushStyleColor(ImGuiCol_ButtonHovered, colourVec(style.hovered));
    ImGui::PushStyleColor(ImGuiCol_ButtonActive, colourVec(style.active));
    if (style.hasBorder) {
        ImGui::PushStyleColor(ImGuiCol_Border, colourVec(style.border));
    }
    ImGui::PushStyleColor(ImGuiCol_Text, colourVec(style.text));
}

void popButtonStyle(const ButtonStyle& style) {
    ImGui::PopStyleColor(style.hasBorder ? 5 : 4);
}

bool styledButton(const char* label, ImVec2 pos, ImVec2 size, const ButtonStyle& style) {
    ImGui::SetCursorPos(pos);
    pushButtonStyle(style);
    bool clicked = ImGui::Button(label, size);
    popButtonStyle(style);
    return clicked;
}

void drawPicture(ImDrawList* drawList, const TextureImage& texture, const ImageRect& rect,
                 const ImageRect& uv = {ImVec2(0.0f, 0.0f), ImVec2(1.0f, 1.0f)}) {
    drawList->AddImage((ImTextureID)texture.view, rect.min, rect.max, uv.min, uv.max, packColour(kPictureTint));
}

void drawBackground(ImDrawList* drawList) {
    if (backgroundTexture.view != nullptr) {
        ImageRect uv = coverUv(backgroundTexture.width, backgroundTexture.height, kLayoutWidth, kLayoutHeight);
        drawPicture(drawList, backgroundTexture, {ImVec2(0.0f, 0.0f), ImVec2(kLayoutWidth, kLayoutHeight)}, uv);
    }
    ImU32 left = packColour(kWashLeft);
    ImU32 right = packColour(kWashRight);
    drawList->AddRectFilledMultiColor(ImVec2(0.0f, 0.0f), ImVec2(kLayoutWidth, kLayoutHeight), left, right, right,
                                      left);
    drawList->AddRect(ImVec2(0.5f, 0.5f), ImVec2(kLayoutWidth - 0.5f, kLayoutHeight - 0.5f),
                      packColour(kWindowOutline), kOutlineRounding, 0, 1.0f);
}

// One character at a time, each advanced by its own width plus a little
// letter spacing, which the font alone does not give.
void drawBrandTitle(ImDrawList* drawList) {
    float x = kBrandTitlePos.x;
    for (const char* letter = kBrandTitle; *letter != '\0'; ++letter) {
        std::string one(1, *letter);
        drawText(drawList, fontBold12, 12.0f, ImVec2(x, kBrandTitlePos.y), kGoldAccent, one);
        x += measure(fontBold12, 12.0f, one).x + kBrandLetterSpacing;
    }
    drawList->AddLine(ImVec2(0.0f, kHeaderRuleY), ImVec2(kLayoutWidth, kHeaderRuleY), packColour(kHeaderRule), 1.0f);
}

// Pressed on mouse-down, so the program ends without waiting for the release.
void drawCloseButton(ImDrawList* drawList) {
    ImGui::SetCursorPos(kCloseButtonPos);
    ImVec2 corner = ImGui::GetCursorScreenPos();
    ImGui::InvisibleButton("##close", ImVec2(kCloseButtonSize, kCloseButtonSize));
    if (ImGui::IsItemClicked(ImGuiMouseButton_Left)) {
        launcherApp.appRunning = false;
    }
    bool hovered = ImGui::IsItemHovered();
    if (hovered) {
        drawList->AddRectFilled(corner, ImVec2(corner.x + kCloseButtonSize, corner.y + kCloseButtonSize),
                                packColour(kCloseHoverFill), kCloseHoverRounding);
    }
    ImVec2 glyph = measure(fontRegular18, 18.0f, kCloseGlyphText);
    ImVec2 pos(kCloseButtonPos.x + (kCloseButtonSize - glyph.x) / 2.0f,
               kCloseButtonPos.y + (kCloseButtonSize - glyph.y) / 2.0f);
    drawText(drawList, fontRegular18, 18.0f, pos, hovered ? kCloseGlyphHovered : kCloseGlyph, kCloseGlyphText);
}

void drawLogo(ImDrawList* drawList) {
    if (logoTexture.view != nullptr) {
        drawPicture(drawList, logoTexture, logoRect(logoTexture.width, logoTexture.height));
    }
}

// The wordmark sits in the middle of a mostly empty canvas: enlarged, and
// clipped to its band so that only the empty canvas above and below is lost.
void drawFooter(ImDrawList* drawList) {
    if (footerTexture.view == nullptr) {
        return;
    }
    drawList->PushClipRect(ImVec2(kMargin, kFooterTop), ImVec2(kContentRight, kFooterTop + kFooterBoxHeight), true);
    drawPicture(drawList, footerTexture, footerRect(footerTexture.width, footerTexture.height));
    drawList->PopClipRect();
}

void drawProgressBar(ImDrawList* drawList, float fraction) {
    drawList->AddRectFilled(ImVec2(kMargin, kBarTop), ImVec2(kContentRight, kBarBottom),
                            packColour(kFieldBackground), kBarRounding);
    float fill = fraction * kContentWidth;
    if (fill > 1.0f) {
        drawList->AddRectFilled(ImVec2(kMargin - kBarGlowSpread, kBarTop - kBarGlowSpread),
                                ImVec2(kMargin + fill + kBarGlowSpread, kBarBottom + kBarGlowSpread),
                                packColour(kBarGlow), kBarGlowRounding);
        // The light end always leads, whatever the fraction.
        ImU32 left = packColour(kBarFillLeft);
        ImU32 right = packColour(kBarFillRight);
        drawList->AddRectFilledMultiColor(ImVec2(kMargin, kBarTop), ImVec2(kMargin + fill, kBarBottom), left, right,
                                          right, left);
    }
}

// The folder dialog has no owner window, so the launcher window is switched
// off for as long as it is open: clicks on it would otherwise reach Dear ImGui
// and be acted on once the dialog returns. Whatever was queued is dropped.
std::wstring chooseFolderWithLauncherOff() {
    struct WindowOff {
        HWND window;
        explicit WindowOff(HWND w) : window(w) { EnableWindow(window, FALSE); }
        ~WindowOff() { EnableWindow(window, TRUE); }
    } off(launcherApp.window);
    std::wstring chosen = chooseInstallFolder();
    ImGui::GetIO().ClearEventsQueue();
    ImGui::GetIO().ClearInputKeys();
    return chosen;
}

void drawErrorButtons() {
    ImGui::PushFont(fontRegular13);
    ImGui::PushStyleVar(ImGuiStyleVar_FrameRounding, kWideButtonRounding);
    if (styledButton("Thử lại", kRetryButtonPos, kRetryButtonSize, kPrimaryButtonStyle)) {
        startUpdateWorker();
    }
    ImGui::PushStyleVar(ImGuiStyleVar_FrameBorderSize, 1.0f);
    if (styledButton("Vẫn khởi động", kLaunchAnywayButtonPos, kLaunchAnywayButtonSize, kOutlineButtonStyle)) {
        launchGame();
        launcherApp.appRunning = false;
    }
    ImGui::PopStyleVar(2);
    ImGui::PopFont();
}

void drawStatusBlock(ImDrawList* drawList, const StatusSnapshot& snapshot) {
    bool failed = snapshot.finished && !snapshot.succeeded;
    float fraction = progressFraction(snapshot);

    std::string status = snapshot.phase;
    if (snapshot.succeeded) {
        status = "Hoàn tất - đang khởi động";
    } else if (failed) {
        status = "Lỗi cập nhật";
    }
    drawText(drawList, fontRegular12, 12.0f, kStatusLinePos, failed ? kErrorText : kBodyText,
             fitTextToWidth(fontRegular12, 12.0f, status, kStatusLineWidth));

    if (!failed) {
        std::string percent = percentText(fraction);
        float width = measure(fontBold13, 13.0f, percent).x;
        drawText(drawList, fontBold13, 13.0f, ImVec2(kContentRight - width, kPercentageY), kGoldAccent, percent);
    }

    drawProgressBar(drawList, fraction);

    if (failed) {
        drawText(drawList, fontRegular10, 10.0f, kDetailLinePos, kErrorText,
                 fitTextToWidth(fontRegular10, 10.0f, snapshot.error, kContentWidth));
        drawErrorButtons();
        return;
    }

    if (snapshot.filesTotal > 0) {
        drawText(drawList, fontRegular10, 10.0f, kDetailLinePos, kSecondaryText,
                 fitTextToWidth(fontRegular10, 10.0f, detailText(snapshot), kContentWidth));
    }
    std::string sizes = formatMegabytes(snapshot.bytesDone) + " / " + formatMegabytes(snapshot.bytesTotal);
    drawText(drawList, fontRegular10, 10.0f, kSizeLinePos, kBodyText, sizes);
    float speedX = kSizeLinePos.x + measure(fontRegular10, 10.0f, sizes).x + kSpeedGap;
    drawText(drawList, fontRegular10, 10.0f, ImVec2(speedX, kSizeLinePos.y), kBodyText, speedText(snapshot.speed));
}

}  // namespace

Screen selectScreen(bool showInstallPrompt, const StatusSnapshot& snapshot) {
    if (showInstallPrompt) {
        return Screen::installPrompt;
    }
    if (snapshot.succeeded) {
        return Screen::completion;
    }
    if (snapshot.finished) {
        return Screen::error;
    }
    return Screen::progress;
}

bool countSuccessFrame(bool succeeded) {
    if (!succeeded) {
        return false;
    }
    ++successFrameCount;
    if (successFrameCount >= kAutoLaunchFrames && !autoLaunchDone) {
        autoLaunchDone = true;
        return true;
    }
    return false;
}

ImageRect coverUv(int textureWidth, int textureHeight, float width, float height) {
    if (textureWidth <= 0 || textureHeight <= 0) {
        return {ImVec2(0.0f, 0.0f), ImVec2(1.0f, 1.0f)};
    }
    float ratio = static_cast<float>(textureWidth) / static_cast<float>(textureHeight);
    float target = width / height;
    if (ratio > target) {
        float uMin = (1.0f - target / ratio) * 0.5f;
        return {ImVec2(uMin, 0.0f), ImVec2(1.0f - uMin, 1.0f)};
    }
    float vMin = (1.0f - ratio / target) * 0.5f;
    return {ImVec2(0.0f, vMin), ImVec2(1.0f, 1.0f - vMin)};
}

ImVec2 containSize(int textureWidth, int textureHeight, float boxWidth, float boxHeight) {
    if (textureWidth <= 0 || textureHeight <= 0) {
        return ImVec2(boxWidth, boxHeight);
    }
    float ratio = static_cast<float>(textureWidth) / static_cast<float>(textureHeight);
    float height = boxWidth / ratio;
    if (height > boxHeight) {
        return ImVec2(ratio * boxHeight, boxHeight);
    }
    return ImVec2(boxWidth, height);
}

ImageRect logoRect(int textureWidth, int textureHeight) {
    ImVec2 size = containSize(textureWidth, textureHeight, kLogoBoxWidth, kLogoBoxHeight);
    ImVec2 min((kLayoutWidth - size.x) / 2.0f, kLogoTop + (kLogoBoxHeight - size.y) / 2.0f);
    return {min, ImVec2(min.x + size.x, min.y + size.y)};
}

ImageRect footerRect(int textureWidth, int textureHeight) {
    ImVec2 size = containSize(textureWidth, textureHeight, kFooterBoxWidth, kFooterBoxHeight);
    size = ImVec2(size.x * kFooterScale, size.y * kFooterScale);
    ImVec2 min((kLayoutWidth - size.x) / 2.0f, kFooterTop + (kFooterBoxHeight - size.y) / 2.0f);
    return {min, ImVec2(min.x + size.x, min.y + size.y)};
}

float progressFraction(const StatusSnapshot& snapshot) {
    if (snapshot.succeeded) {
        return 1.0f;
    }
    if (snapshot.bytesTotal == 0) {
        return 0.0f;
    }
    double fraction = static_cast<double>(snapshot.bytesDone) / static_cast<double>(snapshot.bytesTotal);
    return std::clamp(static_cast<float>(fraction), 0.0f, 1.0f);
}

std::string percentText(float fraction) {
    char buffer[16];
    std::snprintf(buffer, sizeof(buffer), "%d%%", static_cast<int>(fraction * 100.0f + 0.5f));
    return buffer;
}

std::string detailText(const StatusSnapshot& snapshot) {
    char buffer[600];
    std::snprintf(buffer, sizeof(buffer), "%s \xC2\xB7 %d/%d", snapshot.detail.c_str(), snapshot.filesDone,
                  snapshot.filesTotal);
    return buffer;
}

std::string speedText(double bytesPerSecond) {
    char buffer[64];
    std::snprintf(buffer, sizeof(buffer), "%.1f MB/s", bytesPerSecond / 1048576.0);
    return buffer;
}

void drawInstallPrompt(ImDrawList* drawList, float width, float margin) {
    float right = width - margin;                                // 490
    float chooseLeft = right - kChooseButtonWidth;               // 406
    float boxRight = chooseLeft - kChooseButtonGap;              // 398
    float continueLeft = right - kContinueButtonWidth;           // 340
    float pathWidth = boxRight - margin - 2.0f * kPathTextInset;  // 352

    drawText(drawList, fontRegular12, 12.0f, ImVec2(margin, kCaptionY), kBodyText, "Trò chơi sẽ được cài đặt tại:");

    ImVec2 boxMin(margin, kPathBoxTop);
    ImVec2 boxMax(boxRight, kPathBoxTop + kPathBoxHeight);
    drawList->AddRectFilled(boxMin, boxMax, packColour(kFieldBackground), kPathBoxRounding);
    drawList->AddRect(boxMin, boxMax, packColour(kPathBoxBorder), kPathBoxRounding, 0, 1.0f);
    std::string path = fitTextToWidth(fontRegular12, 12.0f, wideToUtf8(launcherApp.promptInstallPath), pathWidth);
    float pathHeight = measure(fontRegular12, 12.0f, path).y;
    drawText(drawList, fontRegular12, 12.0f,
             ImVec2(margin + kPathTextInset, kPathBoxTop + (kPathBoxHeight - pathHeight) / 2.0f), kPathText, path);

    ImGui::PushFont(fontRegular12);

    ImGui::PushStyleVar(ImGuiStyleVar_FrameRounding, kChooseButtonRounding);
    ImGui::PushStyleVar(ImGuiStyleVar_FrameBorderSize, 1.0f);
    bool choose = styledButton("Chọn...", ImVec2(chooseLeft, kPathBoxTop), ImVec2(kChooseButtonWidth, kPathBoxHeight),
                               kOutlineButtonStyle);
    ImGui::PopStyleVar(2);
    if (choose) {
        // Modal: no frames are drawn while the dialog is open.
        std::wstring chosen = chooseFolderWithLauncherOff();
        if (!chosen.empty()) {
            launcherApp.promptInstallPath = chosen;
        }
    }

    drawText(drawList, fontRegular10, 10.0f, ImVec2(margin, kHintY), kSecondaryText,
             "Nhấn \"Tiếp tục\" để cài đặt và cập nhật trò chơi.");

    ImGui::PushStyleColor(ImGuiCol_FrameBg, colourVec(kCheckboxStyle.frame));
    ImGui::PushStyleColor(ImGuiCol_FrameBgHovered, colourVec(kCheckboxStyle.frameHovered));
    ImGui::PushStyleColor(ImGuiCol_FrameBgActive, colourVec(kCheckboxStyle.frameActive));
    ImGui::PushStyleColor(ImGuiCol_CheckMark, colourVec(kCheckboxStyle.checkMark));
    ImGui::PushStyleColor(ImGuiCol_Text, colourVec(kCheckboxStyle.text));
    ImGui::PushStyleVar(ImGuiStyleVar_FrameRounding, kCheckboxStyle.rounding);
    ImGui::SetCursorPos(ImVec2(margin, kCheckboxY));
    ImGui::Checkbox("Tạo lối tắt trên màn hình", &createShortcutChoice);
    ImGui::PopStyleVar(1);
    ImGui::PopStyleColor(5);

    ImGui::PushStyleVar(ImGuiStyleVar_FrameRounding, kWideButtonRounding);
    bool proceed = styledButton("Tiếp tục", ImVec2(continueLeft, kButtonRowY),
                                ImVec2(kContinueButtonWidth, kContinueButtonHeight), kPrimaryButtonStyle);
    ImGui::PopStyleVar(1);
    if (proceed) {
        // The worker reads both choices, so they are set before it starts.
        setInstallFolder(launcherApp.promptInstallPath);
        setShortcutWanted(createShortcutChoice);
        launcherApp.showInstallPrompt = false;
        startUpdateWorker();
    }

    ImGui::PopFont();
}

void drawLauncherFrame() {
    ImGui::SetNextWindowPos(ImVec2(0.0f, 0.0f), ImGuiCond_Always, ImVec2(0.0f, 0.0f));
    ImGui::SetNextWindowSize(ImVec2(kLayoutWidth, kLayoutHeight), ImGuiCond_Always);
    // Without ImGui's own border, which would clip the content one pixel inside
    // the window and cover the design's outline with its grey.
    ImGui::PushStyleVar(ImGuiStyleVar_WindowBorderSize, 0.0f);
    ImGui::Begin("##root", nullptr,
                 ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoMove |
                     ImGuiWindowFlags_NoScrollbar | ImGuiWindowFlags_NoCollapse |
                     ImGuiWindowFlags_NoBringToFrontOnFocus);
    ImGui::PopStyleVar();
    ImDrawList* drawList = ImGui::GetWindowDrawList();

    drawBackground(drawList);
    drawBrandTitle(drawList);
    drawCloseButton(drawList);

    StatusSnapshot snapshot = snapshotStatus(globalStatus());
    drawLogo(drawList);
    if (launcherApp.showInstallPrompt) {
        drawInstallPrompt(drawList, kLayoutWidth, kMargin);
    } else {
        drawStatusBlock(drawList, snapshot);
    }
    drawFooter(drawList);

    if (countSuccessFrame(snapshot.succeeded)) {
        // A run that put a new launcher in place leaves the game to that one.
        if (replacedLauncher().empty()) {
            launchGame();
        } else {
            launcherApp.handOverAfterRun = true;
        }
        launcherApp.appRunning = false;
    }
    ImGui::End();
}

}  // namespace br
