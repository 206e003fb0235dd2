#include "tools/publish/file_hash.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <vector>

#include "tools/publish/open_file.h"

namespace br {

namespace {

struct DigestFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using Digest = std::unique_ptr<EVP_MD_CTX, DigestFree>;

// Large reads keep a fast disk busy; the kernel is told to read ahead.
constexpr size_t kBlockSize = 1 << 20;

}  // namespace

std::string sha256OfReleaseFile(const std::filesystem::path& path, std::atomic<uint64_t>& progress) {
    OpenFile file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.fd < 0) {
        return {};
    }
    posix_fadvise(file.fd, 0, 0, POSIX_FADV_SEQUENTIAL);

    Digest digest(EVP_MD_CTX_new());
    if (!digest || EVP_DigestInit_ex(digest.get(), EVP_sha256(), nullptr) != 1) {
        return {};
    }
    std::vector<unsigned char> block(kBlockSize);
    for (;;) {
        ssize_t got = read(file.fd, block.data(), block.size());
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return {};
        }
        if (got == 0) {
            break;
        }
        if (EVP_DigestUpdate(digest.get(), block.data(), static_cast<size_t>(got)) != 1) {
            return {};
        }
        progress += static_cast<uint64_t>(got);
    }
    unsigned char value[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(digest.get(), value, &length) != 1 || length != 32) {
        return {};
    }

    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        text += kDigits[value[i] >> 4];
        text += kDigits[value[i] & 0x0F];
    }
    return text;
}

}  // namespace br
