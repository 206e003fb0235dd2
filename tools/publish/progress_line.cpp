#include "tools/publish/progress_line.h"

#include <cstdio>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace br {

namespace {

bool lineShown = false;

}  // namespace

bool progressLineWanted() {
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(STDERR_FILENO) != 0;
#endif
}

void showProgressLine(const HashProgress& progress) {
    if (progress.seconds < 1.0) {
        return;  // short runs print only the summary
    }
    std::fprintf(stderr, "\rhashing: %zu/%zu files, %s of %s, %s   ", progress.filesDone, progress.filesTotal,
                 formatBytes(progress.bytesDone).c_str(), formatBytes(progress.bytesTotal).c_str(),
                 formatRate(progress.bytesDone, progress.seconds).c_str());
    std::fflush(stderr);
    lineShown = true;
}

void clearProgressLine() {
    if (lineShown) {
        std::fprintf(stderr, "\r%79s\r", "");
        std::fflush(stderr);
        lineShown = false;
    }
}

std::string formatBytes(uint64_t bytes) {
    static const char* const kUnits[] = {"B", "KB", "MB", "GB", "TB"};
    double value = static_cast<double>(bytes);
    size_t unit = 0;
    while (value >= 1024.0 && unit + 1 < sizeof(kUnits) / sizeof(kUnits[0])) {
        value /= 1024.0;
        ++unit;
    }
    char text[32];
    if (unit == 0 || value >= 100.0) {
        std::snprintf(text, sizeof(text), "%.0f %s", value, kUnits[unit]);
    } else {
        std::snprintf(text, sizeof(text), "%.1f %s", value, kUnits[unit]);
    }
    return text;
}

std::string formatRate(uint64_t bytes, double seconds) {
    if (seconds <= 0.0) {
        return "-";
    }
    return formatBytes(static_cast<uint64_t>(static_cast<double>(bytes) / seconds)) + "/s";
}

}  // namespace br
