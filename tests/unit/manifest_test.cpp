// Manifest acceptance rules, and the built-in manifest address.

#include <gtest/gtest.h>

#include <cstdlib>

#include "common/text_encoding.h"
#include "update/manifest.h"

namespace br {
namespace {

const char kHashA[] = "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa";
const char kHashB[] = "bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb";

// One complete entry with the given "size" JSON text.
std::string entryWithSize(const std::string& size) {
    return R"({"path": "a.bin", "sha256": ")" + std::string(kHashA) + R"(", "url": "http://h/a", "size": )" + size +
           "}";
}

std::string documentWith(const std::string& entries, const std::string& rest = "") {
    return R"({"files": [)" + entries + "]" + rest + "}";
}

// The parse fails and leaves the caller's manifest as it was.
void expectRefused(const std::string& body) {
    Manifest manifest;
    manifest.deletes.push_back("untouched");
    EXPECT_FALSE(parseManifest(body, manifest)) << body;
    ASSERT_EQ(manifest.deletes.size(), 1u);
    EXPECT_EQ(manifest.deletes[0], "untouched");
    EXPECT_TRUE(manifest.files.empty());
}

TEST(Manifest, ReadsEntriesAndDeletesInDocumentOrder) {
    std::string body = R"({
      "name": "release 7",
      "files": [
        {"path": "dữ liệu/tệp.bin", "sha256": ")" + std::string(kHashA) +
                       R"(", "url": "https://cdn.test/1?sig=x", "size": 18446744073709551615, "extra": [1, 2]},
        {"path": "\\bin\\game.dll", "sha256": ")" + std::string(kHashB) +
                       R"(", "url": "http://h/2", "size": 0}
      ],
      "deletes": ["old/a.txt", "b.txt"]
    })";
    Manifest manifest;
    ASSERT_TRUE(parseManifest(body, manifest));
    ASSERT_EQ(manifest.files.size(), 2u);
    EXPECT_EQ(manifest.files[0].path, "dữ liệu/tệp.bin");
    EXPECT_EQ(manifest.files[0].sha256, kHashA);
    EXPECT_EQ(manifest.files[0].url, "https://cdn.test/1?sig=x");
    EXPECT_EQ(manifest.files[0].size, 18446744073709551615u);
    EXPECT_EQ(manifest.files[1].path, "\\bin\\game.dll");
    EXPECT_EQ(manifest.files[1].size, 0u);
    EXPECT_EQ(manifest.deletes, (std::vector<std::string>{"old/a.txt", "b.txt"}));
}

TEST(Manifest, ByteOrderMarkAndTrailingWhitespaceAreAccepted) {
    Manifest manifest;
    EXPECT_TRUE(parseManifest("\xEF\xBB\xBF" + documentWith(entryWithSize("5")) + " \r\n\t\n", manifest));
    ASSERT_EQ(manifest.files.size(), 1u);
    EXPECT_EQ(manifest.files[0].size, 5u);
}

TEST(Manifest, InvalidJsonAndCommentsAreRefused) {
    std::string good = documentWith(entryWithSize("5"));
    expectRefused("");
    expectRefused(good.substr(0, good.size() - 1));  // cut short
    expectRefused(good + "}");
    expectRefused(good + " x");
    expectRefused("// release 7\n" + good);
    expectRefused(documentWith("/* first */" + entryWithSize("5")));
    expectRefused("<html><body>Sign in to the network</body></html>");
}

TEST(Manifest, SizeTakesAnyNonNegativeNumber) {
    struct Case {
        const char* json;
        uint64_t size;
    };
    for (const Case& c : {Case{"1234.9", 1234}, Case{"7", 7}, Case{"0.5", 0}, Case{"1e3", 1000}}) {
        Manifest manifest;
        ASSERT_TRUE(parseManifest(documentWith(entryWithSize(c.json)), manifest)) << c.json;
        EXPECT_EQ(manifest.files[0].size, c.size) << c.json;
    }
    Manifest missing;
    ASSERT_TRUE(parseManifest(
        documentWith(R"({"path": "a", "sha256": ")" + std::string(kHashA) + R"(", "url": "http://h/a"})"), missing));
    EXPECT_EQ(missing.files[0].size, 0u);
}

TEST(Manifest, WrongTypedFieldRefusesTheWholeDocument) {
    // A good entry before the bad one is not kept either.
    std::string good = entryWithSize("1") + ",";
    for (const char* size : {R"("12")", "true", "null", "[1]", R"({"n": 1})", "-1", "-0.5", "1e30"}) {
        expectRefused(documentWith(good + entryWithSize(size)));
    }
    std::string hash = std::string(kHashA);
    expectRefused(documentWith(good + R"({"path": 5, "sha256": ")" + hash + R"(", "url": "http://h/a"})"));
    expectRefused(documentWith(good + R"({"path": "a", "sha256": null, "url": "http://h/a"})"));
    expectRefused(documentWith(good + R"({"path": "a", "sha256": ")" + hash + R"(", "url": ["http://h/a"]})"));
    for (const char* element : {"7", R"("a.bin")", "[]", "null"}) {
        expectRefused(documentWith(good + element));
    }
}

TEST(Manifest, IncompleteEntriesAndNonTextDeletesAreDropped) {
    std::string hash = std::string(kHashA);
    std::string body = documentWith(R"({"path": "keep1", "sha256": ")" + hash + R"(", "url": "http://h/1"},
        {"path": "no-url", "sha256": ")" + hash + R"("},
        {"path": "empty-url", "sha256": ")" + hash + R"(", "url": ""},
        {"path": "", "sha256": ")" + hash + R"(", "url": "http://h/x"},
        {"path": "no-hash", "url": "http://h/x", "size": 3},
        {"path": "keep2", "sha256": ")" + hash + R"(", "url": "http://h/2"})",
                                    R"(, "deletes": ["first", 7, null, "second", {"path": "x"}])");
    Manifest manifest;
    ASSERT_TRUE(parseManifest(body, manifest));
    ASSERT_EQ(manifest.files.size(), 2u);
    EXPECT_EQ(manifest.files[0].path, "keep1");
    EXPECT_EQ(manifest.files[1].path, "keep2");
    EXPECT_EQ(manifest.deletes, (std::vector<std::string>{"first", "second"}));
}

TEST(Manifest, DeletesThatAreNotAListAreIgnored) {
    Manifest manifest;
    ASSERT_TRUE(parseManifest(documentWith(entryWithSize("1"), R"(, "deletes": "all.txt")"), manifest));
    EXPECT_EQ(manifest.files.size(), 1u);
    EXPECT_TRUE(manifest.deletes.empty());
}

// Read as an empty release these would delete every installed file.
TEST(Manifest, DocumentWithoutUsableFilesIsRefused) {
    for (const char* body : {"{}", "[]", "null", "42", R"("files")", R"({"files": 5})", R"({"files": {}})",
                             R"({"files": "a.bin"})", R"({"files": []})", R"({"deletes": ["a.bin"]})",
                             R"({"files": [{"path": "a.bin"}], "deletes": ["b.bin"]})"}) {
        expectRefused(body);
    }
}

std::wstring expectedManifestUrl() {
    std::string hex = BRINDLE_MANIFEST_URL_HEX;
    std::string text;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        text += static_cast<char>(std::strtoul(hex.substr(i, 2).c_str(), nullptr, 16));
    }
    return utf8ToWide(text);
}

TEST(Manifest, AddressIsTheConfiguredOne) {
    std::wstring expected = expectedManifestUrl();
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(manifestUrl(), expected);
    EXPECT_EQ(manifestUrl(), manifestUrl());
}

}  // namespace
}  // namespace br
