// The run's duration as the OBS module measures it from OBS's progress and frame
// times, and the moment each frame shows.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "obs/Timeline.h"

namespace wqtrans::obs {
namespace {

constexpr uint64_t kStart = 5'000'000'000ull; // OBS's clock when the run starts, in ns
constexpr uint64_t kMs = 1'000'000ull;

// OBS's progress at a frame time: (frame - start) / duration, as a float.
float Progress(uint64_t frameNs, uint64_t startNs, uint32_t durationMs) {
    return static_cast<float>(static_cast<long double>(frameNs - startNs) / (durationMs * kMs));
}

struct MeasureCase {
    uint32_t durationMs;
    uint64_t startSkewNs; // how much later OBS took its start time than the module
    uint64_t frameMs;     // the frame interval
};

class MeasuredDuration : public ::testing::TestWithParam<MeasureCase> {};

// The measured duration is OBS's own once the run is 5% along, though the module reads
// the clock a little before OBS does; within 1% before.
TEST_P(MeasuredDuration, IsOBSsOnceTheRunIsUnderWay) {
    const MeasureCase c = GetParam();
    RunClock clock;
    clock.Start(kStart, false);
    const uint64_t obsStart = kStart + c.startSkewNs;
    for (uint64_t frame = obsStart + c.frameMs * kMs / 3, i = 0; frame < obsStart + c.durationMs * kMs;
         frame += c.frameMs * kMs, ++i) {
        const float t = Progress(frame, obsStart, c.durationMs);
        const uint32_t d = clock.DurationMs(t, frame);
        if (t >= 0.06f) {
            EXPECT_EQ(d, c.durationMs) << "frame " << i;
        } else {
            EXPECT_NEAR(d, c.durationMs, c.durationMs / 100.0) << "frame " << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Runs, MeasuredDuration,
                         ::testing::Values(MeasureCase{300, 0, 16}, MeasureCase{1000, 2'000, 16},
                                           MeasureCase{1000, 20'000, 33}, MeasureCase{5000, 5'000, 16},
                                           MeasureCase{120, 1'000, 40}, MeasureCase{60000, 50'000, 16}));

TEST(RunClock, AManualRunHasTheFixedDuration) {
    RunClock clock;
    clock.Start(kStart, true);
    EXPECT_EQ(clock.DurationMs(0.25f, kStart + 16 * kMs), kManualDurationMs);
    EXPECT_EQ(clock.DurationMs(0.25f, kStart + 900 * kMs), kManualDurationMs);
}

TEST(RunClock, FramesThatTellNothingKeepTheLastMeasure) {
    RunClock clock;
    clock.Start(kStart, false);
    EXPECT_EQ(clock.DurationMs(0.0f, kStart), kManualDurationMs) << "no measure yet";
    EXPECT_EQ(clock.DurationMs(0.5f, kStart + 200 * kMs), 400u);
    EXPECT_EQ(clock.DurationMs(1.0f, kStart + 400 * kMs), 400u) << "the end tells nothing";
    EXPECT_EQ(clock.DurationMs(0.4f, kStart + 100 * kMs), 400u) << "an earlier frame (a repeat) tells nothing";
    EXPECT_EQ(clock.DurationMs(0.5f, kStart - kMs), 400u) << "a frame before the start";
    EXPECT_EQ(clock.DurationMs(std::numeric_limits<float>::quiet_NaN(), kStart + 300 * kMs), 400u);
    clock.Start(kStart + kMs * 1000, false);
    EXPECT_EQ(clock.DurationMs(0.5f, kStart + 1150 * kMs), 300u) << "a new run measures afresh";
}

TEST(RunClock, AnAbsurdProgressIsClamped) {
    RunClock clock;
    clock.Start(kStart, false);
    EXPECT_EQ(clock.DurationMs(1e-30f, kStart + 1000 * kMs), std::numeric_limits<uint32_t>::max());
    RunClock fast;
    fast.Start(kStart, false);
    EXPECT_EQ(fast.DurationMs(0.9f, kStart + 1), 1u) << "never 0";
}

struct ElapsedCase {
    float t;
    uint32_t durationMs;
    uint32_t elapsedMs;
};

TEST(ElapsedMs, RoundsProgressTimesDurationAndClamps) {
    const ElapsedCase cases[] = {{0.0f, 1000, 0},
                                 {0.1f, 1000, 100},
                                 {0.375f, 1000, 375},
                                 {1.0f, 1000, 1000},
                                 {0.5f, 301, 151},
                                 {0.0005f, 1000, 1},
                                 {-0.5f, 1000, 0},
                                 {1.5f, 1000, 1000},
                                 {0.5f, 0, 0},
                                 {1.0f, std::numeric_limits<uint32_t>::max(), std::numeric_limits<uint32_t>::max()},
                                 {std::numeric_limits<float>::quiet_NaN(), 1000, 0}};
    for (const ElapsedCase& c : cases) {
        EXPECT_EQ(ElapsedMs(c.t, c.durationMs), c.elapsedMs) << "t " << c.t << ", d " << c.durationMs;
    }
}

} // namespace
} // namespace wqtrans::obs
