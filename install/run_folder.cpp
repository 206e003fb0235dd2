#include "install/run_folder.h"

namespace br {

const wchar_t kDefaultInstallFolder[] = L"C:\\Brindle";

// Never destroyed: at exit the shell leaves a running update to itself, and
// static destruction must not free what the worker may still read or write.
std::wstring& chosenInstallFolder = *new std::wstring();

namespace {

bool shortcutChoice = true;

}  // namespace

std::wstring installFolder() {
    return chosenInstallFolder.empty() ? std::wstring(kDefaultInstallFolder) : chosenInstallFolder;
}

void setInstallFolder(const std::wstring& folder) {
    if (!folder.empty()) {
        chosenInstallFolder = folder;
    }
}

bool shortcutWanted() {
    return shortcutChoice;
}

void setShortcutWanted(bool wanted) {
    shortcutChoice = wanted;
}

}  // namespace br
