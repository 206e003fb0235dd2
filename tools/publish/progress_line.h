#pragma once
// The one-line hashing progress on a terminal, and the sizes and rates that
// the summary prints.

#include <cstdint>
#include <string>

#include "tools/publish/parallel_hash.h"

namespace br {

// True when standard error is a terminal: only then is a redrawn line readable.
bool progressLineWanted();

// Redraws the line, once the run has taken longer than a second.
void showProgressLine(const HashProgress& progress);
void clearProgressLine();

std::string formatBytes(uint64_t bytes);  // "0 B", "812 KB", "1.5 GB"
std::string formatRate(uint64_t bytes, double seconds);

}  // namespace br
