#pragma once
// Replacing a file so that readers see the old content or the new, never a
// part: the update server may hand out the manifest while it is written.

#include <filesystem>
#include <string>

namespace br {

// Writes text to a temporary file beside target, flushes it to disk and
// renames it over target. On failure target is left as it was and the
// temporary file is removed.
bool writeFileAtomically(const std::filesystem::path& target, const std::string& text, std::string& reason);

}  // namespace br
