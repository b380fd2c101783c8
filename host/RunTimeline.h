// The frame times of a run as a host steps it: a run of d ms at num / den frames a
// second has the frames 0, 1 x 1000 x den / num, 2 x 1000 x den / num, ... (each
// truncated to a whole ms) that begin a whole frame interval inside the run, then one
// more frame exactly at d, where the run ends. That is d x num / (1000 x den) frames
// (truncated) and the one at d: a run of 1000 ms at 30 frames a second has 31 frames,
// the last at 1000; one of 1010 ms also has 31, the last at 1010 rather than 1000,
// which would leave only 10 ms to the end. The tool's runs, the frame renderer's
// replays and the frames a host asks for keep to this one timeline, so that the
// picture at any frame time is the one a run stepped frame by frame shows there.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

namespace wqtrans {

class RunTimeline {
public:
    // A rate of 0 frames a second is taken as 1; a den of 0 as 1.
    RunTimeline(uint32_t durationMs, uint32_t rateNum, uint32_t rateDen)
        : d(durationMs), num(std::max<uint64_t>(rateNum, 1)), den(std::max<uint64_t>(rateDen, 1)),
          before(uint64_t{durationMs} * num / (1000 * den)) {}

    // How many frames the run has: those before its end and the one at d.
    uint64_t Frames() const { return before + 1; }
    // The time of frame i (i < Frames()).
    uint32_t Time(uint64_t i) const { return i < before ? static_cast<uint32_t>(i * 1000 * den / num) : d; }
    // How many of the run's frame times lie below t.
    uint64_t FramesBelow(uint32_t t) const {
        if (t > d) {
            return Frames();
        }
        // Time(i) < t for i < before exactly when i x 1000 x den < t x num.
        const uint64_t scaled = uint64_t{t} * num;
        const uint64_t step = 1000 * den;
        return std::min(before, scaled / step + (scaled % step != 0 ? 1 : 0));
    }
    // Every frame time, in order.
    std::vector<uint32_t> Times() const {
        std::vector<uint32_t> times;
        times.reserve(static_cast<size_t>(Frames()));
        for (uint64_t i = 0; i < Frames(); ++i) {
            times.push_back(Time(i));
        }
        return times;
    }

private:
    uint32_t d;
    uint64_t num;
    uint64_t den;
    uint64_t before; // the frames before the one at d
};

} // namespace wqtrans
