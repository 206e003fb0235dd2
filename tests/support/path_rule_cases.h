#pragma once
// One table of manifest paths and what the launcher makes of them, checked
// natively against the shared rules (tests/publish/path_rules_test.cpp) and
// under Wine through resolveInstallPath (tests/unit/reliability_paths_test.cpp).

#include <string_view>
#include <vector>

namespace br {
namespace test {

struct PathRuleCase {
    std::string_view path;  // as the manifest spells it, UTF-8
    const char* spelling;   // the launcher's relative spelling ("\" between names); null: refused
};

using namespace std::string_view_literals;

// Drives, shares, streams and characters no name may hold.
inline const std::vector<PathRuleCase> kDriveStreamCharacterCases = {
    {"C:/Windows/x", nullptr}, {"C:\\Windows\\x", nullptr}, {"c:x.txt", nullptr}, {"data/C:/x", nullptr},
    {"a.txt:evil", nullptr}, {"a.txt::$DATA", nullptr}, {"data/a.txt:Zone.Identifier", nullptr},
    {"\\\\?\\C:\\x", nullptr}, {"//?/UNC/server/x", nullptr}, {"a*.txt", nullptr}, {"a?.txt", nullptr},
    {"a\"b", nullptr}, {"a<b", nullptr}, {"a>b", nullptr}, {"a|b", nullptr}, {"tab\there", nullptr},
    {"line\nbreak", nullptr}, {"ret\rx", nullptr}, {"bell\x07", nullptr}, {"\x1F", nullptr},
    // A NUL would end the name early and alias another file.
    {"a.txt\0.bak"sv, nullptr},
    // DEL and characters beyond ASCII are ordinary.
    {"del\x7F.txt", "del\x7F.txt"},
};

// Devices, as any component, in any case, with any extension.
inline const std::vector<PathRuleCase> kDeviceCases = {
    {"CON", nullptr}, {"con", nullptr}, {"Con.txt", nullptr}, {"nul.txt", nullptr}, {"NUL.tar.gz", nullptr},
    {"aux", nullptr}, {"PRN.log", nullptr}, {"com1", nullptr}, {"COM9.dat", nullptr}, {"lpt1", nullptr},
    {"Lpt9.txt", nullptr}, {"COM0", nullptr}, {"lpt0.x", nullptr}, {"conin$", nullptr}, {"CONOUT$.txt", nullptr},
    {"nul .txt", nullptr}, {"data/nul", nullptr}, {"con/x.txt", nullptr}, {"a/b/PRN.dll", nullptr},
    {"COM\xC2\xB9", nullptr}, {"lpt\xC2\xB3.txt", nullptr}, {"Com\xC2\xB2.log", nullptr}, {"x\\AUX\\y", nullptr},
    // Only whole names are devices.
    {"console.txt", "console.txt"}, {"com10", "com10"}, {"lpt", "lpt"}, {"nulls/a.txt", "nulls\\a.txt"},
    {"data/auxiliary.pak", "data\\auxiliary.pak"}, {"COMA.dat", "COMA.dat"}, {"com\xC2\xB4", "com\xC2\xB4"},
    {"my con.txt", "my con.txt"}, {"CONIN", "CONIN"},
};

// Names Windows would read as another name, or as the folder itself.
inline const std::vector<PathRuleCase> kRespelledCases = {
    {".", nullptr}, {"./a.dll", nullptr}, {"a/./b", nullptr}, {"a.", nullptr}, {"a. ", nullptr},
    {"a ", nullptr}, {"dir /x", nullptr}, {"dir./x", nullptr}, {"x/.", nullptr}, {"...", nullptr},
    {" ", nullptr}, {"data/readme.txt.", nullptr},
    // Leading dots and spaces are kept by Windows, so they are fine.
    {".hidden/ a.txt", ".hidden\\ a.txt"}, {"a.b.c", "a.b.c"},
};

// Anything that climbs out, even ".." inside a name.
inline const std::vector<PathRuleCase> kClimbingCases = {
    {"../a.dll", nullptr}, {"x/../a.dll", nullptr}, {"a..dll", nullptr}, {"..", nullptr}, {"/..", nullptr},
    {"x\\..\\..\\a.dll", nullptr}, {"a/b..", nullptr}, {"\\\\..\\x", nullptr}, {"maps/a..b.dat", nullptr},
};

// Separators: "/" and "\" alike, leading ones dropped, doubled ones collapsed.
inline const std::vector<PathRuleCase> kSeparatorCases = {
    {"\\\\server\\share\\x", "server\\share\\x"}, {"//server/share/x", "server\\share\\x"},
    {"a//b\\\\c/\\d.txt", "a\\b\\c\\d.txt"}, {"a/b//", "a\\b\\"}, {"bin/x64/a.dll", "bin\\x64\\a.dll"},
    {"/a.dll", "a.dll"}, {"\\\\a.dll", "a.dll"}, {"", ""}, {"///", ""},
    {"Bản đồ//khu vực 1.dat", "Bản đồ\\khu vực 1.dat"},
    {"dữ liệu/âm thanh/tiếng Việt.ogg", "dữ liệu\\âm thanh\\tiếng Việt.ogg"},
};

inline const std::vector<const std::vector<PathRuleCase>*> kAllPathRuleCases = {
    &kDriveStreamCharacterCases, &kDeviceCases, &kRespelledCases, &kClimbingCases, &kSeparatorCases,
};

}  // namespace test
}  // namespace br
