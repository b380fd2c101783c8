// Motion curves and reverse: the curves' values and refusals, and the renderer's eased
// and reversed pictures for all 21 against plain runs.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "host/FrameRenderer.h"
#include "host/Motion.h"
#include "module/Exports.h"
#include "module/TransitionAdapter.h"
#include "support/Frames.h"
#include "support/Runs.h"

namespace wqtrans::test {
namespace {

MotionCurve Curve(const std::string& text) {
    std::string error;
    const std::optional<MotionCurve> curve = MotionCurve::Parse(text, &error);
    EXPECT_TRUE(curve) << text << ": " << error;
    return curve.value_or(MotionCurve{});
}

TEST(MotionCurve, KnownValues) {
    const double half = std::sqrt(0.5);
    struct Case {
        const char* text;
        double p;
        double expected;
    };
    const Case cases[] = {
        {"linear", 0.3, 0.3},
        {"ease", 0.5, 0.8024033877},
        {"cubic-bezier(0.25, 0.1, 0.25, 1)", 0.5, 0.8024033877},
        {"ease-in", 0.5, 0.3153568},
        {"ease-out", 0.5, 1 - 0.3153568},
        {"ease-in-out", 0.5, 0.5},
        {"cubic-bezier(0,0,1,1)", 0.3, 0.3},
        {"sine-in", 0.5, 1 - half},
        {"sine-out", 0.5, half},
        {"sine-in-out", 0.25, (1 - half) / 2},
        {"quad-in", 0.5, 0.25},
        {"quad-out", 0.5, 0.75},
        {"quad-in-out", 0.25, 0.125},
        {"cubic-in", 0.5, 0.125},
        {"cubic-out", 0.5, 0.875},
        {"cubic-in-out", 0.75, 0.9375},
        {"expo-in", 0.5, 1.0 / 32},
        {"expo-out", 0.5, 1 - 1.0 / 32},
        {"expo-in-out", 0.25, 1.0 / 64},
        {"Ease-In-Out", 0.25, Curve("ease-in-out").At(0.25)},
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(Curve(c.text).At(c.p), c.expected, 1e-6) << c.text << " at " << c.p;
    }
}

// Every named curve and a few of CSS's own: from 0 to d, never back, and mirrored twice
// the same curve.
TEST(MotionCurve, MomentsRunForwardFromStartToEnd) {
    std::vector<std::string> texts = MotionCurve::Names();
    texts.insert(texts.end(), {"cubic-bezier(0.5,1.2,0.5,0.5)", "cubic-bezier(1,1,0,0)", "cubic-bezier(0,1,1,0)"});
    for (const std::string& text : texts) {
        const MotionCurve curve = Curve(text);
        EXPECT_EQ(Curve(curve.Text()), curve) << text;
        EXPECT_EQ(curve.Mirrored().Mirrored(), curve) << text;
        for (uint32_t d : {1u, 7u, 1000u, 600000u}) {
            const uint32_t step = d / 1000 + 1;
            uint32_t last = 0;
            for (uint32_t t = 0; t <= d; t += step) {
                const uint32_t moment = curve.MomentAt(t, d);
                EXPECT_GE(moment, last) << text << " " << t << " of " << d;
                EXPECT_LE(moment, d);
                EXPECT_EQ(curve.Mirrored().MomentAt(t, d), d - curve.MomentAt(d - t, d)) << text;
                last = moment;
            }
            EXPECT_EQ(curve.MomentAt(0, d), 0u) << text;
            EXPECT_EQ(curve.MomentAt(d, d), d) << text;
        }
    }
}

TEST(MotionCurve, RefusesWhatIsNoForwardCurve) {
    const struct {
        const char* text;
        const char* says;
    } cases[] = {
        {"bounce", "unknown curve \"bounce\"; use one of linear, ease"},
        {"cubic-bezier(0.1,0.2,0.3)", "takes four numbers"},
        {"cubic-bezier(0.1,0.2,0.3,0.4,0.5)", "takes four numbers"},
        {"cubic-bezier(0.1,nan,0.3,1)", "takes four numbers"},
        {"cubic-bezier(0.5,0,0.5,1", "unknown curve"},
        {"cubic-bezier(1.1,0,0.5,1)", "x1 and x2 must be within 0 to 1"},
        {"cubic-bezier(0.3,1.5,0.7,1)", "would make time run backwards"},
        {"cubic-bezier(0.3,-0.2,0.7,1)", "would make time run backwards"},
        {"cubic-bezier(0.68,-0.55,0.27,1.55)", "would make time run backwards"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(MotionCurve::Parse(c.text, &error)) << c.text;
        EXPECT_NE(error.find(c.says), std::string::npos) << c.text << ": " << error;
    }
}

// ---- The renderer ------------------------------------------------------------------

constexpr uint32_t kDuration = 1000;
constexpr uint32_t kRate = 25;

std::string NameOf(uint32_t id) { return std::string(reinterpret_cast<const char*>(&id), 4); }

// The picture of a plain run from `from` to `to` at `moment`, stepped by hand at the
// frame times below `until` and at `until`, each mapped through `moments`; the run's
// new picture once the mapped moment reaches its end.
SoftwareSurface SteppedRun(uint32_t id, SoftwareSurface& from, SoftwareSurface& to, uint32_t until,
                           const std::function<uint32_t(uint32_t)>& moments) {
    SoftwareSurface dest(from.Width(), from.Height());
    if (moments(until) >= kDuration) {
        to.CopyAll(&dest);
        return dest;
    }
    from.CopyAll(&dest);
    TestClock clock(0);
    TransitionAdapter* adapter = CreateTransition(0, id, nullptr, 0);
    crt::srand(1);
    adapter->table->Begin(adapter, kDuration);
    auto step = [&](uint32_t t) {
        clock.Set(moments(t));
        ChangedRect* changed = nullptr;
        adapter->table->Step(adapter, &dest, &from, &to, 0, &changed);
    };
    for (uint32_t i = 0; i * 1000 / kRate < until; ++i) {
        step(i * 1000 / kRate);
    }
    step(until);
    adapter->table->End(adapter);
    adapter->table->Delete(adapter);
    return dest;
}

SoftwareSurface Rendered(FrameRequest request, PixelRig& rig, bool swapped = false) {
    request.frameRateNum = kRate;
    SoftwareSurface out(rig.dest.Width(), rig.dest.Height());
    EXPECT_TRUE(
        RenderFrameAt(request, swapped ? rig.newFrame : rig.oldFrame, swapped ? rig.oldFrame : rig.newFrame, out));
    return out;
}

std::string Difference(const SoftwareSurface& got, const SoftwareSurface& expected) {
    return FirstBadPixel(got, [&](int32_t x, int32_t y) { return const_cast<SoftwareSurface&>(expected).Pixel(x, y); });
}

// An eased picture at t is the plain run's at the curve's moment; a reversed one the
// plain run's from the new picture to the old one at d minus that moment. The
// transitions that build on their earlier steps equal runs stepped on the eased
// timeline, and a reversed request of the reversed run is the plain run.
TEST(FrameRendererMotion, EasedAndReversedPicturesAreMappedPlainRuns) {
    const char* curves[] = {"ease-in-out", "expo-in", "cubic-bezier(0.9,0.1,0.2,0.8)"};
    const uint32_t moments[] = {0, 40, 301, 500, 777, 999, 1000};
    for (int32_t index = 0; index < GetTransCount(); ++index) {
        const uint32_t id = GetTransID(index);
        for (const auto& [width, height] : {std::pair{64, 48}, std::pair{37, 23}}) {
            PixelRig rig(width, height);
            for (const char* text : curves) {
                const MotionCurve curve = Curve(text);
                for (const bool reverse : {false, true}) {
                    for (const uint32_t t : moments) {
                        FrameRequest request{id, {}, 1, 0, kDuration, t};
                        request.ease = curve;
                        request.reverse = reverse;
                        const SoftwareSurface got = Rendered(request, rig);
                        const std::string where = NameOf(id) + " " + text + (reverse ? " reversed" : "") + " at " +
                                                  std::to_string(t) + " ms, " + std::to_string(width) + "x" +
                                                  std::to_string(height);
                        SoftwareSurface expected(width, height);
                        if (t >= kDuration) {
                            rig.newFrame.CopyAll(&expected);
                        } else if (ReplaysFromStart(id)) {
                            // The mirror run is stepped on its own frame times, whose moments
                            // mirror the curve's.
                            auto mirrored = [&](uint32_t s) {
                                return kDuration - curve.MomentAt(kDuration - s, kDuration);
                            };
                            auto eased = [&](uint32_t s) { return curve.MomentAt(s, kDuration); };
                            expected = reverse ? SteppedRun(id, rig.newFrame, rig.oldFrame, kDuration - t, mirrored)
                                               : SteppedRun(id, rig.oldFrame, rig.newFrame, t, eased);
                        } else {
                            const uint32_t moment = curve.MomentAt(t, kDuration);
                            expected = reverse ? Rendered({id, {}, 1, 0, kDuration, kDuration - moment}, rig, true)
                                               : Rendered({id, {}, 1, 0, kDuration, moment}, rig);
                        }
                        ASSERT_EQ(Difference(got, expected), "") << where;
                        if (!reverse && t > 0 && t < kDuration) {
                            // The reversed run's own reverse, eased by the mirrored curve.
                            FrameRequest twice = request;
                            twice.reverse = true;
                            twice.ease = curve.Mirrored();
                            twice.elapsedMs = kDuration - t;
                            ASSERT_EQ(Difference(got, Rendered(twice, rig, true)), "") << where << " reversed twice";
                        }
                    }
                }
            }
        }
    }
}

// A reversed run starts on the old picture exactly and ends on the new one; with the
// module's last step asked for, its ends are the mirror run's own steps.
TEST(FrameRendererMotion, ReversedRunsStartOldAndEndNew) {
    for (int32_t index = 0; index < GetTransCount(); ++index) {
        PixelRig rig(16, 12);
        FrameRequest request{GetTransID(index), {}, 1, 0, kDuration, 0};
        request.reverse = true;
        EXPECT_EQ(FirstBadPixel(Rendered(request, rig), OldAt), "") << NameOf(request.id);
        request.elapsedMs = kDuration;
        EXPECT_EQ(FirstBadPixel(Rendered(request, rig), NewAt), "") << NameOf(request.id);
        request.moduleLastStep = true;
        FrameRequest first{request.id, {}, 1, 0, kDuration, 0};
        EXPECT_EQ(Difference(Rendered(request, rig), Rendered(first, rig, true)), "") << NameOf(request.id);
    }
}

} // namespace
} // namespace wqtrans::test
