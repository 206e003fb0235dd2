#pragma once
// Files the build generates beside the test program (the fonts under generated/).

#include <windows.h>

#include <string>

namespace br {

// The test program's own folder, with a trailing separator. Build folders are
// ASCII paths, so the narrow form is enough.
inline std::string testProgramFolder() {
    char module[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, module, MAX_PATH);
    std::string path(module, length);
    return path.substr(0, path.find_last_of("\\/") + 1);
}

inline std::string builtFontPath(const char* name) {
    return testProgramFolder() + "generated\\" + name;
}

}  // namespace br
