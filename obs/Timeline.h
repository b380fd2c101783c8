// The run's duration and the moment a frame shows, from what OBS tells a transition.
//
// OBS gives a transition its progress t (0 to 1) and not the run's duration. An
// automatic run's t is (frame time - start time) / duration, so the duration is
// measured: from the run's first frame and its latest once they are far enough apart,
// before that from the start time the module read and the latest frame. A manual run (a T-bar, a script) moves t by
// hand: it has no duration of its own and takes kManualDurationMs.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace wqtrans::obs {

inline constexpr uint32_t kManualDurationMs = 1000;

class RunClock {
public:
    RunClock() = default;

    // A run starts at nowNs (OBS's clock, os_gettime_ns).
    void Start(uint64_t nowNs, bool manualRun) { *this = RunClock{nowNs, manualRun}; }

    // The duration of the run as known at a frame of time frameNs showing progress t.
    uint32_t DurationMs(float t, uint64_t frameNs) {
        if (!manual && t > 0.0f && t < 1.0f && frameNs > startNs && frameNs > latestNs) {
            if (firstNs == 0) {
                firstNs = frameNs;
                firstT = t;
            }
            latestNs = frameNs;
            double ns = static_cast<double>(frameNs - startNs) / static_cast<double>(t);
            if (t - firstT >= kSpan) {
                // Two frames far enough apart: OBS's start time (read a moment after
                // ours) drops out.
                ns = static_cast<double>(frameNs - firstNs) / static_cast<double>(t - firstT);
            }
            measuredMs = static_cast<uint32_t>(std::llround(std::clamp(ns / 1e6, 1.0, 4294967295.0)));
        }
        return measuredMs != 0 ? measuredMs : kManualDurationMs;
    }

private:
    // The part of the run between two frames that gives a duration to well under a
    // millisecond from float progress values (runs up to minutes long).
    static constexpr float kSpan = 0.05f;

    RunClock(uint64_t startNs, bool manual) : startNs(startNs), manual(manual) {}

    uint64_t startNs = 0;
    bool manual = true;
    uint64_t firstNs = 0, latestNs = 0;
    float firstT = 0;
    uint32_t measuredMs = 0;
};

// The elapsed time a frame at progress t shows in a run of durationMs.
inline uint32_t ElapsedMs(float t, uint32_t durationMs) {
    const double clamped = std::isnan(t) ? 0.0 : std::clamp(static_cast<double>(t), 0.0, 1.0);
    return static_cast<uint32_t>(std::llround(clamped * durationMs));
}

} // namespace wqtrans::obs
