// A transition of class T stepped on three recording surfaces (dest, old, new; 640 x
// 480 unless a test sizes them), every host call written to `log`, the clock driven
// by the test.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "support/RecordingSurface.h"
#include "support/TestClock.h"

namespace wqtrans::test {

template <typename T> class StepFixture : public ::testing::Test {
protected:
    // Begins a run of `d` ms at timer 0, moves the timer to `e` and clears the log.
    void At(uint32_t e, uint32_t d = 1000) {
        BeginRun(d);
        clock.Set(e);
        log.Clear();
    }
    // Begins a run of `d` ms at timer 0.
    void BeginRun(uint32_t d) {
        clock.Set(0);
        t.Begin(d);
    }
    int32_t Step(int32_t flags = 0) { return t.Step(&dest, &oldFrame, &newFrame, flags, nullptr); }
    // One step at elapsed time `e`; the log holds only this step's calls.
    int32_t StepAt(uint32_t e) {
        clock.Set(e);
        log.Clear();
        return Step();
    }
    // With the clock past the end of the run (the start set ahead of the timer), a
    // step copies the new frame whole and draws nothing else.
    void ExpectNewFrameWholeBeyondTheRun() {
        t.SetElapsed(static_cast<uint32_t>(-100));
        log.Clear();
        EXPECT_EQ(Step(), 1);
        EXPECT_CALLS(log, {"dest.IsReady()", "new.CopyAll(dest)"});
    }
    // Gives all three surfaces the size w x h.
    void Size(int32_t w, int32_t h) {
        dest.SetSize(w, h);
        oldFrame.SetSize(w, h);
        newFrame.SetSize(w, h);
    }

    TestClock clock{0};
    CallLog log;
    RecordingSurface dest{"dest", log, 640, 480};
    RecordingSurface oldFrame{"old", log, 640, 480};
    RecordingSurface newFrame{"new", log, 640, 480};
    T t;
};

// For transitions that never read the old frame: it gets a size of its own, so that a
// step that measured it would show.
template <typename T> class NewFrameStepFixture : public StepFixture<T> {
protected:
    NewFrameStepFixture() { this->oldFrame.SetSize(17, 13); }
};

} // namespace wqtrans::test
