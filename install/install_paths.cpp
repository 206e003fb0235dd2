#include "install/install_paths.h"

#include <windows.h>

#include "common/name_case.h"
#include "common/path_rules.h"
#include "common/text_encoding.h"

namespace br {

namespace {

constexpr DWORD kPathUnits = MAX_PATH;

}  // namespace

std::wstring withoutTrailingSeparators(std::wstring path) {
    while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) {
        path.pop_back();
    }
    return path;
}

std::wstring fullPath(const std::wstring& path) {
    wchar_t buffer[kPathUnits];
    DWORD length = GetFullPathNameW(path.c_str(), kPathUnits, buffer, nullptr);
    if (length == 0 || length >= kPathUnits) {
        return path;
    }
    return std::wstring(buffer, length);
}

std::wstring runningExecutablePath() {
    wchar_t buffer[kPathUnits];
    DWORD length = GetModuleFileNameW(nullptr, buffer, kPathUnits);
    // A path that filled the buffer was cut short.
    if (length == 0 || length >= kPathUnits) {
        return std::wstring();
    }
    return std::wstring(buffer, length);
}

bool isOwnExecutable(const std::wstring& path) {
    std::wstring own = runningExecutablePath();
    if (own.empty()) {
        return false;
    }
    return sameFileName(fullPath(own), fullPath(path));
}

bool namesFolder(const std::wstring& text, const std::wstring& folder) {
    return !text.empty() && sameFileName(withoutTrailingSeparators(fullPath(text)),
                                         withoutTrailingSeparators(fullPath(folder)));
}

// The rules themselves are common/path_rules.cpp's, over UTF-8. The path is
// first read the way Windows reads it (invalid UTF-8 becomes U+FFFD), so that
// the rules judge exactly the name that would be created.
std::wstring resolveInstallPath(const std::wstring& base, const std::string& relativePathUtf8) {
    std::string cleaned;
    if (!installSpelling(wideToUtf8(utf8ToWide(relativePathUtf8)), cleaned)) {
        return std::wstring();
    }
    return base + L"\\" + utf8ToWide(cleaned);
}

// CreateDirectoryW makes one level at a time.
std::vector<std::wstring> parentFoldersToCreate(const std::wstring& path) {
    std::vector<std::wstring> folders;
    size_t lastSeparator = path.rfind(L'\\');
    if (lastSeparator == std::wstring::npos) {
        return folders;
    }
    const std::wstring folderPart = path.substr(0, lastSeparator);
    std::wstring prefix;
    for (size_t i = 0; i < folderPart.size(); ++i) {
        prefix += folderPart[i];
        bool boundary = folderPart[i] == L'\\' || i + 1 == folderPart.size();
        if (boundary && prefix.size() >= 2) {
            folders.push_back(prefix);
        }
    }
    return folders;
}

void createParentDirectories(const std::wstring& path) {
    for (const std::wstring& folder : parentFoldersToCreate(path)) {
        CreateDirectoryW(folder.c_str(), nullptr);
    }
}

}  // namespace br
