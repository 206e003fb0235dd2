#include "app/frame_pacing.h"

#include <dwmapi.h>

// Windows 10 1803 and later; older systems refuse the flag.
#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace br {

namespace {

constexpr uint64_t kMicrosecondsPerSecond = 1000000;

// The display's rate: DWM's composition timing, else the window's monitor's
// current mode.
uint64_t displayRefreshPeriod(HWND window) {
    DWM_TIMING_INFO timing = {};
    timing.cbSize = sizeof(timing);
    if (SUCCEEDED(DwmGetCompositionTimingInfo(nullptr, &timing)) && timing.rateRefresh.uiNumerator != 0) {
        return refreshPeriodMicroseconds(timing.rateRefresh.uiNumerator, timing.rateRefresh.uiDenominator);
    }
    MONITORINFOEXW monitor = {};
    monitor.cbSize = sizeof(monitor);
    DEVMODEW mode = {};
    mode.dmSize = sizeof(mode);
    if (GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor) &&
        EnumDisplaySettingsW(monitor.szDevice, ENUM_CURRENT_SETTINGS, &mode)) {
        return refreshPeriodMicroseconds(mode.dmDisplayFrequency, 1);
    }
    return refreshPeriodMicroseconds(0, 0);
}

// A high-resolution timer where the system has one: a plain waitable timer
// or a time-out waits in steps of the system tick, 15.6 ms by default.
HANDLE createFrameTimer() {
    HANDLE timer = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS);
    return timer != nullptr ? timer : CreateWaitableTimerW(nullptr, TRUE, nullptr);
}

}  // namespace

uint64_t refreshPeriodMicroseconds(uint32_t numerator, uint32_t denominator) {
    // 0 and 1 Hz are how a mode says "the hardware's default".
    if (denominator == 0 || numerator < 24ull * denominator || numerator > 1000ull * denominator) {
        return kMicrosecondsPerSecond / 60;
    }
    return kMicrosecondsPerSecond * denominator / numerator;
}

uint64_t frameWaitMicroseconds(uint64_t elapsed, uint64_t period) {
    return elapsed < period ? period - elapsed : 0;
}

bool presentDue(bool activity, bool pictureChanged, uint64_t sinceLastPresent) {
    return activity || (pictureChanged && sinceLastPresent >= kProgressFrameMicroseconds);
}

FramePacer::FramePacer(HWND window) : timer_(createFrameTimer()), period_(displayRefreshPeriod(window)) {
    QueryPerformanceFrequency(&frequency_);
}

uint64_t FramePacer::nowMicroseconds() const {
    LARGE_INTEGER now = {};
    QueryPerformanceCounter(&now);
    return static_cast<uint64_t>(now.QuadPart) / static_cast<uint64_t>(frequency_.QuadPart) * kMicrosecondsPerSecond +
           static_cast<uint64_t>(now.QuadPart) % static_cast<uint64_t>(frequency_.QuadPart) * kMicrosecondsPerSecond /
               static_cast<uint64_t>(frequency_.QuadPart);
}

bool FramePacer::waitForFrameTime() {
    const uint64_t wait = frameWaitMicroseconds(nowMicroseconds() - lastFrame_, period_);
    if (wait == 0) {
        return true;
    }
    LARGE_INTEGER due = {};
    due.QuadPart = -static_cast<LONGLONG>(wait * 10);  // relative, in 100 ns
    HANDLE timer = timer_.get();
    if (timer == nullptr || !SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE)) {
        return MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>((wait + 999) / 1000), QS_ALLINPUT) ==
               WAIT_TIMEOUT;
    }
    return MsgWaitForMultipleObjects(1, &timer, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0;
}

void FramePacer::frameStarted() {
    lastFrame_ = nowMicroseconds();
}

bool FramePacer::presentDue(bool activity, uint64_t picture) {
    return !presentedOnce_ || br::presentDue(activity, picture != lastPicture_, nowMicroseconds() - lastPresent_);
}

void FramePacer::presented(uint64_t picture) {
    presentedOnce_ = true;
    lastPicture_ = picture;
    lastPresent_ = nowMicroseconds();
}

}  // namespace br
