// Manifest paths come from the network: every spelling that Windows would read
// as a drive, a share, a stream, a device or a different name is refused, and
// every path that is accepted names exactly one file inside the base. The
// cases are shared with the native tests of the rules themselves.

#include <gtest/gtest.h>

#include <string>

#include "common/text_encoding.h"
#include "install/install_paths.h"
#include "support/path_rule_cases.h"

namespace br {
namespace {

const std::wstring kBase = L"C:\\Người chơi\\Trò chơi";

void expectResolved(const std::vector<test::PathRuleCase>& cases) {
    for (const test::PathRuleCase& rule : cases) {
        const std::string path(rule.path);
        const std::wstring expected = rule.spelling == nullptr ? L"" : kBase + L"\\" + utf8ToWide(rule.spelling);
        EXPECT_EQ(resolveInstallPath(kBase, path), expected) << path;
    }
}

TEST(ManifestPathRules, DrivesStreamsAndForbiddenCharactersAreRefused) {
    expectResolved(test::kDriveStreamCharacterCases);
}

TEST(ManifestPathRules, DeviceNamesAreRefusedAsAnyComponent) {
    expectResolved(test::kDeviceCases);
}

TEST(ManifestPathRules, NamesWindowsWouldRespellAreRefused) {
    expectResolved(test::kRespelledCases);
}

TEST(ManifestPathRules, NothingClimbsOutOfTheBase) {
    expectResolved(test::kClimbingCases);
}

TEST(ManifestPathRules, SharesAndDoubledSeparatorsStayInsideAsOneSpelling) {
    expectResolved(test::kSeparatorCases);
}

// Bytes that are not UTF-8 are read as Windows reads them, as U+FFFD,
// before the rules look: an overlong "." or "/" is no dot and no separator.
TEST(ManifestPathRules, BytesThatAreNotUtf8AreJudgedAsWindowsReadsThem) {
    EXPECT_EQ(resolveInstallPath(kBase, "bad\xC3(utf8"), kBase + L"\\bad\uFFFD(utf8");
    // Overlong forms of ".", "." and "/": one name of replacement characters.
    const std::wstring overlong = resolveInstallPath(kBase, "\xC0\xAE\xC0\xAE\xC0\xAFx");
    ASSERT_EQ(overlong.rfind(kBase + L"\\", 0), 0u) << wideToUtf8(overlong);
    const std::wstring name = overlong.substr(kBase.size() + 1);
    EXPECT_EQ(name.find_first_not_of(L"\uFFFD"), name.size() - 1) << wideToUtf8(name);
    EXPECT_EQ(name.back(), L'x');
    // What follows a bad byte is still judged.
    EXPECT_EQ(resolveInstallPath(kBase, "x\xFF/CON"), L"");
    EXPECT_EQ(resolveInstallPath(kBase, "\xE1\xBA../x"), L"");
}

}  // namespace
}  // namespace br
