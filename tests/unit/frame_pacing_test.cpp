// The frame loop's pace: the display's refresh interval, the wait that makes
// up for a Present that returns before it, and which frames reach the screen.

#include <gtest/gtest.h>

#include "app/frame_pacing.h"

namespace br {
namespace {

TEST(FramePacing, TheRefreshIntervalComesFromTheRateOr60Hz) {
    struct Case {
        uint32_t numerator;
        uint32_t denominator;
        uint64_t period;
    };
    const Case cases[] = {
        {60, 1, 16666},       {144, 1, 6944},   {60000, 1001, 16683},  // 59.94 Hz
        {0, 0, 16666},        {1, 1, 16666},    // how a mode says "the hardware's default"
        {60, 0, 16666},       {5000, 1, 16666}, {23, 1, 16666},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(refreshPeriodMicroseconds(c.numerator, c.denominator), c.period)
            << c.numerator << "/" << c.denominator;
    }
}

TEST(FramePacing, OnlyAFrameThatCameEarlyWaits) {
    EXPECT_EQ(frameWaitMicroseconds(1000, 16666), 15666u);  // Present did not wait
    EXPECT_EQ(frameWaitMicroseconds(16666, 16666), 0u);     // Present waited for the blank
    EXPECT_EQ(frameWaitMicroseconds(40000, 16666), 0u);     // a slow frame
}

// The renderer's cost is per presented frame: the player's doings show at
// once, the worker's progress at most every kProgressFrameMicroseconds, an
// unchanged picture not again.
TEST(FramePacing, AFrameGoesToTheScreenWhenThePlayerActsOrTheProgressMoved) {
    struct Case {
        bool activity;
        bool changed;
        uint64_t since;
        bool presented;
    };
    const Case cases[] = {
        {true, true, 0, true},    {true, false, 0, true},   // a click, a hover: at once
        {false, true, kProgressFrameMicroseconds - 1, false}, {false, true, kProgressFrameMicroseconds, true},
        {false, false, 10 * kProgressFrameMicroseconds, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(presentDue(c.activity, c.changed, c.since), c.presented)
            << c.activity << " " << c.changed << " " << c.since;
    }
}

}  // namespace
}  // namespace br
