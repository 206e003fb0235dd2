#pragma once
// The folder dialog behind the install prompt's "Chọn...".

#include <string>

namespace br {

// The picked folder with the product folder appended where it lacks it;
// empty when the player cancelled.
std::wstring chooseInstallFolder();
std::wstring browseForFolder();
std::wstring normaliseChosenFolder(const std::wstring& folder);

}  // namespace br
