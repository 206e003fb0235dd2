// Manifest paths come from the network: every spelling that Windows would read
// as a drive, a share, a stream, a device or a different name is refused, and
// every path that is accepted names exactly one file inside the base.

#include <gtest/gtest.h>

#include <string>

#include "install/install_location.h"

namespace br {
namespace {

const std::wstring kBase = L"C:\\Người chơi\\Trò chơi";

TEST(ManifestPathRules, DrivesStreamsAndForbiddenCharactersAreRefused) {
    for (const char* path : {"C:/Windows/x", "C:\\Windows\\x", "c:x.txt", "data/C:/x", "a.txt:evil",
                             "a.txt::$DATA", "data/a.txt:Zone.Identifier", "\\\\?\\C:\\x", "//?/UNC/server/x",
                             "a*.txt", "a?.txt", "a\"b", "a<b", "a>b", "a|b", "tab\there", "line\nbreak",
                             "ret\rx"}) {
        EXPECT_EQ(resolveInstallPath(kBase, path), L"") << path;
    }
    // A NUL byte would end the name early and alias another file.
    EXPECT_EQ(resolveInstallPath(kBase, std::string("a.txt\0.bak", 10)), L"");
}

TEST(ManifestPathRules, DeviceNamesAreRefusedAsAnyComponent) {
    for (const char* path :
         {"CON", "con", "Con.txt", "nul.txt", "NUL.tar.gz", "aux", "PRN.log", "com1", "COM9.dat", "lpt1",
          "Lpt9.txt", "COM0", "lpt0.x", "conin$", "CONOUT$.txt", "nul .txt", "data/nul", "con/x.txt",
          "a/b/PRN.dll", "COM\xC2\xB9", "lpt\xC2\xB3.txt"}) {
        EXPECT_EQ(resolveInstallPath(kBase, path), L"") << path;
    }
    // Only whole names are devices.
    EXPECT_EQ(resolveInstallPath(kBase, "console.txt"), kBase + L"\\console.txt");
    EXPECT_EQ(resolveInstallPath(kBase, "com10"), kBase + L"\\com10");
    EXPECT_EQ(resolveInstallPath(kBase, "lpt"), kBase + L"\\lpt");
    EXPECT_EQ(resolveInstallPath(kBase, "nulls/a.txt"), kBase + L"\\nulls\\a.txt");
    EXPECT_EQ(resolveInstallPath(kBase, "data/auxiliary.pak"), kBase + L"\\data\\auxiliary.pak");
}

TEST(ManifestPathRules, NamesWindowsWouldRespellAreRefused) {
    for (const char* path : {".", "./a.dll", "a/./b", "a.", "a. ", "a ", "dir /x", "dir./x", "x/.",
                             "...", " "}) {
        EXPECT_EQ(resolveInstallPath(kBase, path), L"") << path;
    }
    // Leading dots and spaces are kept by Windows, so they are fine.
    EXPECT_EQ(resolveInstallPath(kBase, ".hidden/ a.txt"), kBase + L"\\.hidden\\ a.txt");
}

TEST(ManifestPathRules, SharesAndDoubledSeparatorsStayInsideAsOneSpelling) {
    EXPECT_EQ(resolveInstallPath(kBase, "\\\\server\\share\\x"), kBase + L"\\server\\share\\x");
    EXPECT_EQ(resolveInstallPath(kBase, "//server/share/x"), kBase + L"\\server\\share\\x");
    EXPECT_EQ(resolveInstallPath(kBase, "a//b\\\\c/\\d.txt"), kBase + L"\\a\\b\\c\\d.txt");
    EXPECT_EQ(resolveInstallPath(kBase, "a/b//"), kBase + L"\\a\\b\\");
    EXPECT_EQ(resolveInstallPath(kBase, "Bản đồ//khu vực 1.dat"), kBase + L"\\Bản đồ\\khu vực 1.dat");
}

}  // namespace
}  // namespace br
