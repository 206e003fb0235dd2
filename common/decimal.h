#pragma once
// Whole decimal numbers in the texts the launcher reads from outside (the
// state file, HTTP headers): digits only, at least one, and one that fits.

#include <cstdint>
#include <string>

namespace br {

bool parseDecimal(const std::string& text, uint64_t& number);

}  // namespace br
