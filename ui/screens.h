#pragma once
// Everything the launcher window shows: the frame (background, title, close
// button, logo, footer) and, inside it, the install prompt or the status of the
// update run, derived anew in every frame.

#include <cstdint>
#include <string>

#include "imgui.h"
#include "update/status.h"

namespace br {

// The desktop-shortcut checkbox of the install prompt.
extern bool createShortcutChoice;
// Counts frames after a successful run before the game starts; reset by
// startUpdateWorker so that every run can launch once.
extern bool autoLaunchDone;
extern int32_t successFrameCount;

// Called once per frame by the frame loop, inside an ImGui frame.
void drawLauncherFrame();
void drawInstallPrompt(ImDrawList* drawList, float width, float margin);

// --- rules behind the drawing, kept apart so they can be checked directly ---

enum class Screen { installPrompt, progress, completion, error };
Screen selectScreen(bool showInstallPrompt, const StatusSnapshot& snapshot);

// Counts one frame drawn with the given outcome; true on the one frame that must
// start the game (the 24th success frame of a run).
bool countSuccessFrame(bool succeeded);

struct ImageRect {
    ImVec2 min;
    ImVec2 max;
};
// Texture coordinates that crop a picture to cover a width x height area.
ImageRect coverUv(int textureWidth, int textureHeight, float width, float height);
// Size of a picture scaled to fit a box, keeping its proportions.
ImVec2 containSize(int textureWidth, int textureHeight, float boxWidth, float boxHeight);
ImageRect logoRect(int textureWidth, int textureHeight);
ImageRect footerRect(int textureWidth, int textureHeight);

float progressFraction(const StatusSnapshot& snapshot);
std::string percentText(float fraction);
std::string detailText(const StatusSnapshot& snapshot);
std::string speedText(double bytesPerSecond);

}  // namespace br
