// Zoom: the calls of its steps for each flag, the clock set back, host failures, pixels.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/SoftwareSurface.h"
#include "support/Frames.h"
#include "support/RecordingSurface.h"
#include "support/Runs.h"
#include "support/StepFixture.h"
#include "support/TestClock.h"
#include "transitions/ZoomTransition.h"

namespace wqtrans {
namespace {

using test::RecordingSurface;
using test::Tagged;
using test::TestClock;

using ZoomTest = test::StepFixture<ZoomTransition>;

TEST_F(ZoomTest, Identity) {
    EXPECT_EQ(t.GetID(), MakeId('Z', 'O', 'O', 'M'));
    EXPECT_EQ(t.GetMode(), 15);
    EXPECT_EQ(t.GetParams(nullptr), 0);
    EXPECT_EQ(t.OpenSettings(nullptr, 0), nullptr);
}

struct ZoomCase {
    const char* name;
    int32_t w;
    int32_t flags;
    uint32_t e;
    std::vector<std::string> calls;
};

TEST_F(ZoomTest, StepCalls) {
    // clang-format off
    const ZoomCase cases[] = {
        {"t in at d/4", 640, 0, 250,
         {"dest.IsReady()", "old.CopyAll(dest)", "new.StretchRect(dest, 240, 180, 160, 120, 0, 0, 640, 480, 0, 0, 0, 0)"}},
        {"t out at d/4", 640, 2, 250,
         {"dest.IsReady()", "new.CopyAll(dest)", "old.StretchRect(dest, 80, 60, 480, 360, 0, 0, 640, 480, 0, 0, 0, 0)"}},
        {"t in, transparent", 640, 4, 250,
         {"dest.IsReady()", "old.CopyAll(dest)", "new.StretchRect(dest, 240, 180, 160, 120, 0, 0, 640, 480, 1, 0, 0, 0)"}},
        {"t out, transparent", 640, 6, 250,
         {"dest.IsReady()", "new.CopyAll(dest)", "old.StretchRect(dest, 80, 60, 480, 360, 0, 0, 640, 480, 1, 0, 0, 0)"}},
        {"bits 0 and 3 change nothing", 640, 9, 250,
         {"dest.IsReady()", "old.CopyAll(dest)", "new.StretchRect(dest, 240, 180, 160, 120, 0, 0, 640, 480, 0, 0, 0, 0)"}},
        {"641 wide at half time", 641, 0, 500,
         {"dest.IsReady()", "old.CopyAll(dest)", "new.StretchRect(dest, 160, 120, 320, 240, 0, 0, 641, 480, 0, 0, 0, 0)"}},
        {"641 wide at half time, t out", 641, 2, 500,
         {"dest.IsReady()", "new.CopyAll(dest)", "old.StretchRect(dest, 160, 120, 321, 240, 0, 0, 641, 480, 0, 0, 0, 0)"}},
        {"t in at the start: an empty rectangle at the centre", 640, 0, 0,
         {"dest.IsReady()", "old.CopyAll(dest)", "new.StretchRect(dest, 320, 240, 0, 0, 0, 0, 640, 480, 0, 0, 0, 0)"}},
        {"t out at the end", 640, 2, 1000,
         {"dest.IsReady()", "new.CopyAll(dest)", "old.StretchRect(dest, 320, 240, 0, 0, 0, 0, 640, 480, 0, 0, 0, 0)"}},
    };
    // clang-format on
    for (const ZoomCase& c : cases) {
        SCOPED_TRACE(c.name);
        oldFrame.SetSize(c.w, 480);
        At(c.e);
        ChangedRect* list = reinterpret_cast<ChangedRect*>(0x1234);
        EXPECT_EQ(t.Step(&dest, &oldFrame, &newFrame, c.flags, &list), 1);
        EXPECT_CALLS(log, c.calls);
        EXPECT_EQ(list, reinterpret_cast<ChangedRect*>(0x1234));
        EXPECT_FALSE(t.FirstStep());
    }
}

TEST_F(ZoomTest, SizesComeFromTheOldFrameAtEveryStep) {
    At(500);
    Step();
    oldFrame.SetSize(200, 100);
    newFrame.SetSize(10, 10);
    log.Clear();
    Step();
    EXPECT_CALLS(log, {"dest.IsReady()", "old.CopyAll(dest)",
                       "new.StretchRect(dest, 50, 25, 100, 50, 0, 0, 200, 100, 0, 0, 0, 0)"});
}

TEST_F(ZoomTest, ClockSetBackIsDrawnAsTheEnd) {
    // A negative SetElapsed makes the elapsed time wrap beyond the duration; the step
    // draws the end picture instead of a wrapped size.
    for (int32_t flags : {0, 2}) {
        SCOPED_TRACE("flags " + std::to_string(flags));
        At(500);
        t.UpdateElapsed();
        t.SetElapsed(static_cast<uint32_t>(-100));
        log.Clear();
        EXPECT_EQ(t.Step(&dest, &oldFrame, &newFrame, flags, nullptr), 1);
        if (flags == 0) {
            EXPECT_CALLS(log, {"dest.IsReady()", "old.CopyAll(dest)",
                               "new.StretchRect(dest, 0, 0, 640, 480, 0, 0, 640, 480, 0, 0, 0, 0)"});
        } else {
            EXPECT_CALLS(log, {"dest.IsReady()", "new.CopyAll(dest)",
                               "old.StretchRect(dest, 320, 240, 0, 0, 0, 0, 640, 480, 0, 0, 0, 0)"});
        }
    }
}

TEST_F(ZoomTest, UnreadyDestinationReadsNoClock) {
    At(500);
    dest.SetReady(false);
    EXPECT_EQ(Step(), 0);
    EXPECT_CALLS(log, {"dest.IsReady()"});
    EXPECT_EQ(t.GetElapsed(), 0u);
    EXPECT_FALSE(t.FirstStep());
}

TEST_F(ZoomTest, HostFailureIsCaught) {
    At(500);
    newFrame.ThrowAfter(0);
    EXPECT_EQ(t.Step(&dest, &oldFrame, &newFrame, 2, nullptr), 0);
    EXPECT_CALLS(log, {"dest.IsReady()", "new.CopyAll(dest)"});
    log.Clear();
    newFrame.ThrowAfter(-1);
    oldFrame.ThrowAfter(0);
    EXPECT_EQ(t.Step(&dest, &oldFrame, &newFrame, 2, nullptr), 0);
    EXPECT_CALLS(log, {"dest.IsReady()", "new.CopyAll(dest)",
                       "old.StretchRect(dest, 160, 120, 320, 240, 0, 0, 640, 480, 0, 0, 0, 0)"});
}

class ZoomPixels : public test::PixelFixture<ZoomTransition> {
protected:
    ZoomPixels() : PixelFixture(40, 30, test::kDestTag) { t.Begin(1000); }
};

TEST_F(ZoomPixels, ZoomInEndsOnTheNewFrame) {
    StepAt(1000, 0);
    EXPECT_EQ(test::FirstBadPixel(dest, [](int32_t x, int32_t y) { return Tagged(test::kNewTag, x, y); }), "");
}

TEST_F(ZoomPixels, ZoomOutEndsOnTheNewFrame) {
    StepAt(1000, 2);
    EXPECT_EQ(test::FirstBadPixel(dest, [](int32_t x, int32_t y) { return Tagged(test::kNewTag, x, y); }), "");
}

TEST_F(ZoomPixels, ZoomInStartsOnTheOldFrame) {
    StepAt(0, 0);
    EXPECT_EQ(test::FirstBadPixel(dest, [](int32_t x, int32_t y) { return Tagged(test::kOldTag, x, y); }), "");
}

TEST_F(ZoomPixels, ZoomInHalfWayShowsTheWholeNewFrameHalved) {
    // 40 x 30 at d/2: the new frame in 20 x 15 at (10, 7), one sample per 2 x 2 block.
    StepAt(500, 0);
    EXPECT_EQ(test::FirstBadPixel(dest,
                                  [](int32_t x, int32_t y) {
                                      if (x >= 10 && x < 30 && y >= 7 && y < 22) {
                                          return Tagged(test::kNewTag, (x - 10) * 2 + 1, (y - 7) * 2 + 1);
                                      }
                                      return Tagged(test::kOldTag, x, y);
                                  }),
              "");
}

} // namespace
} // namespace wqtrans
