#include "tools/publish/atomic_write.h"

#include <system_error>

#ifdef _WIN32
#include "common/win32_handles.h"
#else
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tools/publish/open_file.h"
#endif

namespace br {

namespace fs = std::filesystem;

namespace {

fs::path temporaryBeside(const fs::path& target) {
#ifdef _WIN32
    unsigned long id = GetCurrentProcessId();
#else
    unsigned long id = static_cast<unsigned long>(getpid());
#endif
    fs::path temporary = target;
    temporary += "." + std::to_string(id) + ".tmp";
    return temporary;
}

#ifdef _WIN32

std::string lastError() { return std::system_category().message(static_cast<int>(GetLastError())); }

bool writeAndFlush(const fs::path& path, const std::string& text, std::string& reason) {
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                  nullptr));
    if (!file) {
        reason = lastError();
        return false;
    }
    DWORD written = 0;
    if (!WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
        written != text.size() || !FlushFileBuffers(file.get())) {
        reason = lastError();
        return false;
    }
    return true;
}

bool replace(const fs::path& from, const fs::path& to, std::string& reason) {
    if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        reason = lastError();
        return false;
    }
    return true;
}

#else

bool writeAndFlush(const fs::path& path, const std::string& text, std::string& reason) {
    OpenFile file(open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (file.fd < 0) {
        reason = std::strerror(errno);
        return false;
    }
    for (size_t done = 0; done < text.size();) {
        ssize_t wrote = write(file.fd, text.data() + done, text.size() - done);
        if (wrote < 0 && errno == EINTR) {
            continue;
        }
        if (wrote < 0) {
            reason = std::strerror(errno);
            return false;
        }
        done += static_cast<size_t>(wrote);
    }
    if (fsync(file.fd) != 0) {
        reason = std::strerror(errno);
        return false;
    }
    return true;
}

// The rename is durable only once the folder that holds the name is synced.
bool replace(const fs::path& from, const fs::path& to, std::string& reason) {
    if (rename(from.c_str(), to.c_str()) != 0) {
        reason = std::strerror(errno);
        return false;
    }
    fs::path folder = to.parent_path().empty() ? fs::path(".") : to.parent_path();
    OpenFile directory(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.fd >= 0) {
        fsync(directory.fd);
    }
    return true;
}

#endif

}  // namespace

bool writeFileAtomically(const fs::path& target, const std::string& text, std::string& reason) {
    const fs::path temporary = temporaryBeside(target);
    std::string why;
    if (!writeAndFlush(temporary, text, why) || !replace(temporary, target, why)) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        reason = "cannot write " + target.u8string() + ": " + why;
        return false;
    }
    return true;
}

}  // namespace br
