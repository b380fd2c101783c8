// A recorded list of drawings draws what drawing each call in turn draws, whatever the
// calls: opaque and blended, keyed, overlapping, past the edges, stretched up and down.
#include <gtest/gtest.h>

#include <random>

#include "host/DrawList.h"
#include "support/Frames.h"
#include "support/Runs.h"

namespace wqtrans::test {
namespace {

constexpr int32_t kWidth = 23;
constexpr int32_t kHeight = 17;

// One random drawing call from `source` onto `dest`.
void RandomCall(std::mt19937& rng, HostSurface* source, HostSurface* dest) {
    auto coordinate = [&](int32_t size) { return static_cast<int32_t>(rng() % (size + 12)) - 6; };
    auto extent = [&](int32_t size) { return static_cast<int32_t>(rng() % (size + 4)) - 1; };
    // Mostly opaque copies, as the transitions draw; sometimes keyed or blended.
    const int32_t kind = static_cast<int32_t>(rng() % 10);
    const int32_t mode = kind == 7 ? 1 : 0;
    const int32_t op = kind == 8 ? 1 : 0;
    const HostParam param = kind == 8 ? rng() % 129 : 0;
    switch (rng() % 5) {
    case 0:
        source->CopyAll(dest);
        break;
    case 1:
        source->DrawAt(dest, coordinate(kWidth), coordinate(kHeight), mode, op, param, 0);
        break;
    case 2:
        source->StretchAll(dest, coordinate(kWidth), coordinate(kHeight), extent(kWidth), extent(kHeight), mode, op,
                           param, 4);
        break;
    case 3:
        source->StretchRect(dest, coordinate(kWidth), coordinate(kHeight), extent(kWidth), extent(kHeight),
                            coordinate(kWidth), coordinate(kHeight), extent(kWidth), extent(kHeight), mode, op, param,
                            4);
        break;
    default:
        source->CopyRect(dest, coordinate(kWidth), coordinate(kHeight), coordinate(kWidth), coordinate(kHeight),
                         extent(kWidth), extent(kHeight), mode, op, param, 2);
        break;
    }
}

TEST(DrawList, DrawsWhatTheCallsDrawInTurn) {
    PixelRig rig(kWidth, kHeight);
    rig.oldFrame.SetKeyColour(Tagged(kOldTag, 3, 3));
    rig.newFrame.SetKeyColour(Tagged(kNewTag, 5, 2));
    for (uint32_t seed = 0; seed < 400; ++seed) {
        const size_t count = 1 + seed % 40;
        SoftwareSurface out(kWidth, kHeight, 0);
        DrawList list(rig.oldFrame, rig.newFrame, out);
        std::mt19937 recorded(seed);
        for (size_t i = 0; i < count; ++i) {
            RandomCall(recorded, recorded() % 2 ? list.New() : list.Old(), list.Dest());
        }
        ASSERT_TRUE(list.Complete());
        list.Draw();
        SoftwareSurface expected = rig.oldFrame;
        std::mt19937 drawn(seed);
        for (size_t i = 0; i < count; ++i) {
            RandomCall(drawn, drawn() % 2 ? &rig.newFrame : &rig.oldFrame, &expected);
        }
        ASSERT_EQ(FirstBadPixel(out, [&](int32_t x, int32_t y) { return expected.Pixel(x, y); }), "")
            << "seed " << seed;
    }
}

// Enough calls that the list drops hidden ones on the way still draws the same.
TEST(DrawList, ALongListDrawsTheSame) {
    PixelRig rig(kWidth, kHeight);
    SoftwareSurface out(kWidth, kHeight, 0);
    DrawList list(rig.oldFrame, rig.newFrame, out);
    SoftwareSurface expected = rig.oldFrame;
    std::mt19937 recorded(7);
    std::mt19937 drawn(7);
    for (int i = 0; i < 20000; ++i) {
        RandomCall(recorded, recorded() % 2 ? list.New() : list.Old(), list.Dest());
        RandomCall(drawn, drawn() % 2 ? &rig.newFrame : &rig.oldFrame, &expected);
    }
    EXPECT_LT(list.Calls(), 20000u);
    list.Draw();
    EXPECT_EQ(FirstBadPixel(out, [&](int32_t x, int32_t y) { return expected.Pixel(x, y); }), "");
}

// What a list cannot stand for leaves it incomplete, so that the caller draws for real.
TEST(DrawList, OtherSurfacesAndReadingTheDestinationAreNotRecorded) {
    PixelRig rig(kWidth, kHeight);
    SoftwareSurface out(kWidth, kHeight);
    SoftwareSurface other(kWidth, kHeight);
    const struct {
        const char* what;
        void (*call)(DrawList&, SoftwareSurface&);
    } cases[] = {
        {"a drawing onto another surface", [](DrawList& l, SoftwareSurface& o) { l.New()->CopyAll(&o); }},
        {"the destination read as a source", [](DrawList& l, SoftwareSurface&) { l.Dest()->CopyAll(l.Dest()); }},
        {"a new surface", [](DrawList& l, SoftwareSurface&) { l.Old()->NewSurface(); }},
        {"a key colour changed", [](DrawList& l, SoftwareSurface&) { l.Old()->SetKeyColour(1); }},
    };
    for (const auto& c : cases) {
        DrawList list(rig.oldFrame, rig.newFrame, out);
        list.New()->CopyAll(list.Dest());
        c.call(list, other);
        EXPECT_FALSE(list.Complete()) << c.what;
    }
}

} // namespace
} // namespace wqtrans::test
