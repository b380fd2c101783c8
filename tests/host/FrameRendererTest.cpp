// The frame at any moment: the same picture however the moment is reached.
#include <gtest/gtest.h>

#include <string>

#include "host/FrameRenderer.h"
#include "module/Exports.h"
#include "module/TransitionAdapter.h"
#include "support/Frames.h"
#include "support/Runs.h"

namespace wqtrans::test {
namespace {

constexpr int32_t kWidth = 64;
constexpr int32_t kHeight = 48;
constexpr uint32_t kDuration = 1000;
constexpr uint32_t kMoments[] = {0, 1, 250, 499, 500, 501, 750, 999};

std::string NameOf(uint32_t id) { return std::string(reinterpret_cast<const char*>(&id), 4); }

// The picture after stepping a fresh run at 0, interval, 2 interval, ... below t and
// at t, on a destination that keeps its content, as a presentation runtime does.
SoftwareSurface Stepped(uint32_t id, uint32_t interval, uint32_t t) {
    PixelRig rig(kWidth, kHeight);
    TestClock clock(0);
    TransitionAdapter* adapter = CreateTransition(0, id, nullptr, 0);
    crt::srand(1);
    adapter->table->Begin(adapter, kDuration);
    for (uint32_t e = 0;; e += interval) {
        clock.Set(e < t ? e : t);
        ChangedRect* changed = nullptr;
        adapter->table->Step(adapter, &rig.dest, &rig.oldFrame, &rig.newFrame, 0, &changed);
        if (e >= t) {
            break;
        }
    }
    adapter->table->Delete(adapter);
    return rig.dest;
}

SoftwareSurface Rendered(const FrameRequest& request) {
    PixelRig rig(kWidth, kHeight, kDestTag);
    EXPECT_TRUE(RenderFrameAt(request, rig.oldFrame, rig.newFrame, rig.dest));
    return rig.dest;
}

class FrameRendererTest : public ::testing::TestWithParam<int32_t> {};

// Every transition: the picture at t stepped at any frame rate is the picture of one
// step at t, except for the replayed ones, which are rendered as stepped on the fixed
// timeline (and do differ between frame rates, which is why they are replayed).
TEST_P(FrameRendererTest, PictureAtAMomentDoesNotDependOnTheFrameRate) {
    const uint32_t id = GetTransID(GetParam());
    bool ratesDiffer = false;
    for (uint32_t t : kMoments) {
        const SoftwareSurface rendered = Rendered({id, {}, 1, 0, kDuration, t});
        const uint32_t reference = ReplaysFromStart(id) ? 1000 / kDefaultFrameRate : t + 1;
        const SoftwareSurface expected = Stepped(id, reference, t);
        ASSERT_EQ(FirstBadPixel(rendered, [&](int32_t x, int32_t y) { return expected.Pixel(x, y); }), "")
            << NameOf(id) << " rendered at " << t;
        for (uint32_t interval : kFrameIntervals) {
            const SoftwareSurface stepped = Stepped(id, interval, t);
            const std::string bad = FirstBadPixel(stepped, [&](int32_t x, int32_t y) { return expected.Pixel(x, y); });
            ratesDiffer = ratesDiffer || !bad.empty();
            if (!ReplaysFromStart(id)) {
                EXPECT_EQ(bad, "") << NameOf(id) << " at " << t << " ms stepped every " << interval << " ms";
            }
        }
    }
    EXPECT_EQ(ratesDiffer, ReplaysFromStart(id)) << NameOf(id);
}

INSTANTIATE_TEST_SUITE_P(AllTransitions, FrameRendererTest, ::testing::Range(0, 21),
                         [](const ::testing::TestParamInfo<int32_t>& info) { return NameOf(GetTransID(info.param)); });

// At and after the end the picture is the new picture exactly, for every transition.
TEST(FrameRendererEnd, TheEndIsTheNewPicture) {
    for (int32_t index = 0; index < 21; ++index) {
        for (uint32_t t : {kDuration, kDuration + 1, 0xFFFFFFFFu}) {
            const SoftwareSurface rendered = Rendered({GetTransID(index), {}, 1, 0, kDuration, t});
            EXPECT_EQ(FirstBadPixel(rendered, NewAt), "") << NameOf(GetTransID(index)) << " at " << t;
        }
    }
}

// Requests the renderer cannot serve leave the output as it was.
TEST(FrameRendererRefusal, UnknownTransitionsWrongBlocksAndSizesDrawNothing) {
    PixelRig rig(kWidth, kHeight, kDestTag);
    SoftwareSurface small(kWidth - 1, kHeight);
    SoftwareSurface readOnly = SoftwareSurface::ReadOnlyOver(kWidth, kHeight, rig.dest.Pixels());
    const uint32_t door = GetTransID(2);
    EXPECT_FALSE(RenderFrameAt({0x4B4E554A, {}, 1, 0, kDuration, 500}, rig.oldFrame, rig.newFrame, rig.dest));
    EXPECT_FALSE(RenderFrameAt({door, {1, 0, 0}, 1, 0, kDuration, 500}, rig.oldFrame, rig.newFrame, rig.dest));
    EXPECT_FALSE(RenderFrameAt({door, {}, 1, 0, kDuration, 500}, rig.oldFrame, small, rig.dest));
    EXPECT_FALSE(RenderFrameAt({door, {}, 1, 0, kDuration, 500}, rig.oldFrame, rig.newFrame, readOnly));
    EXPECT_EQ(FirstBadPixel(rig.dest, [](int32_t x, int32_t y) { return Tagged(kDestTag, x, y); }), "");
}

} // namespace
} // namespace wqtrans::test
