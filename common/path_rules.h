#pragma once
// What a relative path from a release must look like before anything is
// installed, recorded or deleted by it: one rule set for the launcher and the
// publishing tool, in plain functions over UTF-8 without Windows.
//
// A path may only ever name a file inside the install folder, and only by one
// spelling: anything Windows would read as a drive, a stream, a device, a
// parent folder or another name is refused.

#include <string>

namespace br {

// How a path may be written. The launcher takes "/" and "\" alike and lets
// leading and doubled separators collapse; a release is written in the plain
// form: "/" only, no leading, doubled or empty names, valid UTF-8.
enum class PathSpelling { lenient, plain };

// Why the path is refused, in a short English phrase that follows the path
// ("contains ..."), or empty when it is taken.
std::string pathProblem(const std::string& path, PathSpelling spelling);

// The launcher's one spelling of a path that the lenient rules take: names
// joined by "\", leading separators dropped, doubled ones collapsed (a
// trailing one stays single). False, with cleaned untouched, when refused.
bool installSpelling(const std::string& path, std::string& cleaned);

// CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM0-9 and LPT0-9 (the superscript
// digits too), in any letter case, with any extension and with spaces before
// it: names Windows opens as devices in every folder.
bool isDeviceName(const std::string& name);

}  // namespace br
