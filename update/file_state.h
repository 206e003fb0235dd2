#pragma once
// File hashing, file stamps, and the state file "brindle.state" in the install
// folder, which remembers each installed file's hash together with the size
// and last-write time it had, so unchanged files need not be hashed again.

#include <cstdint>
#include <map>
#include <string>

namespace br {

struct StateEntry {
    std::string sha256;
    uint64_t size = 0;
    uint64_t lastWriteTime = 0;  // FILETIME as one 100 ns count since 1601
};

// Keyed by the manifest path. std::string compares through
// char_traits<char>, which orders bytes as unsigned values: plain byte order.
using StateCache = std::map<std::string, StateEntry>;

struct FileStamp {
    bool exists = false;  // a file, not a folder
    uint64_t size = 0;
    uint64_t lastWriteTime = 0;
};

// 64 lower-case hex digits, or empty when the file cannot be opened or
// hashing fails; the empty text matches no manifest hash.
std::string sha256OfFile(const std::wstring& path);
// The same for a file already open for reading, from where its position is.
std::string sha256OfOpenFile(void* file);

FileStamp getFileStamp(const std::wstring& path);

// installFolder has no trailing backslash. A missing or unreadable file reads
// as an empty cache; writing reports nothing.
std::wstring stateFilePath(const std::wstring& installFolder);
StateCache readStateFile(const std::wstring& installFolder);
void writeStateFile(const std::wstring& installFolder, const StateCache& cache);

// The file's text: one "sha256 size lastWriteTime path" line per record.
StateCache parseStateText(const std::string& text);
std::string formatStateText(const StateCache& cache);

}  // namespace br
