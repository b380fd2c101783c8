// The timeline of a join: where each input lies on the output video and where the cuts
// between them fall, counted in output frames.
//
// Every input is shown for its length (a clip's part, or a picture's hold); the
// transition at each cut overlaps the end of one input and the start of the next, as
// editors lay them, so the video is the inputs' total less the overlaps. Cuts start on
// an output frame, so that a transition's frames are the frames of a run stepped at the
// output's rate from 0: frame j of a cut is at floor(j x 1000 x den / num) ms of its run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace wqtrans::join {

// The output's frame rate, num / den frames a second (30000 / 1001 for NTSC video).
struct FrameRate {
    uint32_t num = 30;
    uint32_t den = 1;
    bool operator==(const FrameRate&) const = default;
};

// One input on the output.
struct Segment {
    int64_t firstFrame = 0; // the output frame where it starts to show
    int64_t frames = 0;     // how many output frames it is shown in, the cuts on its sides included
};

// The transition between input `index` and input `index + 1`.
struct CutSpan {
    int64_t firstFrame = 0;   // the output frame at the run's time 0: the next input's first frame
    int64_t frames = 0;       // frames of the run before it shows the next input alone
    uint32_t durationMs = 0;  // the run's duration d (after any shortening)
    uint32_t requestedMs = 0; // the duration asked for
};

struct Timeline {
    FrameRate rate;
    std::vector<Segment> segments;
    std::vector<CutSpan> cuts; // segments.size() - 1 of them
    int64_t totalFrames = 0;
    // One line for each cut that had to be shortened to fit its inputs.
    std::vector<std::string> notes;
};

// Output frame n starts at n x 1,000,000 x den / num microseconds (rounded down).
int64_t FrameTimeUs(int64_t frame, FrameRate rate);
// Output frame n at floor(n x 1000 x den / num) ms: the times of a run stepped at the rate.
int64_t FrameTimeMs(int64_t frame, FrameRate rate);
// The frames of a run of `durationMs` at `rate`: those whose time is below the duration.
int64_t FramesBelow(uint32_t durationMs, FrameRate rate);
// The output frames an input of `lengthUs` fills: its length at the rate, rounded, at
// least one.
int64_t FramesOf(int64_t lengthUs, FrameRate rate);

// Lays out inputs of the given lengths (microseconds, at least 1) with a cut of
// cutMs[k] between input k and k + 1. A transition never takes more of an input than
// the input has: where an input has cuts on both sides each may take half of it,
// where it has one, all of it; a longer cut is shortened to fit and says so in notes.
// Needs at least one input and lengthsUs.size() - 1 cuts.
Timeline PlanTimeline(const std::vector<int64_t>& lengthsUs, const std::vector<uint32_t>& cutMs, FrameRate rate);

} // namespace wqtrans::join
