// The floor for hashing a file: CNG SHA-256 fed straight from ReadFile, with
// nothing else around it. Usage: bare_cng <file> [block bytes, default 65536]
// Prints "seconds=… cpu=… bytes=… sha256=…".

#include <windows.h>
#include <bcrypt.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench/bench_clock.h"

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bare_cng <file> [block bytes]\n");
        return 2;
    }
    const DWORD blockSize = argc > 2 ? static_cast<DWORD>(_wtoi(argv[2])) : 65536;
    std::vector<unsigned char> block(blockSize);

    bench::Stopwatch stopwatch;
    HANDLE file = CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "cannot open\n");
        return 1;
    }
    BCRYPT_ALG_HANDLE provider = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    unsigned char digest[32] = {};
    unsigned long long total = 0;
    bool ok = BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&provider, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) &&
              BCRYPT_SUCCESS(BCryptCreateHash(provider, &hash, nullptr, 0, nullptr, 0, 0));
    DWORD got = 0;
    while (ok && ReadFile(file, block.data(), blockSize, &got, nullptr) && got != 0) {
        ok = BCRYPT_SUCCESS(BCryptHashData(hash, block.data(), got, 0));
        total += got;
    }
    ok = ok && BCRYPT_SUCCESS(BCryptFinishHash(hash, digest, sizeof(digest), 0));
    if (hash != nullptr) BCryptDestroyHash(hash);
    if (provider != nullptr) BCryptCloseAlgorithmProvider(provider, 0);
    CloseHandle(file);
    if (!ok) {
        std::fprintf(stderr, "hashing failed\n");
        return 1;
    }

    stopwatch.print();
    std::printf("bytes=%llu sha256=", total);
    for (unsigned char byte : digest) {
        std::printf("%02x", byte);
    }
    std::printf("\n");
    return 0;
}
