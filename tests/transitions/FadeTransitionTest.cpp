// Fade: the calls of Step and StepEx for each flag and op kind.
#include <gtest/gtest.h>

#include "support/RecordingSurface.h"
#include "support/StepFixture.h"
#include "support/TestClock.h"
#include "transitions/FadeTransition.h"

namespace wqtrans {
namespace {

using test::CallLog;
using test::RecordingSurface;
using test::TestClock;

class FakeEffect final : public HostEffect {
public:
    explicit FakeEffect(uint32_t value, CallLog& log) : value(value), log(log) {}
    uint32_t ReadTint() override {
        log.lines.push_back("effect.ReadTint()");
        return value;
    }
    void WriteTint(uint32_t tint) override {
        char text[40];
        std::snprintf(text, sizeof text, "effect.WriteTint(0x%08X)", tint);
        log.lines.push_back(text);
        value = tint;
    }
    uint32_t value;
    CallLog& log;
};

class FadeTest : public test::StepFixture<FadeTransition> {
protected:
    FadeTest() { Size(64, 48); }
};

TEST_F(FadeTest, Identity) {
    EXPECT_EQ(t.GetID(), 0x45444146u);
    EXPECT_EQ(t.GetMode(), 7);
    EXPECT_EQ(t.GetParams(nullptr), 0);
    EXPECT_EQ(t.OpenSettings(nullptr, 0), nullptr);
    EXPECT_EQ(t.QueryFeature(1, 5), 1);
    EXPECT_EQ(t.QueryFeature(1, 0), 0);
    EXPECT_EQ(t.QueryFeature(2, 1), 0);
}

struct StepCase {
    int32_t flags;
    uint32_t e;
    std::vector<std::string> calls;
};

TEST_F(FadeTest, StepCallsForEachFlag) {
    const StepCase cases[] = {
        {0, 0, {"dest.IsReady()", "new.CopyAll(dest)", "old.DrawAt(dest, 0, 0, 0, 1, 0, 0)"}},
        {0, 1000, {"dest.IsReady()", "new.CopyAll(dest)", "old.DrawAt(dest, 0, 0, 0, 1, 128, 0)"}},
        {0, 250, {"dest.IsReady()", "new.CopyAll(dest)", "old.DrawAt(dest, 0, 0, 0, 1, 32, 0)"}},
        {1, 500, {"dest.IsReady()", "old.CopyAll(dest)", "new.DrawAt(dest, 0, 0, 0, 1, 64, 0)"}},
        {1, 0, {"dest.IsReady()", "old.CopyAll(dest)", "new.DrawAt(dest, 0, 0, 0, 1, 128, 0)"}},
        {4, 500, {"dest.IsReady()", "new.CopyAll(dest)", "old.DrawAt(dest, 0, 0, 1, 1, 64, 0)"}},
        {5, 750, {"dest.IsReady()", "old.CopyAll(dest)", "new.DrawAt(dest, 0, 0, 1, 1, 32, 0)"}},
    };
    for (const StepCase& c : cases) {
        SCOPED_TRACE("flags " + std::to_string(c.flags) + " e " + std::to_string(c.e));
        At(c.e);
        ChangedRect* list = reinterpret_cast<ChangedRect*>(0x1234);
        EXPECT_EQ(t.Step(&dest, &oldFrame, &newFrame, c.flags, &list), 1);
        EXPECT_CALLS(log, c.calls);
        EXPECT_EQ(list, reinterpret_cast<ChangedRect*>(0x1234)); // the list is not Fade's
        EXPECT_FALSE(t.FirstStep());
    }
}

TEST_F(FadeTest, StepOnAnUnreadyDestinationDrawsNothingAndReadsNoClock) {
    At(300);
    dest.SetReady(false);
    EXPECT_EQ(Step(), 0);
    EXPECT_CALLS(log, {"dest.IsReady()"});
    EXPECT_EQ(t.GetElapsed(), 0u);
    EXPECT_FALSE(t.FirstStep());
}

TEST_F(FadeTest, ElapsedPastTheDurationStaysAtTheNewFrame) {
    At(500);
    t.UpdateElapsed();
    t.SetElapsed(static_cast<uint32_t>(-100)); // the start now lies ahead of the timer
    log.Clear();
    EXPECT_EQ(Step(), 1);
    EXPECT_CALLS(log, {"dest.IsReady()", "new.CopyAll(dest)", "old.DrawAt(dest, 0, 0, 0, 1, 128, 0)"});
}

TEST_F(FadeTest, HostFailureIsCaught) {
    At(500);
    newFrame.ThrowAfter(0);
    EXPECT_EQ(Step(), 0);
    EXPECT_CALLS(log, {"dest.IsReady()", "new.CopyAll(dest)"});
}

TEST_F(FadeTest, StepBeforeAnyBeginDoesNotDivideByZero) { EXPECT_EQ(Step(), 1); }

TEST_F(FadeTest, StepExPlainCopyAtTheEnd) {
    At(1000);
    EXPECT_EQ(t.StepEx(&dest, 10, 20, &oldFrame, &newFrame, 1, 0, 0, 0, 0, 2), 1);
    EXPECT_CALLS(log, {"dest.IsReady()", "old.DrawAt(dest, 10, 20, 0, 0, 0, 2)",
                       "new.DrawAt(dest, 10, 20, 0, 4096, 0xFFFFFFFF, 2)"});
}

TEST_F(FadeTest, StepExPlainCopyHalfway) {
    At(500); // g = 127; flags 0: base new, top old with 255 - 127 = 128
    EXPECT_EQ(t.StepEx(&dest, 0, 0, &oldFrame, &newFrame, 0, 0, 0, 0, 0, 0), 1);
    EXPECT_CALLS(log, {"dest.IsReady()", "new.DrawAt(dest, 0, 0, 0, 0, 0, 0)",
                       "old.DrawAt(dest, 0, 0, 0, 4096, 0x80FFFFFF, 0)"});
}

TEST_F(FadeTest, StepExAlphaOpWithoutEffectTakesThePlainPath) {
    At(1000);
    EXPECT_EQ(t.StepEx(&dest, 0, 0, &oldFrame, &newFrame, 1, 0, 0, 0x1000, 0xFFFFFFFFu, 0), 1);
    EXPECT_CALLS(log, {"dest.IsReady()", "old.DrawAt(dest, 0, 0, 0, 0, 0, 0)",
                       "new.DrawAt(dest, 0, 0, 0, 4096, 0xFFFFFFFF, 0)"});
}

TEST_F(FadeTest, StepExBlendOpGoesThroughTheWorkSurface) {
    At(0); // flags 0: g = 255 - 0; op 1 param 128: A = 0
    EXPECT_EQ(t.StepEx(&dest, 5, 6, &oldFrame, &newFrame, 0, 0, 0, 1, 128, 4), 1);
    EXPECT_CALLS(log, {"dest.IsReady()", "old.NewSurface()", "work.PrototypeFor(32, 5, 0)", "work.Allocate(64, 48)",
                       "work.SetKeyColour(0)", "work.BeginDraw(0, 0)", "new.CopyAll(work)",
                       "old.DrawAt(work, 0, 0, 0, 4096, 0xFFFFFFFF, 0)", "work.EndDraw()",
                       "work.DrawAt(dest, 5, 6, 0, 1, 128, 4)"});
    // The work surface is made once and kept until the transition goes.
    log.Clear();
    EXPECT_EQ(t.StepEx(&dest, 5, 6, &oldFrame, &newFrame, 0, 0, 0, 1, 128, 4), 1);
    EXPECT_EQ(log.lines[1], "work.BeginDraw(0, 0)");
    EXPECT_EQ(RecordingSurface::LiveWorkSurfaces(), 1);
}

TEST_F(FadeTest, StepExAlphaOpWithCoefficientsUsesTheWorkSurfaceAndTheCallersParameter) {
    At(250); // flags 1: g = 63
    EXPECT_EQ(t.StepEx(&dest, 0, 0, &oldFrame, &newFrame, 1, 0, 0, 0x1000, 0x80FF00FFu, 0), 1);
    ASSERT_EQ(log.lines.size(), 10u);
    EXPECT_EQ(log.lines[6], "old.CopyAll(work)");
    EXPECT_EQ(log.lines[7], "new.DrawAt(work, 0, 0, 0, 4096, 0x3FFFFFFF, 0)");
    EXPECT_EQ(log.lines[9], "work.DrawAt(dest, 0, 0, 0, 4096, 0x80FF00FF, 0)");
}

TEST_F(FadeTest, StepExPlainOpAtModeOneReachesTheFinalDrawUnchanged) {
    At(1000);
    EXPECT_EQ(t.StepEx(&dest, 0, 0, &oldFrame, &newFrame, 1, 0, 1, 0, 0, 0), 1);
    ASSERT_EQ(log.lines.size(), 10u);
    EXPECT_EQ(log.lines[7], "new.DrawAt(work, 0, 0, 1, 4096, 0xFFFFFFFF, 0)");
    EXPECT_EQ(log.lines[9], "work.DrawAt(dest, 0, 0, 1, 0, 0, 0)");
}

TEST_F(FadeTest, StepExTopFrameAloneWithAnEffect) {
    At(500); // flags 8: g = 255 - 127 = 128; A = 0x80; h = 128 * 128 / 255 = 64
    FakeEffect effect(0x80FF0000u, log);
    EXPECT_EQ(t.StepEx(&dest, 1, 2, &oldFrame, &newFrame, 8, 0, 0, 13, reinterpret_cast<HostParam>(&effect), 0), 1);
    EXPECT_CALLS(log, {"effect.ReadTint()", "dest.IsReady()", "effect.WriteTint(0x40FF0000)",
                       "old.DrawAt(dest, 1, 2, 0, 13, effect, 0)", "effect.WriteTint(0x80FF0000)"});
    EXPECT_EQ(effect.value, 0x80FF0000u);
}

TEST_F(FadeTest, StepExTopFrameAloneWithBlendOp) {
    At(1000); // flags 9: g = 255; op 1 param 0: A = 255; h = 255; q = 0
    EXPECT_EQ(t.StepEx(&dest, 0, 0, &oldFrame, &newFrame, 9, 0, 0, 1, 0, 0), 1);
    EXPECT_CALLS(log, {"dest.IsReady()", "new.DrawAt(dest, 0, 0, 0, 1, 0, 0)"});
    At(0); // h = 0: q = 128
    EXPECT_EQ(t.StepEx(&dest, 0, 0, &oldFrame, &newFrame, 9, 0, 0, 1, 0, 0), 1);
    EXPECT_CALLS(log, {"dest.IsReady()", "new.DrawAt(dest, 0, 0, 0, 1, 128, 0)"});
}

TEST_F(FadeTest, StepExNullEffectCountsAsOpaque) {
    At(1000);
    EXPECT_EQ(t.StepEx(&dest, 0, 0, &oldFrame, &newFrame, 9, 0, 0, 13, 0, 0), 1);
    EXPECT_CALLS(log, {"dest.IsReady()", "new.DrawAt(dest, 0, 0, 0, 13, 0, 0)"});
}

TEST_F(FadeTest, StepExUnreadyDestinationAfterTheClockRead) {
    At(400);
    dest.SetReady(false);
    EXPECT_EQ(t.StepEx(&dest, 0, 0, &oldFrame, &newFrame, 0, 0, 0, 0, 0, 0), 0);
    EXPECT_CALLS(log, {"dest.IsReady()"});
    EXPECT_EQ(t.GetElapsed(), 400u);
}

TEST_F(FadeTest, FailedWorkSurfaceIsNotKept) {
    At(1000);
    oldFrame.FailAllocate(true);
    EXPECT_EQ(t.StepEx(&dest, 0, 0, &oldFrame, &newFrame, 0, 0, 1, 0, 0, 0), 0);
    EXPECT_EQ(RecordingSurface::LiveWorkSurfaces(), 0);
    oldFrame.FailAllocate(false);
    log.Clear();
    EXPECT_EQ(t.StepEx(&dest, 0, 0, &oldFrame, &newFrame, 0, 0, 1, 0, 0, 0), 1);
    EXPECT_EQ(log.lines[1], "old.NewSurface()");
}

TEST_F(FadeTest, BeginDrawIsPairedEvenWhenADrawFails) {
    At(1000);
    newFrame.ThrowAfter(0);
    EXPECT_EQ(t.StepEx(&dest, 0, 0, &oldFrame, &newFrame, 0, 0, 1, 0, 0, 0), 0);
    EXPECT_EQ(log.lines.back(), "work.EndDraw()");
}

TEST(FadeWorkSurface, IsReleasedWithTheTransition) {
    TestClock clock(0);
    CallLog log;
    RecordingSurface dest{"dest", log, 8, 8}, oldFrame{"old", log, 8, 8}, newFrame{"new", log, 8, 8};
    {
        FadeTransition fade;
        fade.Begin(10);
        fade.StepEx(&dest, 0, 0, &oldFrame, &newFrame, 0, 0, 1, 0, 0, 0);
        EXPECT_EQ(RecordingSurface::LiveWorkSurfaces(), 1);
    }
    EXPECT_EQ(RecordingSurface::LiveWorkSurfaces(), 0);
    EXPECT_EQ(log.lines.back(), "work.Destroy()");
}

} // namespace
} // namespace wqtrans
