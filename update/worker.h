#pragma once

namespace br {

struct Status;

// One update run: brings the install folder in line with the manifest and
// reports through status. Runs on the worker thread only.
void RunUpdate(Status& status);

}  // namespace br
