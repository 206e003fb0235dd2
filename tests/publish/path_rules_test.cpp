// Which release paths the launcher could install on Windows, letter-case
// conflicts, and how paths go into URLs.

#include <gtest/gtest.h>

#include "tools/publish/path_rules.h"

namespace br {
namespace {

TEST(PathRules, RefusesWhatTheLauncherOrWindowsCannotTake) {
    const char* const refused[] = {
        "a/../b",             // climbs out
        "maps/a..b.dat",      // ".." inside a name: the launcher skips it too
        "..",                 //
        "x<y", "x>y", "a:b", "say\"hi\"", "a|b", "what?.txt", "star*.bin",
        "tab\there", "bell\x07", "line\nbreak",
        "back\\slash.txt",    // a folder separator to the launcher
        "CON", "con.txt", "data/Aux.dat", "NUL .txt", "prn", "COM1.log", "lpt9", "COM0", "com\xC2\xB9.txt",
        "CONIN$", "conout$.txt",
        "name.", "trailing ", "folder./file", "folder /file",
        "a//b", "/absolute", "",
        "bad\xC3\x28utf8", "overlong\xC0\xAF", "surrogate\xED\xA0\x80", "cut\xE1\xBA",
    };
    for (const char* path : refused) {
        EXPECT_FALSE(releasePathProblem(path).empty()) << "accepted: " << path;
    }
}

TEST(PathRules, AcceptsOrdinaryNames) {
    const char* const accepted[] = {
        "Bản đồ/khu vực 1.dat", "dữ liệu/âm thanh/tiếng Việt.ogg", "data/a b.bin", ".hidden", "a.b.c",
        "CONSOLE.txt", "COM10", "LPT", "COMA.dat", "auxiliary/x", "v1.2/readme", "~tilde-_.x", "emoji/😀.png",
    };
    for (const char* path : accepted) {
        EXPECT_EQ(releasePathProblem(path), "") << path;
    }
}

TEST(PathRules, FoldsVietnameseLettersLikeWindows) {
    EXPECT_EQ(foldCase("ĐƯỜNG PHỐ/Ảnh.PNG"), foldCase("đường phố/ảnh.png"));
    EXPECT_EQ(foldCase("ĂÂÊÔƠƯĐ"), "ăâêôơưđ");
    EXPECT_EQ(foldCase("ẠẢẤẦẨẪẬỲỴỶỸ"), "ạảấầẩẫậỳỵỷỹ");
    EXPECT_EQ(foldCase("ΑΒΓ Жизнь Ÿ"), "αβγ жизнь ÿ");
    // Different letters stay different.
    EXPECT_NE(foldCase("a"), foldCase("ă"));
    EXPECT_NE(foldCase("o"), foldCase("ơ"));
    EXPECT_NE(foldCase("đ"), foldCase("d"));
}

TEST(PathRules, FindsPathsThatMeetOnWindows) {
    EXPECT_TRUE(caseConflicts({"Bản đồ/a.dat", "Bản đồ/b.dat", "bản đồ/c.dat", "readme.txt"}).empty())
        << "files in one folder spelt two ways do not collide";

    auto same = caseConflicts({"Data/Readme.TXT", "data/readme.txt", "other"});
    ASSERT_EQ(same.size(), 1u);
    EXPECT_EQ(same[0].first, "Data/Readme.TXT");
    EXPECT_EQ(same[0].second, "data/readme.txt");

    auto vietnamese = caseConflicts({"ĐỒ HOẠ.dat", "đồ hoạ.dat"});
    EXPECT_EQ(vietnamese.size(), 1u);

    auto fileAndFolder = caseConflicts({"Maps", "maps/level1.dat"});
    ASSERT_EQ(fileAndFolder.size(), 1u);
    EXPECT_EQ(fileAndFolder[0].first, "Maps");
    EXPECT_EQ(fileAndFolder[0].second, "maps/level1.dat");
}

TEST(PathRules, PercentEncodesEachSegmentAsUtf8) {
    EXPECT_EQ(percentEncodePath("Bản đồ/khu vực 1.dat"), "B%E1%BA%A3n%20%C4%91%E1%BB%93/khu%20v%E1%BB%B1c%201.dat");
    EXPECT_EQ(percentEncodePath("a+b&c=d#e%f;g,h@i!j'k(l)m[n]o$p"),
              "a%2Bb%26c%3Dd%23e%25f%3Bg%2Ch%40i%21j%27k%28l%29m%5Bn%5Do%24p");
    EXPECT_EQ(percentEncodePath("keep/A-Z_a.z~09"), "keep/A-Z_a.z~09");
}

}  // namespace
}  // namespace br
