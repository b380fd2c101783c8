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

std::string NameOf(uint32_t id) { return std::string(reinterpret_cast<const char*>(&id), 4); }

SoftwareSurface Rendered(const FrameRequest& request) {
    PixelRig rig(kWidth, kHeight, kDestTag);
    EXPECT_TRUE(RenderFrameAt(request, rig.oldFrame, rig.newFrame, rig.dest));
    return rig.dest;
}

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

// A request that its host gives up on stops between the steps of its replay: Stretch 2 at
// 900 ms of a run at 25 frames a second asks before each of its 23 earlier steps.
TEST(FrameRendererCancel, AskedBetweenStepsAndStopsWhenTold) {
    const uint32_t stretch2 = MakeId('S', 'E', '0', '9');
    for (const int stopAt : {0, 1, 5}) {
        int asked = 0;
        FrameRequest request{stretch2, {}, 1, 0, kDuration, 900};
        request.cancelled = [&] { return ++asked == stopAt; };
        PixelRig rig(kWidth, kHeight, kDestTag);
        EXPECT_EQ(RenderFrameAt(request, rig.oldFrame, rig.newFrame, rig.dest), stopAt == 0) << stopAt;
        EXPECT_EQ(asked, stopAt == 0 ? 23 : stopAt);
        if (stopAt == 0) {
            request.cancelled = nullptr;
            SoftwareSurface expected = Rendered(request);
            EXPECT_EQ(FirstBadPixel(rig.dest, [&](int32_t x, int32_t y) { return expected.Pixel(x, y); }), "");
        }
    }
}

} // namespace
} // namespace wqtrans::test
