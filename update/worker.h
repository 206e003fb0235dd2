#pragma once

#include <string>

namespace br {

struct Status;

// One update run: brings the install folder in line with the manifest and
// reports through status. Runs on the worker thread only.
void RunUpdate(Status& status);

// The same run against another manifest address (the benchmarks' servers).
void RunUpdateFrom(Status& status, const std::wstring& manifestAddress);

}  // namespace br
