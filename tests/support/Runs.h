// Whole runs on the reference surface: three tagged frames of one size and a run
// stepped at a given frame interval.
//
// A rig's destination starts out holding the old frame (tag kOldTag), as it does when
// a host begins a transition; expected pictures are written with OldAt / NewAt. A test
// that steps by hand names the three frames with a structured binding:
//
//     auto& [dest, oldFrame, newFrame] = rig;
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "host/SoftwareSurface.h"
#include "module/Transition.h"
#include "support/Frames.h"
#include "support/TestClock.h"

namespace wqtrans::test {

struct PixelRig {
    // The destination holds `destTag`'s picture: the old frame's unless a test asks for
    // a picture of its own (kDestTag), to tell the old frame drawn apart from the old
    // frame left in place.
    PixelRig(int32_t width, int32_t height, uint32_t destTag = kOldTag)
        : dest(width, height), oldFrame(width, height), newFrame(width, height) {
        TagFrame(dest, destTag);
        TagFrame(oldFrame, kOldTag);
        TagFrame(newFrame, kNewTag);
    }
    SoftwareSurface dest;
    SoftwareSurface oldFrame;
    SoftwareSurface newFrame;
};

constexpr uint32_t OldAt(int32_t x, int32_t y) { return Tagged(kOldTag, x, y); }
constexpr uint32_t NewAt(int32_t x, int32_t y) { return Tagged(kNewTag, x, y); }

// Begins a run of `d` ms at timer 0, then steps at 0, frame, 2 frame, ... below
// `until` and once more at `until` (the whole run when `until` is d). Every step must
// report that it drew.
inline void RunUntil(Transition& transition, PixelRig& rig, TestClock& clock, uint32_t d, uint32_t frame,
                     uint32_t until) {
    clock.Set(0);
    transition.Begin(d);
    for (uint32_t t = 0; t < until; t += frame) {
        clock.Set(t);
        ASSERT_EQ(transition.Step(&rig.dest, &rig.oldFrame, &rig.newFrame, 0, nullptr), 1) << "at " << t << " ms";
    }
    clock.Set(until);
    ASSERT_EQ(transition.Step(&rig.dest, &rig.oldFrame, &rig.newFrame, 0, nullptr), 1) << "at " << until << " ms";
}

// A transition of class T stepped by hand on a rig, whose frames the fixture names
// dest, oldFrame and newFrame.
template <typename T> class PixelFixture : public ::testing::Test {
protected:
    PixelFixture(int32_t width, int32_t height, uint32_t destTag = kOldTag) : rig(width, height, destTag) {}
    // One step at elapsed time `e`.
    int32_t StepAt(uint32_t e, int32_t flags = 0) {
        clock.Set(e);
        return t.Step(&dest, &oldFrame, &newFrame, flags, nullptr);
    }

    TestClock clock{0};
    PixelRig rig;
    SoftwareSurface& dest = rig.dest;
    SoftwareSurface& oldFrame = rig.oldFrame;
    SoftwareSurface& newFrame = rig.newFrame;
    T t;
};

// Frame intervals of a 1000 ms run: every millisecond, a fast and a slow display, and
// a single step at the end.
inline constexpr uint32_t kFrameIntervals[] = {1, 16, 40, 333, 1000};

} // namespace wqtrans::test
