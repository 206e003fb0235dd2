#pragma once
// A POSIX file descriptor closed on every path.

#include <unistd.h>

namespace br {

struct OpenFile {
    explicit OpenFile(int descriptor) : fd(descriptor) {}
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    ~OpenFile() {
        if (fd >= 0) {
            close(fd);
        }
    }
    int fd;  // negative when the open failed
};

}  // namespace br
