#include "install/folder_dialog.h"

#include <windows.h>
#include <shlobj.h>

#include "common/text_encoding.h"
#include "common/win32_handles.h"
#include "install/run_folder.h"

namespace br {

namespace {

const wchar_t kProductFolderName[] = L"Brindle";
const char kBrowseTitle[] = "Chọn nơi cài đặt Brindle";

wchar_t foldAsciiCase(wchar_t c) {
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

bool sameIgnoringAsciiCase(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (foldAsciiCase(a[i]) != foldAsciiCase(b[i])) {
            return false;
        }
    }
    return true;
}

bool isSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

}  // namespace

std::wstring chooseInstallFolder() {
    std::wstring picked = browseForFolder();
    return picked.empty() ? picked : normaliseChosenFolder(picked);
}

std::wstring browseForFolder() {
    // S_FALSE (already initialised on this thread) counts as success and is paired too.
    ComApartment com(COINIT_APARTMENTTHREADED);
    const std::wstring title = utf8ToWide(kBrowseTitle);

    BROWSEINFOW browse = {};
    browse.hwndOwner = nullptr;
    browse.pidlRoot = nullptr;
    browse.pszDisplayName = nullptr;
    browse.lpszTitle = title.c_str();
    browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    browse.lpfn = nullptr;

    std::wstring chosen;
    PIDLIST_ABSOLUTE items = SHBrowseForFolderW(&browse);
    if (items != nullptr) {
        wchar_t path[MAX_PATH];
        if (SHGetPathFromIDListW(items, path)) {
            chosen = path;
        }
        CoTaskMemFree(items);
    }
    return chosen;
}

// A picked parent folder gets the product folder appended, so installing into
// "D:\Games" never spreads files over "D:\Games" itself.
std::wstring normaliseChosenFolder(const std::wstring& folder) {
    std::wstring trimmed = folder;
    while (!trimmed.empty() && isSeparator(trimmed.back())) {
        trimmed.pop_back();
    }
    if (trimmed.empty()) {
        return kDefaultInstallFolder;
    }
    size_t separator = trimmed.find_last_of(L"\\/");
    std::wstring last = separator == std::wstring::npos ? trimmed : trimmed.substr(separator + 1);
    if (sameIgnoringAsciiCase(last, kProductFolderName)) {
        return trimmed;
    }
    return trimmed + L"\\" + kProductFolderName;
}

}  // namespace br
