// The run clock of every transition, under a timer driven by the test.
#include <gtest/gtest.h>

#include <new>

#include "module/Transition.h"
#include "support/TestClock.h"

namespace wqtrans {
namespace {

using test::TestClock;

// A transition with nothing of its own, exposing the clock fields.
class Probe : public Transition {
public:
    Transition* Clone() override { return new (std::nothrow) Probe(); }
    uint32_t GetID() override { return MakeId('T', 'E', 'S', 'T'); }
    uint32_t Start() const { return start; }
    uint32_t Now() const { return now; }
    uint32_t EndTime() const { return end; }
    int32_t Wrapped() const { return wrapped; }
};

TEST(Clock, FieldsBeforeBegin) {
    Probe t;
    EXPECT_EQ(t.IsFinished(), 1);
    EXPECT_FALSE(t.Running());
    EXPECT_FALSE(t.FirstStep());
    EXPECT_EQ(t.Duration(), 1u); // a step before Begin cannot divide by zero
    EXPECT_EQ(t.Dialog(), nullptr);
}

TEST(Clock, BeginStartsARun) {
    TestClock clock(1000);
    Probe t;
    EXPECT_EQ(t.Begin(500), 1);
    EXPECT_EQ(t.Start(), 1000u);
    EXPECT_EQ(t.Wrapped(), 0);
    EXPECT_EQ(t.EndTime(), 1500u);
    EXPECT_EQ(t.Now(), 1000u);
    EXPECT_TRUE(t.Running());
    EXPECT_TRUE(t.FirstStep());
    EXPECT_EQ(t.IsFinished(), 0);
    clock.Set(1250);
    EXPECT_EQ(t.UpdateElapsed(), 250u);
    EXPECT_EQ(t.GetElapsed(), 250u);
    clock.Set(1499);
    EXPECT_EQ(t.IsFinished(), 0);
    clock.Set(1500);
    EXPECT_EQ(t.IsFinished(), 1);
}

TEST(Clock, ElapsedIsClampedAtTheEnd) {
    TestClock clock(0);
    Probe t;
    t.Begin(1000);
    clock.Set(5000);
    EXPECT_EQ(t.UpdateElapsed(), 1000u);
    EXPECT_EQ(t.GetElapsed(), 1000u);
    EXPECT_EQ(t.Now(), t.EndTime());
}

TEST(Clock, IsFinishedReadsTheTimerWithoutMovingNow) {
    TestClock clock(0);
    Probe t;
    t.Begin(100);
    clock.Set(40);
    t.UpdateElapsed();
    clock.Set(200);
    EXPECT_EQ(t.IsFinished(), 1);
    EXPECT_EQ(t.GetElapsed(), 40u);
}

TEST(Clock, ZeroDurationCountsAsOne) {
    TestClock clock(10);
    Probe t;
    t.Begin(0);
    EXPECT_EQ(t.Duration(), 1u);
    EXPECT_EQ(t.IsFinished(), 0);
    clock.Advance(1);
    EXPECT_EQ(t.UpdateElapsed(), 1u);
    EXPECT_EQ(t.IsFinished(), 1);
}

TEST(Clock, RunStartedAtTheShiftPointKeepsShiftedTimes) {
    TestClock clock(0x7FFFFFFFu);
    Probe t;
    t.Begin(1000);
    EXPECT_EQ(t.Start(), 0u);
    EXPECT_EQ(t.Wrapped(), 1);
    clock.Set(0x80000062u); // 99 ms later
    EXPECT_EQ(t.UpdateElapsed(), 99u);
}

TEST(Clock, RunAcrossTheTimerWrap) {
    TestClock clock(0xFFFFFFF0u);
    Probe t;
    t.Begin(100);
    EXPECT_EQ(t.Wrapped(), 1);
    clock.Set(0x00000014u);
    EXPECT_EQ(t.UpdateElapsed(), 36u);
    for (uint32_t time : {0xFFFFFFF0u, 0xFFFFFFFFu, 0u, 0x14u, 0x53u}) {
        clock.Set(time);
        EXPECT_EQ(t.IsFinished(), 0) << std::hex << time;
    }
    clock.Set(0x54u);
    EXPECT_EQ(t.IsFinished(), 1);
    EXPECT_EQ(t.UpdateElapsed(), 100u);
}

// Runs whose end lies past the timer's wrap, or past the shifted range's, end only
// when the whole duration has passed, whatever the timer read at Begin.
TEST(Clock, LongRunsEndOnlyWhenTheirDurationHasPassed) {
    const struct {
        uint32_t begin;
        uint32_t duration;
    } runs[] = {
        {1000, 0xFFFFFFFFu},        {1000, 0xFFFFFC18u},        {1000, 0xFFFFFC19u},        {0, 0xFFFFFFFFu},
        {0x7FFFFFFEu, 0x80000002u}, {0x7FFFFFFEu, 0x80000000u}, {0x7FFFFFFFu, 0xFFFFFFFFu}, {0x80000000u, 0x90000000u},
        {0xFFFFFFF0u, 0xFFFFFFFFu}, {0xFFFFFFF0u, 100},         {0xFFFFFFFFu, 0x80000000u}, {1000, 5000},
    };
    for (const auto& run : runs) {
        SCOPED_TRACE(::testing::Message() << std::hex << "begin 0x" << run.begin << " duration 0x" << run.duration);
        TestClock clock(run.begin);
        Probe t;
        t.Begin(run.duration);
        const uint32_t d = run.duration;
        for (uint32_t elapsed : {1u, d / 2, d - 1}) {
            clock.Set(run.begin + elapsed);
            EXPECT_EQ(t.IsFinished(), 0) << "after 0x" << elapsed;
            EXPECT_EQ(t.UpdateElapsed(), elapsed);
        }
        clock.Set(run.begin + d);
        EXPECT_EQ(t.IsFinished(), 1);
        EXPECT_EQ(t.UpdateElapsed(), d);
        if (d != 0xFFFFFFFFu) {
            clock.Set(run.begin + d + 1);
            EXPECT_EQ(t.IsFinished(), 1);
            EXPECT_EQ(t.UpdateElapsed(), d);
        }
    }
}

TEST(Clock, SetElapsedMovesTheRun) {
    TestClock clock(1000);
    Probe t;
    t.Begin(1000);
    clock.Set(1100);
    t.UpdateElapsed();
    const uint32_t newStart = t.SetElapsed(500);
    EXPECT_EQ(newStart, 600u);
    EXPECT_EQ(t.GetElapsed(), 500u);
    EXPECT_EQ(t.EndTime(), 1600u);
    clock.Set(1300);
    EXPECT_EQ(t.UpdateElapsed(), 700u);
}

TEST(Clock, NegativeSetElapsedPutsTheStartAhead) {
    TestClock clock(1000);
    Probe t;
    t.Begin(1000);
    t.SetElapsed(static_cast<uint32_t>(-200));
    EXPECT_EQ(t.Start(), 1200u);
    // Until the timer reaches the new start the unsigned difference wraps past the duration.
    EXPECT_GT(t.UpdateElapsed(), t.Duration());
    clock.Set(1300);
    EXPECT_EQ(t.UpdateElapsed(), 100u);
}

TEST(Clock, FinishJumpsToTheEndAndAsksForSetUp) {
    TestClock clock(0);
    Probe t;
    t.Begin(1000);
    clock.Set(300);
    t.UpdateElapsed();
    // A step clears firstStep; Finish sets it again.
    t.Finish();
    EXPECT_EQ(t.GetElapsed(), 1000u);
    EXPECT_TRUE(t.FirstStep());
    // The next clock read is the true elapsed time.
    EXPECT_EQ(t.UpdateElapsed(), 300u);
}

TEST(Clock, EndFinishesAtOnceAndBeginRestarts) {
    TestClock clock(0);
    Probe t;
    t.Begin(1000);
    t.End();
    EXPECT_EQ(t.IsFinished(), 1);
    EXPECT_FALSE(t.Running());
    clock.Set(5000);
    t.Begin(200);
    EXPECT_EQ(t.IsFinished(), 0);
    EXPECT_EQ(t.Start(), 5000u);
}

} // namespace
} // namespace wqtrans
