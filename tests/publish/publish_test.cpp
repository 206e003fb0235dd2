// Whole publishing runs on real folders: what the launcher's reader gets
// back, and that a refused release leaves nothing behind.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/publish/release_folder.h"
#include "tools/publish/publish.h"
#include "update/manifest.h"

namespace br {
namespace {

namespace fs = std::filesystem;

// Published SHA-256 test vectors.
const char kHashOfAbc[] = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
const char kHashOfNothing[] = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
const char kHashOfMillionA[] = "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0";

PublishOptions optionsFor(const ReleaseFolder& folder) {
    PublishOptions options;
    options.releaseFolder = folder.release();
    options.baseUrl = "http://127.0.0.1:18743/files";
    options.output = folder.manifest();
    return options;
}

Manifest readBack(const ReleaseFolder& folder) {
    Manifest manifest;
    EXPECT_TRUE(parseManifest(readWholeFile(folder.manifest()), manifest));
    return manifest;
}

TEST(Publish, WritesWhatTheLauncherReadsForNestedVietnameseAndSpacedPaths) {
    ReleaseFolder folder;
    folder.add("Bản đồ/khu vực 1.dat", "abc");
    folder.add("dữ liệu/âm thanh/nhạc nền.ogg", std::string(1000000, 'a'));
    folder.add("empty file", "");
    folder.add("a/b/c/d/deep.bin", "abc");
    PublishOptions options = optionsFor(folder);
    options.deletes = {"\\old\\cũ.dll", "/gone.txt", "gone.txt"};

    PublishSummary summary;
    std::string reason;
    ASSERT_TRUE(publishRelease(options, summary, reason)) << reason;
    EXPECT_EQ(summary.files, 4u);
    EXPECT_EQ(summary.bytes, 1000006u);

    Manifest manifest = readBack(folder);
    ASSERT_EQ(manifest.files.size(), 4u);
    // Sorted by the bytes of the UTF-8 path: capitals before small letters.
    const ManifestEntry& deep = manifest.files[1];
    EXPECT_EQ(deep.path, "a/b/c/d/deep.bin");
    EXPECT_EQ(deep.sha256, kHashOfAbc);
    EXPECT_EQ(deep.size, 3u);
    EXPECT_EQ(deep.url, "http://127.0.0.1:18743/files/a/b/c/d/deep.bin");

    const ManifestEntry& map = manifest.files[0];
    EXPECT_EQ(map.path, "Bản đồ/khu vực 1.dat");
    EXPECT_EQ(map.sha256, kHashOfAbc);
    EXPECT_EQ(map.url, "http://127.0.0.1:18743/files/B%E1%BA%A3n%20%C4%91%E1%BB%93/khu%20v%E1%BB%B1c%201.dat");

    const ManifestEntry& music = manifest.files[2];
    EXPECT_EQ(music.path, "dữ liệu/âm thanh/nhạc nền.ogg");
    EXPECT_EQ(music.sha256, kHashOfMillionA);
    EXPECT_EQ(music.size, 1000000u);
    EXPECT_EQ(music.url,
              "http://127.0.0.1:18743/files/d%E1%BB%AF%20li%E1%BB%87u/%C3%A2m%20thanh/nh%E1%BA%A1c%20n%E1%BB%81n.ogg");

    const ManifestEntry& empty = manifest.files[3];
    EXPECT_EQ(empty.path, "empty file");
    EXPECT_EQ(empty.sha256, kHashOfNothing);
    EXPECT_EQ(empty.size, 0u);
    EXPECT_EQ(empty.url, "http://127.0.0.1:18743/files/empty%20file");

    EXPECT_EQ(manifest.deletes, (std::vector<std::string>{"old/cũ.dll", "gone.txt"}));
}

TEST(Publish, GivesTheSameManifestWhateverTheNumberOfWorkers) {
    ReleaseFolder folder;
    for (int i = 0; i < 60; ++i) {
        folder.add("f/" + std::to_string(i * 7 % 60) + ".bin", std::string(static_cast<size_t>(i) * 4099, 'x'));
    }
    PublishOptions options = optionsFor(folder);
    PublishSummary summary;
    std::string reason;
    options.workers = 1;
    ASSERT_TRUE(publishRelease(options, summary, reason)) << reason;
    std::string alone = readWholeFile(folder.manifest());
    options.workers = 8;
    ASSERT_TRUE(publishRelease(options, summary, reason)) << reason;
    EXPECT_EQ(readWholeFile(folder.manifest()), alone);
    EXPECT_EQ(readBack(folder).files.size(), 60u);
}

TEST(Publish, LeavesItsOwnManifestOutWhenWrittenInsideTheRelease) {
    ReleaseFolder folder;
    folder.add("game.bin", "abc");
    PublishOptions options = optionsFor(folder);
    options.output = folder.release() / "manifest.json";
    PublishSummary summary;
    std::string reason;
    ASSERT_TRUE(publishRelease(options, summary, reason)) << reason;
    ASSERT_TRUE(publishRelease(options, summary, reason)) << reason;  // now the manifest exists in the walk
    EXPECT_EQ(summary.files, 1u);
}

// A refused run says why, naming the path, and leaves the old manifest.
void expectRefused(const ReleaseFolder& folder, const PublishOptions& options, const std::string& named) {
    std::ofstream(folder.manifest(), std::ios::binary) << "previous release";
    PublishSummary summary;
    std::string reason;
    EXPECT_FALSE(publishRelease(options, summary, reason));
    EXPECT_NE(reason.find(named), std::string::npos) << reason;
    EXPECT_EQ(readWholeFile(folder.manifest()), "previous release");
    for (const auto& entry : fs::directory_iterator(folder.manifest().parent_path())) {
        EXPECT_TRUE(entry.path() == folder.release() || entry.path() == folder.manifest())
            << "left behind: " << entry.path();
    }
}

TEST(Publish, RefusesNamesTheLauncherCannotInstall) {
    const char* const badNames[] = {"maps/a..b.dat", "what?.txt", "x<y>.bin", "pipe|name", "colon:name",
                                    "quote\"name", "star*", "back\\slash", "ctl\x01name", "CON.txt",
                                    "data/com1", "dot./x.bin", "space /x.bin", "ends.", "ends "};
    for (const char* bad : badNames) {
        SCOPED_TRACE(bad);
        ReleaseFolder folder;
        folder.add("fine/ok.bin", "abc");
        folder.add(bad, "bad");
        expectRefused(folder, optionsFor(folder), bad);
    }
}

TEST(Publish, RefusesPathsThatDifferOnlyInLetterCase) {
    ReleaseFolder folder;
    folder.add("Dữ Liệu/README.txt", "one");
    folder.add("dữ liệu/readme.TXT", "two");
    expectRefused(folder, optionsFor(folder), "readme.TXT");

    ReleaseFolder fileAndFolder;
    fileAndFolder.add("Maps", "a file");
    fileAndFolder.add("maps/level.dat", "a folder's file");
    expectRefused(fileAndFolder, optionsFor(fileAndFolder), "maps/level.dat");
}

TEST(Publish, RefusesBadOptionsAndOddFolders) {
    ReleaseFolder folder;
    folder.add("game.bin", "abc");

    PublishOptions ftp = optionsFor(folder);
    ftp.baseUrl = "ftp://host/files/";
    expectRefused(folder, ftp, "ftp://host/files/");
    PublishOptions spaced = optionsFor(folder);
    spaced.baseUrl = "http://host/my files/";
    expectRefused(folder, spaced, "my files");

    PublishOptions climbing = optionsFor(folder);
    climbing.deletes = {"../outside.dll"};
    expectRefused(folder, climbing, "../outside.dll");
    PublishOptions ownFile = optionsFor(folder);
    ownFile.deletes = {"GAME.BIN"};
    expectRefused(folder, ownFile, "GAME.BIN");

    ReleaseFolder empty;
    expectRefused(empty, optionsFor(empty), "no files");

    ReleaseFolder linked;
    linked.add("game.bin", "abc");
    fs::create_directory_symlink(linked.release() / "..", linked.release() / "up");
    expectRefused(linked, optionsFor(linked), "up");

    ReleaseFolder special;
    special.add("game.bin", "abc");
    ASSERT_EQ(mkfifo((special.release() / "pipe").c_str(), 0600), 0);
    expectRefused(special, optionsFor(special), "pipe");
}

TEST(Publish, FollowsLinksToFiles) {
    ReleaseFolder folder;
    folder.add("real/game.bin", "abc");
    fs::create_symlink("real/game.bin", folder.release() / "alias.bin");
    PublishSummary summary;
    std::string reason;
    ASSERT_TRUE(publishRelease(optionsFor(folder), summary, reason)) << reason;
    Manifest manifest = readBack(folder);
    ASSERT_EQ(manifest.files.size(), 2u);
    EXPECT_EQ(manifest.files[0].path, "alias.bin");
    EXPECT_EQ(manifest.files[0].sha256, kHashOfAbc);
}

}  // namespace
}  // namespace br
