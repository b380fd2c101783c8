// The frame at any moment equals a run stepped frame by frame on the request's timeline,
// for random blocks (stored values outside the panels' ranges too), seeds, flags, odd and
// tiny sizes and frame rates, durations on the frame grid and off it. This keeps the
// list of transitions that must be replayed true: one that depends on its earlier steps
// and is not replayed fails here. With the module's last step, the frame at the end and
// at any moment after it is the run's last frame.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "host/FrameRenderer.h"
#include "module/Exports.h"
#include "module/TransitionAdapter.h"
#include "support/Frames.h"
#include "support/Runs.h"

namespace wqtrans::test {
namespace {

std::string NameOf(uint32_t id) { return std::string(reinterpret_cast<const char*>(&id), 4); }

struct Timeline {
    uint32_t durationMs;
    uint32_t rateNum;
    uint32_t rateDen;
};

// The last five end between two frames of their rate: 1010 ms at 30 frames a second has
// a frame at 1000 and ends 10 ms later.
constexpr Timeline kTimelines[] = {{1000, 25, 1}, {1000, 30, 1}, {700, 60, 1}, {1001, 30000, 1001}, {250, 24, 1},
                                   {1010, 30, 1}, {999, 24, 1},  {517, 60, 1}, {1000, 30000, 1001}, {30, 25, 1}};

struct Size {
    int32_t width;
    int32_t height;
};

constexpr Size kSizes[] = {{1, 1}, {2, 3}, {7, 5}, {4, 7}, {2, 2}, {101, 77}, {64, 48}};

// A field's value: mostly the small numbers the panels offer, sometimes the ends of the
// field's range and anything in between.
uint32_t FieldValue(std::mt19937& rng, uint32_t bits) {
    const uint32_t mask = bits == 32 ? 0xFFFFFFFFu : (1u << bits) - 1;
    switch (rng() % 8) {
    case 0:
        return mask;
    case 1:
        return (mask >> 1) + static_cast<uint32_t>(rng() % 2);
    case 2:
        return static_cast<uint32_t>(rng()) & mask;
    case 3:
        return static_cast<uint32_t>(rng() % 300);
    case 4:
    case 5:
    case 6:
        return static_cast<uint32_t>(rng() % 4);
    default:
        return static_cast<uint32_t>(rng() % 12);
    }
}

// The widths of a block's fields in bits: 16-bit fields in two transitions' blocks and
// the two-byte block, 32 everywhere else.
std::vector<uint32_t> FieldBits(uint32_t id, int32_t size) {
    if (size == 2) {
        return {16};
    }
    if (NameOf(id) == "BAND") {
        return {16, 16};
    }
    std::vector<uint32_t> bits(static_cast<size_t>(size / 4), 32);
    if (NameOf(id) == "ZIGZ") {
        bits = {32, 16, 16};
    }
    return bits;
}

std::vector<uint8_t> RandomBlock(uint32_t id, std::mt19937& rng) {
    TransitionAdapter* adapter = CreateTransition(0, id, nullptr, 0);
    const int32_t size = adapter->table->GetParameters(adapter, nullptr);
    adapter->table->Delete(adapter);
    std::vector<uint8_t> block;
    for (uint32_t bits : FieldBits(id, size)) {
        const uint32_t value = FieldValue(rng, bits);
        for (uint32_t byte = 0; byte < bits / 8; ++byte) {
            block.push_back(static_cast<uint8_t>(value >> (8 * byte)));
        }
    }
    return block;
}

struct Case {
    uint32_t id;
    std::vector<uint8_t> block;
    uint32_t seed;
    int32_t flags;
    Size size;
    Timeline timeline;
};

std::string Describe(const Case& c) {
    std::string text = NameOf(c.id) + " block";
    for (uint8_t b : c.block) {
        // Appended apart: g++ 12 at -O2 takes " " + std::to_string(b) for an overlapping copy (-Wrestrict).
        text += ' ';
        text += std::to_string(b);
    }
    return text + " seed " + std::to_string(c.seed) + " flags " + std::to_string(c.flags) + " " +
           std::to_string(c.size.width) + "x" + std::to_string(c.size.height) + " " +
           std::to_string(c.timeline.durationMs) + " ms at " + std::to_string(c.timeline.rateNum) + "/" +
           std::to_string(c.timeline.rateDen) + " fps";
}

// Steps a fresh run at the timeline's frame times (those whose whole frame interval lies
// inside the run, then the duration) and keeps the pictures of the frames `wanted` says,
// then asks the renderer for each of them, and for the last one also for moments after
// the end.
void ExpectRunMatches(const Case& c, const std::function<bool(size_t)>& wanted) {
    PixelRig rig(c.size.width, c.size.height);
    const uint64_t num = c.timeline.rateNum, den = c.timeline.rateDen, d = c.timeline.durationMs;
    std::vector<uint32_t> times;
    for (uint64_t i = 0; (i + 1) * 1000 * den <= d * num; ++i) {
        times.push_back(static_cast<uint32_t>(i * 1000 * den / num));
    }
    times.push_back(c.timeline.durationMs);
    std::vector<std::pair<uint32_t, SoftwareSurface>> kept;
    {
        TestClock clock(0);
        TransitionAdapter* adapter = CreateTransition(0, c.id, c.block.data(), static_cast<uint32_t>(c.block.size()));
        ASSERT_NE(adapter, nullptr);
        crt::srand(c.seed);
        adapter->table->Begin(adapter, c.timeline.durationMs);
        for (size_t i = 0; i < times.size(); ++i) {
            clock.Set(times[i]);
            ChangedRect* changed = nullptr;
            adapter->table->Step(adapter, &rig.dest, &rig.oldFrame, &rig.newFrame, c.flags, &changed);
            if (wanted(i)) {
                kept.emplace_back(times[i], rig.dest);
            }
        }
        adapter->table->End(adapter);
        adapter->table->Delete(adapter);
    }
    std::vector<std::pair<uint32_t, const SoftwareSurface*>> moments;
    for (const auto& [t, picture] : kept) {
        moments.emplace_back(t, &picture);
    }
    if (!kept.empty() && kept.back().first == c.timeline.durationMs) {
        for (const uint32_t after : {1u, 999u, 0xFFFFFFFFu - c.timeline.durationMs}) {
            moments.emplace_back(c.timeline.durationMs + after, &kept.back().second);
        }
    }
    for (const auto& [t, expected] : moments) {
        FrameRequest request{c.id, c.block, c.seed, c.flags, c.timeline.durationMs, t, true};
        request.frameRateNum = c.timeline.rateNum;
        request.frameRateDen = c.timeline.rateDen;
        SoftwareSurface out(c.size.width, c.size.height);
        ASSERT_TRUE(RenderFrameAt(request, rig.oldFrame, rig.newFrame, out));
        const std::string bad = FirstBadPixel(
            out, [&](int32_t x, int32_t y) { return const_cast<SoftwareSurface*>(expected)->Pixel(x, y); });
        ASSERT_EQ(bad, "") << Describe(c) << " at " << t << " ms";
    }
}

class FrameRendererRunsTest : public ::testing::TestWithParam<int32_t> {};

TEST_P(FrameRendererRunsTest, EveryFrameOfARunOnItsTimeline) {
    const uint32_t id = GetTransID(GetParam());
    std::mt19937 rng(0x5EED0000u + static_cast<uint32_t>(GetParam()));
    for (int n = 0; n < 100; ++n) {
        Case c{id,
               RandomBlock(id, rng),
               static_cast<uint32_t>(rng() % 1000),
               0,
               kSizes[rng() % std::size(kSizes)],
               kTimelines[rng() % std::size(kTimelines)]};
        if (n % 3 == 2) {
            c.flags = static_cast<int32_t>(rng() % 16);
        }
        ExpectRunMatches(c, [](size_t) { return true; });
        if (HasFatalFailure()) {
            return;
        }
    }
}

// Cases found by hand before the random ones: Push's odd middle row and Turn 2's
// spiral, both of which depend on earlier steps; Zoom 2 zooming in, whose last step
// draws nothing and leaves the frame before it; Open ending between two frames.
TEST(FrameRendererRuns, StepDependentCases) {
    const Case cases[] = {
        {MakeId('S', 'E', '0', '6'), {2, 0, 0, 0}, 1, 0, {4, 7}, {1000, 25, 1}},
        {MakeId('S', 'E', '0', '6'), {3, 0, 0, 0}, 1, 0, {5, 9}, {1000, 30, 1}},
        {MakeId('S', 'E', '0', '2'), {5, 0, 0, 0, 1, 0, 0, 0}, 1, 0, {2, 2}, {1000, 25, 1}},
        {MakeId('S', 'E', '1', '1'), {1, 0, 0, 0}, 1, 0, {64, 48}, {1000, 30, 1}},
        {MakeId('S', 'E', '0', '5'), {}, 1, 0, {64, 48}, {1010, 30, 1}},
    };
    for (const Case& c : cases) {
        ExpectRunMatches(c, [](size_t) { return true; });
    }
}

// Ten minutes at 60 frames a second: the renderer's record of a long run drops what
// later steps hide as it goes, and the picture stays the run's.
TEST(FrameRendererRuns, LongRuns) {
    for (const char* code : {"SE09", "SE04", "SE05", "SE06"}) {
        const Case c{MakeId(code[0], code[1], code[2], code[3]), {}, 1, 0, {9, 7}, {600000, 60, 1}};
        ExpectRunMatches(c, [](size_t i) { return i == 4999 || i == 18000 || i == 35999 || i == 36000; });
    }
}

// A full-size odd frame, with the frames at a tenth, half, the last frame time before
// the end and the end.
TEST_P(FrameRendererRunsTest, LargeOddFrame) {
    const uint32_t id = GetTransID(GetParam());
    std::mt19937 rng(0xB16F0000u + static_cast<uint32_t>(GetParam()));
    const Case c{id, RandomBlock(id, rng), 1, 0, {1921, 1081}, {1000, 25, 1}};
    ExpectRunMatches(c, [](size_t i) { return i == 2 || i == 12 || i == 24 || i == 25; });
}

INSTANTIATE_TEST_SUITE_P(AllTransitions, FrameRendererRunsTest, ::testing::Range(0, 21),
                         [](const ::testing::TestParamInfo<int32_t>& info) { return NameOf(GetTransID(info.param)); });

} // namespace
} // namespace wqtrans::test
