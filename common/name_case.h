#pragma once
// Whether two names are the same file on Windows. The file system (and
// CompareStringOrdinal with ignoreCase) upper-cases each UTF-16 unit by the
// simple Unicode mapping and compares the results, so "Đ" and "đ" are one
// name, while letters whose capital leads back to another letter (dotless i,
// long s, final sigma, ...) and everything outside the basic plane keep their
// case. Plain functions over text, for the launcher and the publishing tool.

#include <string>

namespace br {

// The capital a UTF-16 unit is compared as.
char32_t fileNameUpper(char32_t unit);

// The text every spelling of the same name shares. UTF-8 that is not valid is
// kept byte for byte from the first bad sequence on.
std::string fileNameKey(const std::string& utf8);
std::wstring fileNameKey(const std::wstring& utf16);

bool sameFileName(const std::string& a, const std::string& b);
bool sameFileName(const std::wstring& a, const std::wstring& b);

}  // namespace br
