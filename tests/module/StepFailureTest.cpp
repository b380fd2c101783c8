// Steps on surfaces that fail: a drawing call that answers 0 or throws makes its step
// answer 0, and the run still ends on the picture an unfailing run leaves; sizes that
// no real surface has (near 2^31, negative) draw some picture without undefined
// behaviour; Fade's work surface follows the frames when their size changes.
#include <gtest/gtest.h>

#include <cctype>
#include <climits>
#include <memory>
#include <string>
#include <vector>

#include "host/SoftwareSurface.h"
#include "module/Registry.h"
#include "support/FaultySurface.h"
#include "support/Frames.h"
#include "support/TestClock.h"
#include "transitions/FadeTransition.h"

namespace wqtrans {
namespace {

using test::FaultPlan;
using test::FaultySurface;

constexpr uint32_t kDuration = 1000;
constexpr uint32_t kFrame = 50;

std::string NameOf(int32_t index) {
    char16_t name[64] = {};
    std::unique_ptr<Transition> t(RegistryTable()[static_cast<std::size_t>(index)].make());
    t->GetName(name, 64);
    std::string out;
    for (const char16_t* c = name; *c != 0; ++c) {
        out += static_cast<char>(*c);
    }
    return out;
}

// One run of transition `index` at w x h, stepped every kFrame ms and once more at the
// end; the plan's fault lands where it names. The destination holds the old frame at
// the start.
struct FaultedRun {
    FaultedRun(int32_t index, int32_t w, int32_t h, FaultPlan plan)
        : dest(w, h), oldFrame(w, h), newFrame(w, h), plan(plan) {
        test::TagFrame(dest, test::kOldTag);
        test::TagFrame(oldFrame, test::kOldTag);
        test::TagFrame(newFrame, test::kNewTag);
        FaultySurface d(dest, this->plan);
        FaultySurface o(oldFrame, this->plan);
        FaultySurface n(newFrame, this->plan);
        std::unique_ptr<Transition> t(RegistryTable()[static_cast<std::size_t>(index)].make());
        test::TestClock clock(0);
        crt::srand(7);
        t->Begin(kDuration);
        std::vector<uint32_t> times;
        for (uint32_t ms = 0; ms <= kDuration; ms += kFrame) {
            times.push_back(ms);
        }
        times.push_back(kDuration);
        for (uint32_t ms : times) {
            clock.Set(ms);
            callsBeforeStep = this->plan.calls;
            results.push_back(t->Step(&d, &o, &n, 0, nullptr));
        }
        t->End();
    }
    SoftwareSurface dest, oldFrame, newFrame;
    FaultPlan plan;
    std::vector<int32_t> results;
    // Drawing calls made before the last step: that step, a second one at the run's
    // end, is the host stepping again after a step that answered 0.
    int64_t callsBeforeStep = 0;
};

class StepFailure : public testing::TestWithParam<int32_t> {};

TEST_P(StepFailure, AFailedCallIsReportedAndDrawnAgainByTheNextSteps) {
    const int32_t index = GetParam();
    for (const auto& [w, h] : {std::pair{64, 48}, std::pair{63, 47}}) {
        const FaultedRun clean(index, w, h, FaultPlan{});
        for (int32_t r : clean.results) {
            ASSERT_EQ(r, 1) << w << " x " << h;
        }
        const int64_t n = clean.callsBeforeStep;
        for (FaultPlan::Kind kind : {FaultPlan::Kind::kAnswerZero, FaultPlan::Kind::kThrow}) {
            for (int64_t k : {int64_t{0}, int64_t{1}, n / 3, n / 2, n - 2, n - 1}) {
                SCOPED_TRACE(testing::Message() << w << " x " << h << ", call " << k << " of " << n
                                                << (kind == FaultPlan::Kind::kThrow ? " throws" : " answers 0"));
                const FaultedRun faulted(index, w, h, FaultPlan{k, kind, 0});
                int32_t failedSteps = 0;
                for (int32_t r : faulted.results) {
                    failedSteps += r == 0 ? 1 : 0;
                }
                EXPECT_EQ(failedSteps, 1);
                EXPECT_EQ(
                    test::FirstBadPixel(faulted.dest, [&](int32_t x, int32_t y) { return clean.dest.Pixel(x, y); }),
                    "");
            }
        }
    }
}

// Sizes a real surface never reports: each step must come back, draw within the real
// surfaces, and (under the sanitizers) do nothing undefined.
TEST_P(StepFailure, AbsurdReportedSizesAreDrawnWithoutUndefinedBehaviour) {
    const int32_t index = GetParam();
    for (const auto& [w, h] :
         {std::pair{INT_MAX, 48}, std::pair{48, INT_MAX}, std::pair{INT_MAX, INT_MAX}, std::pair{INT_MIN, 48},
          std::pair{INT_MIN + 1, INT_MIN + 1}, std::pair{-1, -1}, std::pair{1 << 16, 1 << 16}}) {
        SCOPED_TRACE(testing::Message() << w << " x " << h);
        SoftwareSurface dest(16, 12), oldFrame(16, 12), newFrame(16, 12);
        FaultPlan plan;
        FaultySurface d(dest, plan), o(oldFrame, plan), n(newFrame, plan);
        for (FaultySurface* s : {&d, &o, &n}) {
            s->ReportSize(w, h);
        }
        std::unique_ptr<Transition> t(RegistryTable()[static_cast<std::size_t>(index)].make());
        test::TestClock clock(0);
        t->Begin(kDuration);
        for (uint32_t ms : {0u, 1u, 333u, 500u, 999u, 1000u}) {
            clock.Set(ms);
            t->Step(&d, &o, &n, 0, nullptr);
        }
        EXPECT_LT(plan.calls, 1000) << "a step's work must not grow with a size no surface has";
    }
}

INSTANTIATE_TEST_SUITE_P(AllTransitions, StepFailure, testing::Range(0, kTransitionCount),
                         [](const testing::TestParamInfo<int32_t>& info) {
                             std::string name;
                             for (char c : NameOf(info.param)) {
                                 if (std::isalnum(static_cast<unsigned char>(c)) != 0) {
                                     name += c;
                                 }
                             }
                             return name;
                         });

// One Fade instance stepped through its work surface on frames of one size and then
// of another draws what a fresh instance draws.
TEST(FadeWorkSurface, IsMadeAgainWhenTheFramesChangeSize) {
    test::TestClock clock(0);
    FadeTransition reused;
    const auto stepEx = [&](FadeTransition& t, int32_t w, int32_t h) {
        SoftwareSurface dest(w, h), oldFrame(w, h), newFrame(w, h);
        test::TagFrame(dest, test::kDestTag);
        test::TagFrame(oldFrame, test::kOldTag);
        test::TagFrame(newFrame, test::kNewTag);
        clock.Set(0);
        t.Begin(kDuration);
        clock.Set(400);
        EXPECT_EQ(t.StepEx(&dest, 0, 0, &oldFrame, &newFrame, 0, 0, 1, 0, 0, 0), 1);
        return dest;
    };
    stepEx(reused, 16, 12);
    const SoftwareSurface second = stepEx(reused, 64, 48);
    FadeTransition fresh;
    const SoftwareSurface expected = stepEx(fresh, 64, 48);
    EXPECT_EQ(test::FirstBadPixel(second, [&](int32_t x, int32_t y) { return expected.Pixel(x, y); }), "");
}

} // namespace
} // namespace wqtrans
