// SHA-256 of files, file stamps, and the state file's text and round trip.

#include <gtest/gtest.h>

#include <cstdint>

#include "support/script_server.h"
#include "support/files.h"
#include "update/file_state.h"

namespace br {
namespace {

const char kEmptySha256[] = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
const uint64_t kMax = UINT64_MAX;

TEST(FileHash, KnownContents) {
    TempFolder folder;
    ASSERT_TRUE(writeWholeFile(folder.file(L"empty"), ""));
    ASSERT_TRUE(writeWholeFile(folder.file(L"abc"), "abc"));
    // More than two 64 KiB blocks, the last one partial.
    ASSERT_TRUE(writeWholeFile(folder.file(L"blocks"), patternBytes(150000)));

    EXPECT_EQ(sha256OfFile(folder.file(L"empty")), kEmptySha256);
    EXPECT_EQ(sha256OfFile(folder.file(L"abc")), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(sha256OfFile(folder.file(L"blocks")),
              "6b27d6fdab9951dddfdfdcdd22f837540668c1702f19d88259c9553db2439cd3");
}

TEST(FileHash, UnreadableFilesHashToEmptyText) {
    TempFolder folder;
    EXPECT_EQ(sha256OfFile(folder.file(L"missing")), "");
    EXPECT_EQ(sha256OfFile(folder.path()), "");

    std::wstring locked = folder.file(L"locked");
    ASSERT_TRUE(writeWholeFile(locked, "content"));
    UniqueHandle holder(
        CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(holder);
    EXPECT_EQ(sha256OfFile(locked), "");
    holder.reset();
    EXPECT_EQ(sha256OfFile(locked).size(), 64u);
}

TEST(FileStamp, SizeAndTimeOfFilesOnly) {
    TempFolder folder;
    std::wstring path = folder.file(L"big.bin");
    const uint64_t size = (5ull << 30) + 3;  // past 4 GiB: the high half counts
    const uint64_t time = 0x01D9ABCD12345670ull;
    {
        UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                      nullptr));
        ASSERT_TRUE(file);
        LARGE_INTEGER end;
        end.QuadPart = static_cast<LONGLONG>(size);
        ASSERT_TRUE(SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN));
        ASSERT_TRUE(SetEndOfFile(file.get()));
        FILETIME written = {static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
        ASSERT_TRUE(SetFileTime(file.get(), nullptr, nullptr, &written));
    }
    FileStamp stamp = getFileStamp(path);
    EXPECT_TRUE(stamp.exists);
    EXPECT_EQ(stamp.size, size);
    EXPECT_EQ(stamp.lastWriteTime, time);

    for (const std::wstring& notAFile : {folder.path(), folder.file(L"missing")}) {
        FileStamp none = getFileStamp(notAFile);
        EXPECT_FALSE(none.exists);
        EXPECT_EQ(none.size, 0u);
        EXPECT_EQ(none.lastWriteTime, 0u);
    }
}

TEST(StateText, LineEndsSpacesAndDuplicates) {
    StateCache cache = parseStateText(
        "h1 10 20 a.txt\r\n"
        "h2 11 21 Program Files/my game/x y.bin\n"
        "\r\n"
        "h3 12 22 a.txt\n"  // the later line for a.txt wins
        "h4 13 23 last line without LF");
    ASSERT_EQ(cache.size(), 3u);
    EXPECT_EQ(cache["a.txt"].sha256, "h3");
    EXPECT_EQ(cache["a.txt"].size, 12u);
    EXPECT_EQ(cache["a.txt"].lastWriteTime, 22u);
    EXPECT_EQ(cache["Program Files/my game/x y.bin"].sha256, "h2");
    EXPECT_EQ(cache["last line without LF"].lastWriteTime, 23u);

    // CRLF reads exactly as LF.
    StateCache lf = parseStateText("h1 1 2 p q\nh2 3 4 r\n");
    StateCache crlf = parseStateText("h1 1 2 p q\r\nh2 3 4 r\r\n");
    EXPECT_EQ(formatStateText(crlf), formatStateText(lf));
}

TEST(StateText, MalformedLinesLoseOnlyTheirRecord) {
    StateCache cache = parseStateText(
        "h1 10 20\n"           // three fields
        "h2 10 20 \n"          // empty path
        "no-spaces\n"
        "h3 x 7 no digits\n"
        "h3  7 empty size\n"
        "h3 12abc 7 not whole\n"
        "h3 -1 7 sign\n"
        "h3 1 +7 plus\n"
        "h3 1 18446744073709551616 too large\n"
        "h4 5 18446744073709551615 kept\n");
    ASSERT_EQ(cache.size(), 1u);
    EXPECT_EQ(cache["kept"].sha256, "h4");
    EXPECT_EQ(cache["kept"].lastWriteTime, kMax);
}

TEST(StateText, FormatsInByteOrder) {
    StateCache cache;
    cache["\xC3\xA9.txt"] = {"h3", 3, 30};  // "é.txt": 0xC3 sorts after every ASCII byte
    cache["b"] = {"h2", 2, 20};
    cache["B"] = {"h1", 1, 10};
    cache["b c"] = {"h4", 0, kMax};
    EXPECT_EQ(formatStateText(cache),
              "h1 1 10 B\n"
              "h2 2 20 b\n"
              "h4 0 18446744073709551615 b c\n"
              "h3 3 30 \xC3\xA9.txt\n");
    EXPECT_EQ(formatStateText(StateCache()), "");
}

TEST(StateFile, RoundTripReplacesTheOldFile) {
    TempFolder folder;
    std::wstring stateFile = folder.file(L"brindle.state");
    EXPECT_TRUE(readStateFile(folder.path()).empty());
    // Longer than one 4 KiB read, and longer than what replaces it.
    StateCache many;
    for (int i = 0; i < 300; ++i) {
        many["folder/file number " + std::to_string(i) + ".bin"] = {kEmptySha256, kMax - i, kMax - 2 * i};
    }
    writeStateFile(folder.path(), many);
    ASSERT_GT(readWholeFile(stateFile).size(), 4096u * 4);
    StateCache readMany = readStateFile(folder.path());
    EXPECT_EQ(formatStateText(readMany), formatStateText(many));
    EXPECT_EQ(readMany.size(), 300u);

    StateCache few;
    few["dữ liệu/a b.bin"] = {kEmptySha256, kMax, 0};
    writeStateFile(folder.path(), few);
    EXPECT_EQ(readWholeFile(stateFile), std::string(kEmptySha256) + " 18446744073709551615 0 dữ liệu/a b.bin\n");
    StateCache readFew = readStateFile(folder.path());
    ASSERT_EQ(readFew.size(), 1u);
    EXPECT_EQ(readFew.begin()->first, "dữ liệu/a b.bin");
    EXPECT_EQ(readFew.begin()->second.size, kMax);

    writeStateFile(folder.path(), StateCache());
    EXPECT_TRUE(fileExists(stateFile));
    EXPECT_EQ(getFileStamp(stateFile).size, 0u);
    EXPECT_TRUE(readStateFile(folder.path()).empty());
    EXPECT_FALSE(fileExists(stateFile + L".new"));
}

// No state file of ours comes near 64 MiB: a larger one reads as none,
// without being read into memory.
TEST(StateFile, OneLargerThan64MiBCountsAsMissing) {
    TempFolder folder;
    const std::wstring stateFile = folder.file(L"brindle.state");
    for (uint64_t size : {uint64_t{64} << 20, (uint64_t{64} << 20) + 1}) {
        ASSERT_TRUE(writeWholeFile(stateFile, std::string(kEmptySha256) + " 0 0 first.bin\n"));
        UniqueHandle file(CreateFileW(stateFile.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        LARGE_INTEGER end{};
        end.QuadPart = static_cast<LONGLONG>(size);
        ASSERT_TRUE(SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN) && SetEndOfFile(file.get()));
        file.reset();
        EXPECT_EQ(readStateFile(folder.path()).count("first.bin"), size == (uint64_t{64} << 20) ? 1u : 0u) << size;
    }
}

// The old state stays whole when the new one cannot be written completely.
TEST(StateFile, AFailedWriteKeepsThePreviousFile) {
    TempFolder folder;
    std::wstring stateFile = folder.file(L"brindle.state");
    StateCache previous;
    previous["kept.bin"] = {kEmptySha256, 7, 70};
    writeStateFile(folder.path(), previous);
    const std::string before = readWholeFile(stateFile);
    ASSERT_FALSE(before.empty());

    // Nothing can be created where the side file goes.
    ASSERT_TRUE(CreateDirectoryW((stateFile + L".new").c_str(), nullptr));
    StateCache next;
    next["other.bin"] = {kEmptySha256, 1, 10};
    writeStateFile(folder.path(), next);
    EXPECT_EQ(readWholeFile(stateFile), before);
    RemoveDirectoryW((stateFile + L".new").c_str());

    // The state file itself held open by someone else: it cannot be replaced,
    // and no side file is left behind.
    {
        UniqueHandle reader(CreateFileW(stateFile.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(reader);
        writeStateFile(folder.path(), next);
    }
    EXPECT_EQ(readWholeFile(stateFile), before);
    EXPECT_FALSE(fileExists(stateFile + L".new"));

    writeStateFile(folder.path(), next);
    EXPECT_EQ(readStateFile(folder.path()).count("other.bin"), 1u);
}

}  // namespace
}  // namespace br
