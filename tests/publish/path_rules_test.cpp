// Which release paths the launcher could install on Windows, letter-case
// conflicts, and how paths go into URLs; natively, the rules that the
// launcher and the tool share.

#include <gtest/gtest.h>

#include "common/name_case.h"
#include "common/path_rules.h"
#include "tests/support/path_rule_cases.h"
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
    EXPECT_EQ(fileNameKey("ĐƯỜNG PHỐ/Ảnh.PNG"), fileNameKey("đường phố/ảnh.png"));
    EXPECT_EQ(fileNameKey("ĂÂÊÔƠƯĐ"), fileNameKey("ăâêôơưđ"));
    EXPECT_EQ(fileNameKey("ẠẢẤẦẨẪẬỲỴỶỸ"), fileNameKey("ạảấầẩẫậỳỵỷỹ"));
    EXPECT_EQ(fileNameKey("ΑΒΓ Жизнь Ÿ"), fileNameKey("αβγ жизнь ÿ"));
    // Different letters stay different.
    EXPECT_NE(fileNameKey("a"), fileNameKey("ă"));
    EXPECT_NE(fileNameKey("o"), fileNameKey("ơ"));
    EXPECT_NE(fileNameKey("đ"), fileNameKey("d"));
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

// Every script the file system upper-cases, not only the letters a
// Vietnamese game uses; and only the pairs it upper-cases.
TEST(PathRules, ClashesAreThoseOfTheFileSystem) {
    EXPECT_EQ(caseConflicts({"Ձայն/a.ogg", "ձայն/b.ogg", "ՁԱՅՆ.txt", "ձայն.txt"}).size(), 1u);  // Armenian
    EXPECT_EQ(caseConflicts({"ⰀⰁ.dat", "ⰰⰱ.dat"}).size(), 1u);                                    // Glagolitic
    EXPECT_TRUE(caseConflicts({"σ.txt", "ς.txt", "µ.txt", "Μ.txt", "ı.txt", "I.txt"}).empty());
}

TEST(PathRules, PercentEncodesEachSegmentAsUtf8) {
    EXPECT_EQ(percentEncodePath("Bản đồ/khu vực 1.dat"), "B%E1%BA%A3n%20%C4%91%E1%BB%93/khu%20v%E1%BB%B1c%201.dat");
    EXPECT_EQ(percentEncodePath("a+b&c=d#e%f;g,h@i!j'k(l)m[n]o$p"),
              "a%2Bb%26c%3Dd%23e%25f%3Bg%2Ch%40i%21j%27k%28l%29m%5Bn%5Do%24p");
    EXPECT_EQ(percentEncodePath("keep/A-Z_a.z~09"), "keep/A-Z_a.z~09");
}

// The launcher's own reading of the shared cases (under Wine the same table
// goes through resolveInstallPath).
TEST(SharedPathRules, TheLauncherSpellsOrRefusesEveryCase) {
    for (const auto* cases : test::kAllPathRuleCases) {
        for (const test::PathRuleCase& rule : *cases) {
            const std::string path(rule.path);
            std::string cleaned = "untouched";
            const bool taken = installSpelling(path, cleaned);
            EXPECT_EQ(taken, rule.spelling != nullptr) << path;
            EXPECT_EQ(cleaned, taken ? rule.spelling : "untouched") << path;
            EXPECT_EQ(pathProblem(path, PathSpelling::lenient).empty(), taken) << path;
        }
    }
}

// What a release may hold is the plain form of what the launcher takes: a
// path the tool accepts reaches the launcher unchanged but for "\".
TEST(SharedPathRules, EveryPlainPathIsTakenByTheLauncherAsItIs) {
    for (const auto* cases : test::kAllPathRuleCases) {
        for (const test::PathRuleCase& rule : *cases) {
            const std::string path(rule.path);
            if (!releasePathProblem(path).empty()) {
                continue;
            }
            std::string expected = path;
            for (char& c : expected) {
                c = c == '/' ? '\\' : c;
            }
            ASSERT_NE(rule.spelling, nullptr) << path;
            EXPECT_EQ(rule.spelling, expected) << path;
        }
    }
}

TEST(SharedPathRules, EachRefusalSaysWhichRule) {
    EXPECT_EQ(pathProblem("a/../b", PathSpelling::plain), "contains \"..\", which the launcher never installs");
    EXPECT_EQ(pathProblem("a:b", PathSpelling::lenient), "contains ':', which Windows cannot store in a name");
    EXPECT_EQ(pathProblem("x/Con.txt", PathSpelling::lenient), "uses \"Con.txt\", a device name that Windows reserves");
    EXPECT_EQ(pathProblem("x. /y", PathSpelling::lenient),
              "has a name ending in a dot or a space (\"x. \"), which Windows drops");
    EXPECT_EQ(pathProblem("a//b", PathSpelling::plain), "has an empty name between two slashes");
    EXPECT_EQ(pathProblem("a//b", PathSpelling::lenient), "");
    EXPECT_EQ(pathProblem("a\\b", PathSpelling::plain),
              "contains a backslash, which the launcher reads as a folder separator");
    EXPECT_EQ(pathProblem("/a", PathSpelling::plain), "starts with a slash");
    EXPECT_EQ(pathProblem("", PathSpelling::plain), "is empty");
    EXPECT_EQ(pathProblem("a\xC3", PathSpelling::plain), "is not valid UTF-8");
}

// File names as the file system compares them: each UTF-16 unit upper-cased
// by the simple mapping, only where the capital leads back to the letter.
TEST(FileNameCase, UpperCasesLikeTheFileSystem) {
    EXPECT_TRUE(sameFileName(std::string("Đồ Hoạ/ẢNH.png"), std::string("đồ hoạ/ảnh.PNG")));
    EXPECT_EQ(fileNameKey("đường"), "ĐƯỜNG");
    EXPECT_EQ(fileNameUpper(U'ÿ'), U'Ÿ');
    EXPECT_EQ(fileNameUpper(U'ǆ'), U'Ǆ');
    // Capitals that lead back to another letter: no mapping, as on Windows.
    EXPECT_EQ(fileNameUpper(U'ı'), U'ı');
    EXPECT_EQ(fileNameUpper(U'ſ'), U'ſ');
    EXPECT_EQ(fileNameUpper(U'ς'), U'ς');
    EXPECT_EQ(fileNameUpper(U'µ'), U'µ');
    EXPECT_EQ(fileNameUpper(U'ǅ'), U'ǅ');
    EXPECT_FALSE(sameFileName(std::string("ς"), std::string("σ")));
    // No full mappings, and nothing beyond the basic plane (two UTF-16 units).
    EXPECT_EQ(fileNameKey("straße"), "STRAßE");
    EXPECT_EQ(fileNameUpper(U'\U00010428'), U'\U00010428');
    // Invalid UTF-8 stays as it is.
    EXPECT_EQ(fileNameKey("a\xC3" "b"), "A\xC3" "b");
}

}  // namespace
}  // namespace br
