#pragma once

#include <string>

namespace br {

// UTF-8 to UTF-16 and back; invalid input converts as Windows does (flags 0).
std::wstring utf8ToWide(const std::string& text);
std::string wideToUtf8(const std::wstring& text);

}  // namespace br
