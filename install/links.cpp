#include "install/links.h"

#include <windows.h>

namespace br {

namespace {

unsigned long systemFileAttributes(const wchar_t* path) {
    return GetFileAttributesW(path);
}

}  // namespace

AttributeLookup fileAttributes = systemFileAttributes;

bool isLink(const std::wstring& path) {
    unsigned long attributes = fileAttributes(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// Each folder from the first below the root ("C:\", "\\server\share")
// down: a lookup follows the links above the name it is asked about, but
// reports a link for the name itself.
bool linkAtOrAbove(const std::wstring& folder) {
    std::wstring path = folder;
    while (path.size() > 1 && (path.back() == L'\\' || path.back() == L'/')) {
        path.pop_back();
    }
    for (size_t at = path.find_first_of(L"\\/"); at != std::wstring::npos; at = path.find_first_of(L"\\/", at + 1)) {
        if (at > 0 && path[at - 1] != L':' && path[at - 1] != L'\\' && path[at - 1] != L'/' &&
            isLink(path.substr(0, at))) {
            return true;
        }
    }
    return isLink(path);
}

bool linkOnTheWay(const std::wstring& folder, const std::wstring& target) {
    for (size_t at = target.find(L'\\', folder.size() + 1); at != std::wstring::npos;
         at = target.find(L'\\', at + 1)) {
        if (isLink(target.substr(0, at))) {
            return true;
        }
    }
    return isLink(target);
}

}  // namespace br
