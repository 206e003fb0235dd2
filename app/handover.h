#pragma once
// A launcher that has put a new copy of itself in place hands over to it: it
// starts the new copy, which confirms once its window has shown its first
// frame, through an event that only the two of them hold. A copy that does
// not confirm is ended, and the old launcher takes its name back.

#include <windows.h>

#include <cstdint>
#include <string>

namespace br {

// The old launcher, once its window is gone: the new copy takes over, or, when
// it does not confirm within confirmWait milliseconds, it is ended, this
// launcher's file takes the launcher's name again, the new one is refused for
// good and this launcher starts the game itself.
void handOverOrRollBack(unsigned long confirmWait);
inline constexpr unsigned long kHandOverWait = 30000;

// The new copy: the event that its command line names and that it inherited,
// or null when it was not started by a hand-over.
HANDLE handOverEventFrom(const wchar_t* commandLine);
// The handle number of one argument "--confirm-start=<decimal>", the switch
// that starts the new copy.
bool parseHandOverArgument(const std::wstring& argument, uint64_t& handle);

}  // namespace br
