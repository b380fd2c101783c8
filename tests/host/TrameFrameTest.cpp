// Trame's frame at any moment, drawn row by row, against runs stepped pixel by pixel:
// random patterns (unknown ones too), sizes (odd and tiny ones), durations and moments,
// each run stepped at random frame times before the moment.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "host/FrameRenderer.h"
#include "host/TrameFrame.h"
#include "module/Exports.h"
#include "module/TransitionAdapter.h"
#include "support/Frames.h"
#include "support/Runs.h"

namespace wqtrans::test {
namespace {

constexpr uint32_t kTrame = MakeId('S', 'E', '1', '3');

TEST(TrameFrame, SameAsSteppedRuns) {
    std::mt19937 rng(0x7EA3E000u);
    const int32_t patterns[] = {0, 1, 2, 2, 3, -1, 0x7FFFFFFF};
    for (int n = 0; n < 600; ++n) {
        const int32_t pattern = patterns[rng() % std::size(patterns)];
        const std::vector<uint8_t> block = {static_cast<uint8_t>(pattern), static_cast<uint8_t>(pattern >> 8),
                                            static_cast<uint8_t>(pattern >> 16), static_cast<uint8_t>(pattern >> 24)};
        const auto width = static_cast<int32_t>(1 + rng() % 41);
        const auto height = static_cast<int32_t>(1 + rng() % 41);
        const uint32_t d = n % 5 == 0 ? 1 + rng() % 10 : 1 + rng() % 3000;
        // Mostly inside the run, sometimes at its end or past it (the module's last step).
        const uint32_t t = n % 7 == 0 ? d + rng() % 2 : rng() % d;
        const std::string what = "pattern " + std::to_string(pattern) + " " + std::to_string(width) + "x" +
                                 std::to_string(height) + " at " + std::to_string(t) + " of " + std::to_string(d) +
                                 " ms";

        PixelRig rig(width, height);
        {
            TestClock clock(0);
            TransitionAdapter* adapter = CreateTransition(0, kTrame, block.data(), 4);
            ASSERT_NE(adapter, nullptr);
            adapter->table->Begin(adapter, d);
            for (uint32_t now = 0; now < t; now += 1 + rng() % (d / 3 + 1)) {
                clock.Set(now);
                ChangedRect* changed = nullptr;
                adapter->table->Step(adapter, &rig.dest, &rig.oldFrame, &rig.newFrame, 0, &changed);
            }
            clock.Set(t);
            ChangedRect* changed = nullptr;
            adapter->table->Step(adapter, &rig.dest, &rig.oldFrame, &rig.newFrame, 0, &changed);
            adapter->table->End(adapter);
            adapter->table->Delete(adapter);
        }
        auto expected = [&](int32_t x, int32_t y) { return rig.dest.Pixel(x, y); };

        SoftwareSurface drawn(width, height, 0);
        ASSERT_TRUE(DrawTrameAt(block, std::min(t, d), d, rig.oldFrame, rig.newFrame, drawn)) << what;
        ASSERT_EQ(FirstBadPixel(drawn, expected), "") << what;

        FrameRequest request{kTrame, block, 1, 0, d, t};
        request.moduleLastStep = true;
        SoftwareSurface out(width, height, 0);
        ASSERT_TRUE(RenderFrameAt(request, rig.oldFrame, rig.newFrame, out)) << what;
        ASSERT_EQ(FirstBadPixel(out, expected), "") << what;
    }
}

// A destination that is not ready is left to the stepped path, which draws nothing.
TEST(TrameFrame, NotReadyOrEmptyIsLeftToTheStep) {
    PixelRig rig(6, 4);
    SoftwareSurface out(6, 4, 0);
    out.SetReady(false);
    EXPECT_FALSE(DrawTrameAt({}, 500, 1000, rig.oldFrame, rig.newFrame, out));
    SoftwareSurface empty;
    EXPECT_FALSE(DrawTrameAt({}, 500, 1000, empty, empty, empty));
}

} // namespace
} // namespace wqtrans::test
