// The rules behind the launcher's screens: which screen shows, how pictures are
// cropped and fitted, the progress numbers and the automatic launch.

#include <gtest/gtest.h>

#include <string>

#include "ui/screens.h"
#include "update/status.h"

namespace br {
namespace {

constexpr float kTolerance = 0.05f;  // the designed numbers are given to one decimal

void expectRect(const ImageRect& rect, float x, float y, float width, float height) {
    EXPECT_NEAR(rect.min.x, x, kTolerance);
    EXPECT_NEAR(rect.min.y, y, kTolerance);
    EXPECT_NEAR(rect.max.x - rect.min.x, width, kTolerance);
    EXPECT_NEAR(rect.max.y - rect.min.y, height, kTolerance);
}

TEST(CoverRule, WidePictureLosesEqualBandsLeftAndRight) {
    ImageRect uv = coverUv(1672, 941, 520.0f, 383.0f);
    EXPECT_NEAR(uv.min.x, 0.1179f, 0.0001f);
    EXPECT_NEAR(uv.max.x, 0.8821f, 0.0001f);
    EXPECT_FLOAT_EQ(uv.min.y, 0.0f);
    EXPECT_FLOAT_EQ(uv.max.y, 1.0f);
}

TEST(CoverRule, WindowProportionsAreDrawnWhole) {
    for (auto size : {std::pair<int, int>{520, 383}, std::pair<int, int>{1040, 766}}) {
        ImageRect uv = coverUv(size.first, size.second, 520.0f, 383.0f);
        EXPECT_NEAR(uv.min.x, 0.0f, 1e-6f);
        EXPECT_NEAR(uv.min.y, 0.0f, 1e-6f);
        EXPECT_NEAR(uv.max.x, 1.0f, 1e-6f);
        EXPECT_NEAR(uv.max.y, 1.0f, 1e-6f);
    }
}

TEST(CoverRule, TallPictureLosesEqualBandsTopAndBottom) {
    // 383 x 383: the window shows 383 / (520 / 383 * 383) of its height.
    ImageRect uv = coverUv(383, 383, 520.0f, 383.0f);
    float visible = 383.0f / 520.0f;
    EXPECT_FLOAT_EQ(uv.min.x, 0.0f);
    EXPECT_FLOAT_EQ(uv.max.x, 1.0f);
    EXPECT_NEAR(uv.min.y, (1.0f - visible) / 2.0f, 1e-5f);
    EXPECT_NEAR(1.0f - uv.max.y, uv.min.y, 1e-6f);
}

TEST(CoverRule, EmptyPictureUsesWholeTexture) {
    for (auto size : {std::pair<int, int>{0, 941}, std::pair<int, int>{1672, 0}, std::pair<int, int>{-5, -5}}) {
        ImageRect uv = coverUv(size.first, size.second, 520.0f, 383.0f);
        EXPECT_EQ(uv.min.x, 0.0f);
        EXPECT_EQ(uv.min.y, 0.0f);
        EXPECT_EQ(uv.max.x, 1.0f);
        EXPECT_EQ(uv.max.y, 1.0f);
    }
}

TEST(ContainRule, SuppliedLogoIsLimitedByItsHeight) {
    expectRect(logoRect(1284, 544), 163.2f, 77.0f, 193.5f, 82.0f);
}

TEST(ContainRule, LogoShapesAreCentredInTheirBox) {
    // Narrower than 230:82: full height, centred across.
    expectRect(logoRect(100, 100), (520.0f - 82.0f) / 2.0f, 77.0f, 82.0f, 82.0f);
    // Wider: full width, centred in the 77-159 band.
    expectRect(logoRect(460, 82), 145.0f, 77.0f + (82.0f - 41.0f) / 2.0f, 230.0f, 41.0f);
    // Exactly the box's proportions fills it.
    expectRect(logoRect(230, 82), 145.0f, 77.0f, 230.0f, 82.0f);
    // No usable size: the whole box.
    expectRect(logoRect(0, 0), 145.0f, 77.0f, 230.0f, 82.0f);
}

TEST(ContainRule, FooterIsEnlargedAndCentredOnItsBand) {
    expectRect(footerRect(1920, 1080), 192.8f, 293.2f, 134.4f, 75.6f);
    // Without a usable size: the 192 x 56 box, enlarged.
    expectRect(footerRect(0, 1080), (520.0f - 259.2f) / 2.0f, 303.0f + (56.0f - 75.6f) / 2.0f, 259.2f, 75.6f);
    // A very wide picture is at most 259.2 wide, so the 30-490 clip only cuts its height.
    ImageRect wide = footerRect(10000, 10);
    EXPECT_NEAR(wide.max.x - wide.min.x, 259.2f, kTolerance);
    EXPECT_GE(wide.min.x, 30.0f);
    EXPECT_LE(wide.max.x, 490.0f);
}

TEST(ContainSize, KeepsProportions) {
    ImVec2 size = containSize(1000, 500, 192.0f, 56.0f);
    EXPECT_NEAR(size.x, 112.0f, kTolerance);
    EXPECT_NEAR(size.y, 56.0f, kTolerance);
    size = containSize(1000, 100, 192.0f, 56.0f);
    EXPECT_NEAR(size.x, 192.0f, kTolerance);
    EXPECT_NEAR(size.y, 19.2f, kTolerance);
}

StatusSnapshot snapshotWith(uint64_t done, uint64_t total, bool finished = false, bool succeeded = false) {
    StatusSnapshot snapshot;
    snapshot.bytesDone = done;
    snapshot.bytesTotal = total;
    snapshot.finished = finished;
    snapshot.succeeded = succeeded;
    return snapshot;
}

TEST(Progress, FractionFollowsTheBytes) {
    EXPECT_EQ(progressFraction(snapshotWith(0, 0)), 0.0f);
    EXPECT_EQ(progressFraction(snapshotWith(500, 0)), 0.0f);
    EXPECT_FLOAT_EQ(progressFraction(snapshotWith(1, 4)), 0.25f);
    EXPECT_EQ(progressFraction(snapshotWith(9, 4)), 1.0f) << "clamped";
    EXPECT_EQ(progressFraction(snapshotWith(0, 0, true, true)), 1.0f) << "success is always full";
    EXPECT_FLOAT_EQ(progressFraction(snapshotWith(1, 4, true, false)), 0.25f) << "a failure keeps what was reached";
    // Values beyond 2^53 still divide sensibly in double precision.
    EXPECT_FLOAT_EQ(progressFraction(snapshotWith(UINT64_MAX / 2, UINT64_MAX)), 0.5f);
}

TEST(Progress, PercentageRoundsHalfUp) {
    EXPECT_EQ(percentText(0.0f), "0%");
    EXPECT_EQ(percentText(0.004f), "0%");
    EXPECT_EQ(percentText(0.006f), "1%");
    EXPECT_EQ(percentText(0.5f), "50%");
    EXPECT_EQ(percentText(0.995f), "100%");
    EXPECT_EQ(percentText(1.0f), "100%");
}

TEST(Progress, DetailAndSpeedTexts) {
    StatusSnapshot snapshot;
    snapshot.detail = "dữ liệu/bản đồ.rpf";
    snapshot.filesDone = 3;
    snapshot.filesTotal = 12;
    EXPECT_EQ(detailText(snapshot), "dữ liệu/bản đồ.rpf \xC2\xB7 3/12");
    // A detail longer than the buffer is cut to 599 bytes.
    snapshot.detail = std::string(700, 'a');
    EXPECT_EQ(detailText(snapshot), std::string(599, 'a'));
    EXPECT_EQ(speedText(0.0), "0.0 MB/s");
    EXPECT_EQ(speedText(3.26 * 1048576.0), "3.3 MB/s");
    EXPECT_EQ(speedText(1572864.0), "1.5 MB/s");
}

TEST(ScreenSelection, PromptThenOutcomeThenProgress) {
    StatusSnapshot running;
    StatusSnapshot done = snapshotWith(0, 0, true, true);
    StatusSnapshot failed = snapshotWith(0, 0, true, false);
    EXPECT_EQ(selectScreen(true, running), Screen::installPrompt);
    EXPECT_EQ(selectScreen(true, done), Screen::installPrompt);
    EXPECT_EQ(selectScreen(false, running), Screen::progress);
    EXPECT_EQ(selectScreen(false, done), Screen::completion);
    EXPECT_EQ(selectScreen(false, failed), Screen::error);
    // A success seen before its finished flag already counts as completion.
    EXPECT_EQ(selectScreen(false, snapshotWith(0, 0, false, true)), Screen::completion);
}

TEST(AutoLaunch, StartsTheGameOnTheTwentyFourthSuccessFrameOnly) {
    autoLaunchDone = false;
    successFrameCount = 0;
    for (int frame = 0; frame < 10; ++frame) {
        EXPECT_FALSE(countSuccessFrame(false));
    }
    EXPECT_EQ(successFrameCount, 0) << "frames without success do not count";
    for (int frame = 1; frame < 24; ++frame) {
        EXPECT_FALSE(countSuccessFrame(true)) << "frame " << frame;
    }
    EXPECT_TRUE(countSuccessFrame(true));
    EXPECT_TRUE(autoLaunchDone);
    for (int frame = 25; frame < 60; ++frame) {
        EXPECT_FALSE(countSuccessFrame(true)) << "launched twice at frame " << frame;
    }

    // A new run (as startUpdateWorker leaves it) waits its own 24 frames again.
    autoLaunchDone = false;
    successFrameCount = 0;
    for (int frame = 1; frame < 24; ++frame) {
        EXPECT_FALSE(countSuccessFrame(true));
    }
    EXPECT_TRUE(countSuccessFrame(true));
}

}  // namespace
}  // namespace br
