#pragma once
// UTF-8 decoded and encoded by hand, without Windows: the path and file-name
// rules run natively too (the publishing tool, the fuzz targets).

#include <cstddef>
#include <string>

namespace br {

// One code point from text at index, which moves past it; false on a
// malformed, overlong or surrogate sequence (index stays).
bool nextCodePoint(const std::string& text, size_t& index, char32_t& codePoint);
void appendUtf8(char32_t codePoint, std::string& out);
bool isValidUtf8(const std::string& text);

}  // namespace br
