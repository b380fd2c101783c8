// Where inputs and cuts fall on the output, in frames, and how a cut longer than its
// inputs is shortened.
#include <gtest/gtest.h>

#include "join/Timeline.h"

namespace wqtrans::join {
namespace {

struct Layout {
    const char* what;
    std::vector<int64_t> lengthsUs;
    std::vector<uint32_t> cutMs;
    FrameRate rate;
    std::vector<int64_t> starts;    // each input's first frame
    std::vector<int64_t> cutFrames; // each cut's frames
    std::vector<uint32_t> cutDurationMs;
    int64_t total;
    size_t notes;
};

const Layout kLayouts[] = {
    {"two clips at 25 fps", {3000000, 3000000}, {1000}, {25, 1}, {0, 50}, {25}, {1000}, 125, 0},
    // 3 s at 29.97 is 90 frames; 1000 ms of a run is frames 0 to 29 (29 is at 967 ms).
    {"NTSC rate", {3000000, 3000000}, {1000}, {30000, 1001}, {0, 60}, {30}, {1000}, 150, 0},
    // The middle input (13 frames) gives 7 frames to the cut on its left, 6 to its right.
    {"a short middle input",
     {3000000, 500000, 3000000},
     {1000, 1000},
     {25, 1},
     {0, 68, 75},
     {7, 6},
     {280, 240},
     150,
     2},
    {"a cut off the frame grid", {2000000, 2000000}, {1010}, {30, 1}, {0, 29}, {31}, {1010}, 89, 0},
    {"no overlap for one frame", {40000, 40000}, {1000}, {25, 1}, {0, 0}, {1}, {40}, 1, 1},
};

TEST(Timeline, LaysInputsAndCutsOnFrames) {
    for (const Layout& c : kLayouts) {
        SCOPED_TRACE(c.what);
        const Timeline timeline = PlanTimeline(c.lengthsUs, c.cutMs, c.rate);
        ASSERT_EQ(timeline.segments.size(), c.starts.size());
        for (size_t i = 0; i < c.starts.size(); ++i) {
            EXPECT_EQ(timeline.segments[i].firstFrame, c.starts[i]) << "input " << i;
        }
        for (size_t k = 0; k < c.cutFrames.size(); ++k) {
            EXPECT_EQ(timeline.cuts[k].frames, c.cutFrames[k]) << "cut " << k;
            EXPECT_EQ(timeline.cuts[k].durationMs, c.cutDurationMs[k]) << "cut " << k;
            // A cut starts where the next input does and ends where the input before it ends.
            EXPECT_EQ(timeline.cuts[k].firstFrame, timeline.segments[k + 1].firstFrame);
            EXPECT_EQ(timeline.cuts[k].firstFrame + timeline.cuts[k].frames,
                      timeline.segments[k].firstFrame + timeline.segments[k].frames);
        }
        EXPECT_EQ(timeline.totalFrames, c.total);
        EXPECT_EQ(timeline.notes.size(), c.notes);
    }
}

TEST(Timeline, CutFramesAreTheRunsFramesBelowItsDuration) {
    for (const FrameRate rate : {FrameRate{24, 1}, FrameRate{25, 1}, FrameRate{30000, 1001}, FrameRate{60, 1},
                                 FrameRate{24000, 1001}, FrameRate{240, 1}}) {
        for (uint32_t d = 1; d < 3000; d += 7) {
            const int64_t frames = FramesBelow(d, rate);
            EXPECT_LT(FrameTimeMs(frames - 1, rate), d) << rate.num << "/" << rate.den << " " << d;
            EXPECT_GE(FrameTimeMs(frames, rate), d) << rate.num << "/" << rate.den << " " << d;
        }
    }
    // An hour at 30000/1001 in whole microseconds, without drift.
    EXPECT_EQ(FrameTimeUs(107892, {30000, 1001}), 3599996400);
}

} // namespace
} // namespace wqtrans::join
