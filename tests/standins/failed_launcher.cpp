// Stand-in for a release's launcher that never comes up: records how it was
// started ("launcher.record" next to it), then ends at once or hangs without
// a window until it is ended.

#include "standin.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    standin::Options options;
    standin::openRecord(options, L"launcher.record");
    standin::record(L"cmdline " + std::wstring(GetCommandLineW()));
#if LAUNCHER_HANGS
    standin::endWhenTold(options);
    standin::runMessageLoop();
#endif
    return 3;
}
