#pragma once
// Standard base64 (RFC 4648: "+" and "/", "=" padding), plain code for the
// launcher and both builds of the publishing tool.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace br {

std::string encodeBase64(const uint8_t* bytes, size_t count);

// Only the one canonical spelling is read: a length that is a multiple of
// four, padding only at the end, the last character's spare bits zero, and
// nothing else (no spaces, no line ends). False otherwise.
bool decodeBase64(const std::string& text, std::vector<uint8_t>& bytes);

}  // namespace br
