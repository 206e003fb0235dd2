#include "update/file_state.h"

#include <vector>

#include "common/cng.h"
#include "common/win32_handles.h"

namespace br {

namespace {

UniqueHandle openForReading(const std::wstring& path) {
    return UniqueHandle(
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// Reads until the end of the file or the first failed read, which ends the
// data just the same. takeBlock returns false to stop early.
template <typename TakeBlock>
bool forEachBlock(HANDLE file, DWORD blockSize, TakeBlock takeBlock) {
    std::vector<unsigned char> block(blockSize);
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file, block.data(), blockSize, &got, nullptr) || got == 0) {
            return true;
        }
        if (!takeBlock(block.data(), got)) {
            return false;
        }
    }
}

}  // namespace

std::wstring stateFilePath(const std::wstring& installFolder) {
    return installFolder + L"\\brindle.state";
}

std::string sha256OfFile(const std::wstring& path) {
    UniqueHandle file = openForReading(path);
    return file ? sha256OfOpenFile(file.get()) : std::string();
}

std::string sha256OfOpenFile(HANDLE file) {
    Sha256 hash;
    if (!hash.start()) {
        return {};
    }
    bool hashed = forEachBlock(file, 65536, [&](unsigned char* bytes, DWORD count) { return hash.add(bytes, count); });
    unsigned char digest[32];
    if (!hashed || !hash.finish(digest)) {
        return {};
    }

    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(64);
    for (unsigned char byte : digest) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0x0F];
    }
    return text;
}

FileStamp getFileStamp(const std::wstring& path) {
    FileStamp stamp;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return stamp;
    }
    stamp.exists = true;
    stamp.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    stamp.lastWriteTime =
        (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
    return stamp;
}

// Far beyond any real release (a line is under 400 bytes): a larger file is
// no state file of ours, and must not exhaust the memory.
constexpr uint64_t kStateFileLimit = 64u << 20;

StateCache readStateFile(const std::wstring& installFolder) {
    UniqueHandle file = openForReading(stateFilePath(installFolder));
    LARGE_INTEGER size{};
    if (!file || !GetFileSizeEx(file.get(), &size) || static_cast<uint64_t>(size.QuadPart) > kStateFileLimit) {
        return {};
    }
    std::string text;
    const bool whole = forEachBlock(file.get(), 4096, [&](unsigned char* bytes, DWORD count) {
        text.append(reinterpret_cast<const char*>(bytes), count);
        return text.size() <= kStateFileLimit;  // one that grows while it is read
    });
    file.reset();
    return whole ? parseStateText(text) : StateCache{};
}

// The new text goes to a side file that replaces the old one only once it is
// complete on disk: a run killed, or a disk that fills up, mid-write leaves the
// previous state file whole instead of a cut one whose last record could name
// another file.
void writeStateFile(const std::wstring& installFolder, const StateCache& cache) {
    const std::wstring target = stateFilePath(installFolder);
    const std::wstring pending = target + L".new";
    const std::string text = formatStateText(cache);
    bool complete = false;
    {
        UniqueHandle file(CreateFileW(pending.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            return;
        }
        DWORD written = 0;
        complete = WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
                   written == text.size() && FlushFileBuffers(file.get());
    }
    if (!complete || !MoveFileExW(pending.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(pending.c_str());
    }
}

}  // namespace br
