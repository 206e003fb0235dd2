#pragma once
// The one clock of the benchmark programs: each times only its own work, so
// Wine's process start-up stays out of every figure.

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace bench {

// Wall time and the process's CPU time (user plus kernel) since it started.
class Stopwatch {
public:
    Stopwatch() : wallStart(now()), cpuStart(cpuSeconds()) {}
    double wall() const {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        return static_cast<double>(now().QuadPart - wallStart.QuadPart) / static_cast<double>(frequency.QuadPart);
    }
    double cpu() const { return cpuSeconds() - cpuStart; }
    // "seconds=… cpu=…", the start of every result line.
    void print() const { std::printf("seconds=%.6f cpu=%.6f ", wall(), cpu()); }

private:
    static LARGE_INTEGER now() {
        LARGE_INTEGER value;
        QueryPerformanceCounter(&value);
        return value;
    }
    static double cpuSeconds() {
        FILETIME created, exited, kernel, user;
        if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) {
            return 0.0;
        }
        auto count = [](const FILETIME& t) {
            return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
        };
        return (count(kernel) + count(user)) / 1e7;
    }

    LARGE_INTEGER wallStart;
    double cpuStart;
};

inline std::wstring widen(const std::string& text) {
    int units = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), units);
    return wide;
}

// A download list: one "url<TAB>target path<TAB>size" line per file, UTF-8.
struct DownloadItem {
    std::wstring url;
    std::wstring target;
    uint64_t size = 0;
};

inline std::vector<DownloadItem> readDownloadList(const wchar_t* listPath) {
    std::vector<DownloadItem> items;
    std::ifstream list(listPath);
    std::string line;
    while (std::getline(list, line)) {
        size_t tab = line.find('\t');
        size_t second = tab == std::string::npos ? std::string::npos : line.find('\t', tab + 1);
        if (second != std::string::npos) {
            items.push_back({widen(line.substr(0, tab)), widen(line.substr(tab + 1, second - tab - 1)),
                             std::stoull(line.substr(second + 1))});
        }
    }
    return items;
}

}  // namespace bench
