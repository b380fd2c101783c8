#include "join/Timeline.h"

#include <algorithm>
#include <stdexcept>

namespace wqtrans::join {

namespace {

// a x b / c rounded down, for non-negative a, b and positive c, without overflow for
// the timeline's values (a frame count, a rate, a million).
int64_t MulDiv(int64_t a, int64_t b, int64_t c) { return static_cast<int64_t>(static_cast<__int128>(a) * b / c); }

} // namespace

int64_t FrameTimeUs(int64_t frame, FrameRate rate) { return MulDiv(frame, int64_t{1000000} * rate.den, rate.num); }

int64_t FrameTimeMs(int64_t frame, FrameRate rate) { return MulDiv(frame, int64_t{1000} * rate.den, rate.num); }

int64_t FramesBelow(uint32_t durationMs, FrameRate rate) {
    // The first frame j with floor(j x 1000 x den / num) >= d is ceil(d x num / (1000 x den)).
    const int64_t scale = int64_t{1000} * rate.den;
    return (static_cast<int64_t>(durationMs) * rate.num + scale - 1) / scale;
}

int64_t FramesOf(int64_t lengthUs, FrameRate rate) {
    const int64_t scale = int64_t{1000000} * rate.den;
    return std::max<int64_t>(1, (static_cast<__int128>(lengthUs) * rate.num * 2 + scale) / (2 * scale));
}

Timeline PlanTimeline(const std::vector<int64_t>& lengthsUs, const std::vector<uint32_t>& cutMs, FrameRate rate) {
    if (lengthsUs.empty() || cutMs.size() + 1 != lengthsUs.size() || rate.num == 0 || rate.den == 0) {
        throw std::invalid_argument("PlanTimeline: one cut fewer than inputs, and a frame rate");
    }
    Timeline timeline;
    timeline.rate = rate;
    const size_t count = lengthsUs.size();
    std::vector<int64_t> frames(count);
    for (size_t i = 0; i < count; ++i) {
        frames[i] = FramesOf(lengthsUs[i], rate);
    }
    // What an input can give the cut on its left and on its right: half each when it has
    // both, the rest to the left.
    auto leftShare = [&](size_t i) { return i + 1 < count ? frames[i] - frames[i] / 2 : frames[i]; };
    auto rightShare = [&](size_t i) { return i > 0 ? frames[i] / 2 : frames[i]; };

    int64_t start = 0;
    for (size_t k = 0; k + 1 < count; ++k) {
        CutSpan cut;
        cut.requestedMs = cutMs[k];
        cut.durationMs = cutMs[k];
        cut.frames = FramesBelow(cutMs[k], rate);
        const int64_t room = std::min(rightShare(k), leftShare(k + 1));
        if (cut.frames > room) {
            cut.frames = room;
            cut.durationMs = static_cast<uint32_t>(FrameTimeMs(room, rate));
            timeline.notes.push_back("cut " + std::to_string(k + 1) + ": the transition is " +
                                     std::to_string(cut.durationMs) + " ms instead of " +
                                     std::to_string(cut.requestedMs) + " ms, as input " + std::to_string(k + 1) +
                                     " or " + std::to_string(k + 2) + " is too short for it");
        }
        timeline.segments.push_back({start, frames[k]});
        start += frames[k] - cut.frames;
        cut.firstFrame = start;
        timeline.cuts.push_back(cut);
    }
    timeline.segments.push_back({start, frames.back()});
    timeline.totalFrames = start + frames.back();
    return timeline;
}

} // namespace wqtrans::join
