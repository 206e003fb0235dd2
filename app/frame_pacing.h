#pragma once
// At most one frame per refresh of the display. Present waits for the
// vertical blank where the display holds it to that; where it returns at once
// (a remote session, vsync forced off, a virtual display), the loop waits out
// the rest of the refresh interval itself instead of drawing as fast as it
// can. Of those frames, only the ones that show something new are presented.

#include <windows.h>

#include <cstdint>

#include "common/win32_handles.h"

namespace br {

// A rate as DWM or the display mode gives it; 60 Hz when it names none or an
// implausible one.
uint64_t refreshPeriodMicroseconds(uint32_t numerator, uint32_t denominator);

// How long to wait before the next frame, elapsed after the last one began.
uint64_t frameWaitMicroseconds(uint64_t elapsed, uint64_t period);

// The least time between two frames that only the update's progress changed.
constexpr uint64_t kProgressFrameMicroseconds = 200000;

// Whether a frame goes to the screen: at once while the player acts on the
// window (a message came since the last one), a changed picture otherwise
// once kProgressFrameMicroseconds have passed, an unchanged one never.
bool presentDue(bool activity, bool pictureChanged, uint64_t sinceLastPresent);

class FramePacer {
public:
    explicit FramePacer(HWND window);

    // Before a frame: waits until its time has come, handing back early when
    // a message arrives (false then: handle it and ask again).
    bool waitForFrameTime();
    void frameStarted();

    // After the frame is drawn: whether it goes to the screen, by what it
    // shows (a fingerprint of it) and whether the player acted meanwhile.
    bool presentDue(bool activity, uint64_t picture);
    void presented(uint64_t picture);

private:
    uint64_t nowMicroseconds() const;

    UniqueHandle timer_;
    uint64_t period_ = 0;
    uint64_t lastFrame_ = 0;
    uint64_t lastPresent_ = 0;
    uint64_t lastPicture_ = 0;
    bool presentedOnce_ = false;
    LARGE_INTEGER frequency_ = {};
};

}  // namespace br
