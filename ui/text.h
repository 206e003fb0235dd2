#pragma once
// Text helpers for the launcher's one-line texts.

#include <cstdint>
#include <string>

struct ImFont;

namespace br {

// The text itself when it measures at most maxWidth at fontSize; otherwise its
// longest beginning, cut at whole UTF-8 characters, that fits with "..."
// appended; "..." alone when nothing does. Never wraps.
std::string fitTextToWidth(ImFont* font, float fontSize, const std::string& text, float maxWidth);

// "12.5 MB": the byte count in mebibytes with one decimal.
std::string formatMegabytes(uint64_t bytes);

}  // namespace br
