#pragma once

#include <cstddef>
#include <string>

#include "common/product.h"

namespace br {

struct Status;

// One update run: brings the install folder in line with the manifest and
// reports through status. Runs on the worker thread only.
void RunUpdate(Status& status);

// The same run against another manifest address (the benchmarks' servers).
void RunUpdateFrom(Status& status, const std::wstring& manifestAddress);

// How many files the download step fetches at a time; the benchmarks set 1
// to measure one connection against several.
extern size_t downloadLanes;

}  // namespace br
