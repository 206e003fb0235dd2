#include "ui/text.h"

#include <cfloat>
#include <cstdio>

#include "imgui.h"

namespace br {

namespace {

float measureWidth(ImFont* font, float fontSize, const std::string& text) {
    return font->CalcTextSizeA(fontSize, FLT_MAX, 0.0f, text.data(), text.data() + text.size()).x;
}

// Drops the last code point: its continuation bytes (10xxxxxx) and its lead byte.
void removeLastCharacter(std::string& text) {
    size_t end = text.size();
    while (end > 0 && (static_cast<unsigned char>(text[end - 1]) & 0xC0) == 0x80) {
        --end;
    }
    if (end > 0) {
        --end;
    }
    text.resize(end);
}

}  // namespace

std::string fitTextToWidth(ImFont* font, float fontSize, const std::string& text, float maxWidth) {
    if (font == nullptr) {
        // Only a program file without any font gets here; measure with what ImGui has.
        font = ImGui::GetFont();
    }
    if (measureWidth(font, fontSize, text) <= maxWidth) {
        return text;
    }
    std::string kept = text;
    while (!kept.empty()) {
        removeLastCharacter(kept);
        std::string candidate = kept + "...";
        if (measureWidth(font, fontSize, candidate) <= maxWidth) {
            return candidate;
        }
    }
    return "...";
}

std::string formatMegabytes(uint64_t bytes) {
    char buffer[64];
    std::snprintf(buffer, sizeof(buffer), "%.1f MB", static_cast<double>(bytes) / 1048576.0);
    return buffer;
}

}  // namespace br
