// The reference surface: clipping, pixel arithmetic, key colour, stretches and the
// work-surface calls. Expected pictures come from per-pixel loops written here, one
// destination pixel at a time, with no clipping logic of their own.
#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/SoftwareSurface.h"
#include "support/Frames.h"
#include "support/RecordingSurface.h"

namespace wqtrans {
namespace {

using test::FirstBadPixel;
using test::kDestTag;
using test::kOldTag;
using test::TagFrame;
using test::Tagged;

constexpr int32_t kMin = INT32_MIN;
constexpr int32_t kMax = INT32_MAX;

// A 7 x 5 tagged source and a 6 x 4 tagged destination: every pixel says where it came from.
struct Pair {
    SoftwareSurface src{7, 5};
    SoftwareSurface dst{6, 4};
    Pair() {
        TagFrame(src, kOldTag);
        TagFrame(dst, kDestTag);
    }
};

// What a copy of the w x h block at (xs, ys) to (xd, yd) leaves at destination pixel (x, y).
uint32_t CopiedPixel(int32_t x, int32_t y, int64_t xd, int64_t yd, int64_t xs, int64_t ys, int64_t w, int64_t h) {
    const int64_t i = x - xd, j = y - yd;
    if (i < 0 || j < 0 || i >= w || j >= h) {
        return Tagged(kDestTag, x, y);
    }
    const int64_t sx = xs + i, sy = ys + j;
    if (sx < 0 || sy < 0 || sx >= 7 || sy >= 5) {
        return Tagged(kDestTag, x, y);
    }
    return Tagged(kOldTag, static_cast<int32_t>(sx), static_cast<int32_t>(sy));
}

struct CopyCase {
    const char* name;
    int32_t xd, yd, xs, ys, w, h;
};

const CopyCase kCopyCases[] = {
    {"inside", 1, 1, 2, 1, 3, 2},
    {"whole source, cut by the destination", 0, 0, 0, 0, 7, 5},
    {"negative destination position", -2, -1, 0, 0, 4, 3},
    {"negative source position", 0, 0, -3, -2, 5, 4},
    {"past both far edges", 4, 2, 5, 3, 10, 10},
    {"destination at INT32_MIN", kMin, 0, 0, 0, 5, 5},
    {"source at INT32_MIN with INT32_MAX size", 0, 0, kMin, kMin, kMax, kMax},
    {"both at INT32_MIN with INT32_MAX size", kMin, 0, kMin, 0, kMax, 3},
    {"INT32_MAX size from a negative position", -3, -3, 0, 0, kMax, kMax},
    {"INT32_MAX size at the origin", 0, 0, 0, 0, kMax, kMax},
    {"destination at INT32_MAX", kMax, kMax, 0, 0, kMax, kMax},
    {"source at INT32_MAX", 0, 0, kMax, kMax, 5, 5},
    {"just past the right edge", 6, 0, 0, 0, 3, 3},
    {"just past the bottom edge", 0, 4, 0, 0, 3, 3},
    {"ends just before the left edge", -3, 0, 0, 0, 3, 3},
    {"zero width", 1, 1, 1, 1, 0, 3},
    {"zero height", 1, 1, 1, 1, 3, 0},
    {"negative width", 3, 1, 3, 1, -2, 2},
    {"negative height", 1, 3, 1, 3, 2, -2},
    {"INT32_MIN size", 0, 0, 0, 0, kMin, kMin},
    {"1 x 1 top-left", 0, 0, 0, 0, 1, 1},
    {"1 x 1 top-right", 5, 0, 6, 0, 1, 1},
    {"1 x 1 bottom-left", 0, 3, 0, 4, 1, 1},
    {"1 x 1 bottom-right", 5, 3, 6, 4, 1, 1},
    {"1 x 1 left of the destination", -1, 0, 0, 0, 1, 1},
    {"1 x 1 right of the destination", 6, 0, 0, 0, 1, 1},
    {"1 x 1 below the destination", 0, 4, 0, 0, 1, 1},
    {"1 x 1 from left of the source", 0, 0, -1, 0, 1, 1},
    {"1 x 1 from right of the source", 0, 0, 7, 4, 1, 1},
    {"1 x 1 from below the source", 0, 0, 0, 5, 1, 1},
    {"1 x 1 at INT32_MIN", kMin, kMin, kMin, kMin, 1, 1},
    {"1 x 1 at INT32_MAX", kMax, 0, 0, kMax, 1, 1},
};

TEST(SoftwareSurfaceClipping, CopyRectChangesExactlyTheOverlap) {
    for (const CopyCase& c : kCopyCases) {
        SCOPED_TRACE(c.name);
        Pair p;
        EXPECT_EQ(p.src.CopyRect(&p.dst, c.xd, c.yd, c.xs, c.ys, c.w, c.h, 0, 0, 0, 2), 1);
        EXPECT_EQ(FirstBadPixel(
                      p.dst, [&](int32_t x, int32_t y) { return CopiedPixel(x, y, c.xd, c.yd, c.xs, c.ys, c.w, c.h); }),
                  "");
    }
}

TEST(SoftwareSurfaceClipping, DrawAtPlacesTheWholeSourceAnywhere) {
    const int32_t positions[][2] = {{0, 0},    {-3, -2}, {4, 3}, {kMin, kMin}, {kMax, 0},
                                    {0, kMax}, {-7, 0},  {6, 0}, {0, -5},      {-6, -4}};
    for (const auto& pos : positions) {
        SCOPED_TRACE(std::to_string(pos[0]) + ", " + std::to_string(pos[1]));
        Pair p;
        EXPECT_EQ(p.src.DrawAt(&p.dst, pos[0], pos[1], 0, 0, 0, 0), 1);
        EXPECT_EQ(
            FirstBadPixel(p.dst, [&](int32_t x, int32_t y) { return CopiedPixel(x, y, pos[0], pos[1], 0, 0, 7, 5); }),
            "");
    }
}

// What a stretch of the ws x hs rectangle at (xs, ys) into the wd x hd rectangle at
// (xd, yd) leaves at (x, y): source (xs + floor((i + 1/2) ws / wd), ...), exact in 64
// bits since i < wd < 2^31.
uint32_t StretchedPixel(int32_t x, int32_t y, int64_t xd, int64_t yd, int64_t wd, int64_t hd, int64_t xs, int64_t ys,
                        int64_t ws, int64_t hs) {
    const uint32_t keep = Tagged(kDestTag, x, y);
    const int64_t i = x - xd, j = y - yd;
    if (wd <= 0 || hd <= 0 || ws <= 0 || hs <= 0 || i < 0 || j < 0 || i >= wd || j >= hd) {
        return keep;
    }
    const int64_t sx = xs + (2 * i + 1) * ws / (2 * wd);
    const int64_t sy = ys + (2 * j + 1) * hs / (2 * hd);
    if (sx < 0 || sy < 0 || sx >= 7 || sy >= 5) {
        return keep;
    }
    return Tagged(kOldTag, static_cast<int32_t>(sx), static_cast<int32_t>(sy));
}

struct StretchCase {
    const char* name;
    int32_t xd, yd, wd, hd, xs, ys, ws, hs;
};

const StretchCase kStretchCases[] = {
    {"same size", 0, 0, 6, 4, 1, 1, 6, 4},
    {"2x up", 0, 0, 6, 4, 2, 1, 3, 2},
    {"2x down", 0, 0, 3, 2, 0, 0, 6, 4},
    {"uneven, 7 x 5 into 4 x 3", 1, 1, 4, 3, 0, 0, 7, 5},
    {"negative destination position", -3, -2, 8, 6, 0, 0, 7, 5},
    {"source rectangle past every edge", 0, 0, 6, 4, -2, -2, 11, 9},
    {"source one pixel past the far edges", 0, 0, 6, 4, 2, 2, 6, 4},
    {"destination rectangle past the far edges", 3, 2, 12, 8, 0, 0, 7, 5},
    {"1 x 1 from the whole source", 2, 2, 1, 1, 0, 0, 7, 5},
    {"1 x 1 source into the whole destination", 0, 0, 6, 4, 3, 2, 1, 1},
    {"INT32_MAX destination size", 0, 0, kMax, kMax, 0, 0, 7, 5},
    {"INT32_MAX source size", 0, 0, 6, 4, 0, 0, kMax, kMax},
    {"INT32_MAX everywhere", -5, -5, kMax, kMax, kMin, kMin, kMax, kMax},
    {"destination at INT32_MIN", kMin, kMin, kMax, kMax, 0, 0, 7, 5},
    {"destination at INT32_MAX", kMax, kMax, 2, 2, 0, 0, 7, 5},
    {"mirrored destination width", 5, 0, -6, 4, 0, 0, 7, 5},
    {"mirrored destination height", 0, 3, 6, -4, 0, 0, 7, 5},
    {"mirrored source width", 0, 0, 6, 4, 6, 0, -7, 5},
    {"mirrored source height", 0, 0, 6, 4, 0, 4, 7, -5},
    {"zero destination size", 0, 0, 0, 4, 0, 0, 7, 5},
    {"zero source size", 0, 0, 6, 4, 0, 0, 7, 0},
    {"INT32_MIN sizes", 0, 0, kMin, kMin, 0, 0, kMin, kMin},
};

TEST(SoftwareSurfaceClipping, StretchRectChangesExactlyTheMappedPixels) {
    for (const StretchCase& c : kStretchCases) {
        SCOPED_TRACE(c.name);
        Pair p;
        EXPECT_EQ(p.src.StretchRect(&p.dst, c.xd, c.yd, c.wd, c.hd, c.xs, c.ys, c.ws, c.hs, 0, 0, 0, 4), 1);
        EXPECT_EQ(FirstBadPixel(p.dst,
                                [&](int32_t x, int32_t y) {
                                    return StretchedPixel(x, y, c.xd, c.yd, c.wd, c.hd, c.xs, c.ys, c.ws, c.hs);
                                }),
                  "");
    }
}

// Drawn in parts through StretchRectWithin (four quadrants, a split point off the
// middle, and a clip past every edge), each stretch leaves what the whole call leaves.
TEST(SoftwareSurfaceClipping, StretchRectWithinPartsMakeTheWholeStretch) {
    for (const StretchCase& c : kStretchCases) {
        SCOPED_TRACE(c.name);
        Pair p;
        const SurfaceRect parts[] = {{kMin, kMin, 2, 3}, {2, kMin, kMax, 3}, {kMin, 3, 2, kMax}, {2, 3, kMax, kMax}};
        for (const SurfaceRect& part : parts) {
            EXPECT_EQ(StretchRectWithin(p.src, &p.dst, part, c.xd, c.yd, c.wd, c.hd, c.xs, c.ys, c.ws, c.hs, 0, 0, 0),
                      1);
        }
        EXPECT_EQ(FirstBadPixel(p.dst,
                                [&](int32_t x, int32_t y) {
                                    return StretchedPixel(x, y, c.xd, c.yd, c.wd, c.hd, c.xs, c.ys, c.ws, c.hs);
                                }),
                  "");
    }
}

TEST(SoftwareSurfaceStretch, WorkedExamples) {
    SoftwareSurface src(2, 2);
    src.SetPixel(0, 0, 0xA);
    src.SetPixel(1, 0, 0xB);
    src.SetPixel(0, 1, 0xC);
    src.SetPixel(1, 1, 0xD);
    SoftwareSurface up(4, 4, 0);
    src.StretchAll(&up, 0, 0, 4, 4, 0, 0, 0, 4);
    const uint32_t doubled[4][4] = {
        {0xA, 0xA, 0xB, 0xB}, {0xA, 0xA, 0xB, 0xB}, {0xC, 0xC, 0xD, 0xD}, {0xC, 0xC, 0xD, 0xD}};
    EXPECT_EQ(FirstBadPixel(up, [&](int32_t x, int32_t y) { return doubled[y][x]; }), "");

    // Halving takes the second pixel of each pair: floor((i + 1/2) * 2) = 2i + 1.
    SoftwareSurface wide(4, 2);
    for (int32_t x = 0; x < 4; ++x) {
        wide.SetPixel(x, 0, 0x10 + x);
        wide.SetPixel(x, 1, 0x20 + x);
    }
    SoftwareSurface half(2, 1, 0);
    wide.StretchAll(&half, 0, 0, 2, 1, 0, 0, 0, 4);
    EXPECT_EQ(half.Pixel(0, 0), 0x21u);
    EXPECT_EQ(half.Pixel(1, 0), 0x23u);
}

TEST(SoftwareSurfaceClipping, ForeignOrMissingDestinationDrawsNothing) {
    SoftwareSurface src(4, 4, 0xFF123456);
    test::CallLog log;
    test::RecordingSurface foreign("dest", log, 4, 4);
    EXPECT_EQ(src.CopyAll(&foreign), 0);
    EXPECT_EQ(src.CopyRect(&foreign, 0, 0, 0, 0, 4, 4, 0, 0, 0, 2), 0);
    EXPECT_EQ(src.DrawAt(nullptr, 0, 0, 0, 1, 64, 0), 0);
    EXPECT_EQ(src.StretchAll(&foreign, 0, 0, 4, 4, 0, 0, 0, 4), 0);
    EXPECT_EQ(src.StretchRect(nullptr, 0, 0, 4, 4, 0, 0, 4, 4, 0, 0, 0, 4), 0);
    EXPECT_TRUE(log.lines.empty());
}

// Copies within one surface read the source as it was before the call, for every
// direction of overlap and for the copy, key and blend paths alike.
TEST(SoftwareSurfaceClipping, OverlappingCopiesWithinOneSurface) {
    const int32_t shifts[][2] = {{1, 1}, {-1, -1}, {2, 0}, {-2, 0}, {0, 1}, {0, -1}, {1, -1}, {-1, 1}};
    struct Op {
        int32_t mode, op;
        HostParam param;
    };
    const Op ops[] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 40}, {1, 1, 0}, {0, 0x1000, 0x80FFFFFF}};
    for (const auto& shift : shifts) {
        for (const auto& op : ops) {
            SCOPED_TRACE("shift " + std::to_string(shift[0]) + ", " + std::to_string(shift[1]) + " mode " +
                         std::to_string(op.mode) + " op " + std::to_string(op.op));
            SoftwareSurface s(6, 5);
            for (int32_t y = 0; y < 5; ++y) {
                for (int32_t x = 0; x < 6; ++x) {
                    s.SetPixel(x, y, 0xFF000000u | static_cast<uint32_t>(x * 40) << 16 | static_cast<uint32_t>(y * 50));
                }
            }
            s.SetKeyColour(0x00500064); // pixel (2, 2)
            SoftwareSurface before = s;
            SoftwareSurface expected = s;
            // The same draw from an unrelated copy of the surface gives the expected picture.
            before.CopyRect(&expected, 1 + shift[0], 1 + shift[1], 1, 1, 4, 3, op.mode, op.op, op.param, 2);
            s.CopyRect(&s, 1 + shift[0], 1 + shift[1], 1, 1, 4, 3, op.mode, op.op, op.param, 2);
            EXPECT_EQ(FirstBadPixel(s, [&](int32_t x, int32_t y) { return expected.Pixel(x, y); }), "");
        }
    }
}

TEST(SoftwareSurfaceStretch, WithinOneSurfaceReadsTheOldPixels) {
    SoftwareSurface s(4, 1);
    for (int32_t x = 0; x < 4; ++x) {
        s.SetPixel(x, 0, 0x10 + x);
    }
    s.StretchRect(&s, 0, 0, 4, 1, 0, 0, 2, 1, 0, 0, 0, 4);
    const uint32_t want[] = {0x10, 0x10, 0x11, 0x11};
    EXPECT_EQ(FirstBadPixel(s, [&](int32_t x, int32_t) { return want[x]; }), "");
}

// Each op's arithmetic on flat colours, worked out by hand. Source R 255, G 128, B 0 with
// top byte 0x11; destination R 32, G 64, B 96 with top byte 0x22.
struct MockEffect final : HostEffect {
    uint32_t tint = 0;
    uint32_t ReadTint() override { return tint; }
    void WriteTint(uint32_t value) override { tint = value; }
};

struct OpCase {
    const char* name;
    int32_t op;
    uint32_t param;
    uint32_t want;
};

const OpCase kOpCases[] = {
    {"copy moves all 32 bits", 0, 0, 0x11FF8000},
    {"an op without a meaning copies", 7, 0, 0x11FF8000},
    {"blend 0: source colour, destination top byte", 1, 0, 0x22FF8000},
    {"blend 1", 1, 1, 0x22FD7F00},
    {"blend 64", 1, 64, 0x228F6030},
    {"blend 128: destination", 1, 128, 0x22204060},
    {"blend above 128 counts as 128", 1, 200, 0x22204060},
    {"alpha op with no effect is a copy", 0x1000, 0xFFFFFFFF, 0x11FF8000},
    {"other op bits with 0x1000 are alpha ops too", 0x1001, 0xFFFFFFFF, 0x11FF8000},
    {"alpha 255, blue coefficient 0", 0x1000, 0xFFFFFF00, 0x22FF8000},
    {"alpha 0: destination", 0x1000, 0x00FFFFFF, 0x22204060},
    {"alpha 128", 0x1000, 0x80FFFFFF, 0x228F602F},
    {"alpha 255, coefficients 128", 0x1000, 0xFF808080, 0x22804000},
    {"alpha 64 with mixed coefficients", 0x1000, 0x40FF0080, 0x22572F47},
};

TEST(SoftwareSurfaceOps, FlatColourArithmetic) {
    for (const OpCase& c : kOpCases) {
        SCOPED_TRACE(c.name);
        SoftwareSurface src(3, 2, 0x11FF8000);
        // Through a block copy, and through a 2x stretch of the same colours.
        SoftwareSurface viaCopy(3, 2, 0x22204060);
        SoftwareSurface viaStretch(6, 4, 0x22204060);
        EXPECT_EQ(src.DrawAt(&viaCopy, 0, 0, 0, c.op, c.param, 0), 1);
        EXPECT_EQ(src.StretchAll(&viaStretch, 0, 0, 6, 4, 0, c.op, c.param, 4), 1);
        EXPECT_EQ(FirstBadPixel(viaCopy, [&](int32_t, int32_t) { return c.want; }), "");
        EXPECT_EQ(FirstBadPixel(viaStretch, [&](int32_t, int32_t) { return c.want; }), "");
    }
}

// Wide rows of varied colours, so that the vector paths and their tails are all
// used, against the arithmetic written out per channel with plain integer division.
TEST(SoftwareSurfaceOps, WideRowsFollowTheFormulaOnEveryChannelValue) {
    constexpr int32_t kWidth = 263; // not a multiple of any vector width
    SoftwareSurface src(kWidth, 2);
    SoftwareSurface base(kWidth, 2);
    for (int32_t y = 0; y < 2; ++y) {
        for (int32_t x = 0; x < kWidth; ++x) {
            const uint32_t v = static_cast<uint32_t>(x + 97 * y);
            src.SetPixel(x, y, (v * 7 % 256) << 24 | (v % 256) << 16 | (255 - v % 256) << 8 | (v * 13 % 256));
            base.SetPixel(x, y, (v * 3 % 256) << 24 | (v * 5 % 256) << 16 | (v * 11 % 256) << 8 | (255 - v % 256));
        }
    }
    // In mode 1, key-coloured pixels in both chunks of a long row keep the destination.
    src.SetPixel(260, 1, 0x00000000u | (src.Pixel(5, 0) & 0xFFFFFFu));
    src.SetKeyColour(0xAA000000u | (src.Pixel(5, 0) & 0xFFFFFFu));
    auto keyed = [&](int32_t mode, int32_t x, int32_t y) {
        return mode == 1 && (src.Pixel(x, y) & 0xFFFFFFu) == (src.KeyColour() & 0xFFFFFFu);
    };
    auto channel = [](uint32_t pixel, int shift) { return (pixel >> shift) & 0xFF; };
    for (int32_t mode : {0, 1}) {
        for (uint32_t p : {0u, 1u, 63u, 64u, 100u, 127u}) {
            SCOPED_TRACE("mode " + std::to_string(mode) + " blend " + std::to_string(p));
            SoftwareSurface dst = base;
            src.DrawAt(&dst, 0, 0, mode, 1, p, 0);
            EXPECT_EQ(FirstBadPixel(dst,
                                    [&](int32_t x, int32_t y) {
                                        const uint32_t s = src.Pixel(x, y), d = base.Pixel(x, y);
                                        if (keyed(mode, x, y)) {
                                            return d;
                                        }
                                        uint32_t want = d & 0xFF000000u;
                                        for (int shift : {0, 8, 16}) {
                                            want |= (channel(s, shift) * (128 - p) + channel(d, shift) * p) / 128
                                                    << shift;
                                        }
                                        return want;
                                    }),
                      "");
        }
    }
    for (int32_t mode : {0, 1}) {
        for (uint32_t tint :
             {0x01FFFFFFu, 0x80FFFFFFu, 0xFF808080u, 0x40FF0080u, 0xFE123456u, 0xFFFFFFFEu, 0x7F000000u}) {
            SCOPED_TRACE("mode " + std::to_string(mode) + " tint " + std::to_string(tint));
            SoftwareSurface dst = base;
            src.DrawAt(&dst, 0, 0, mode, 0x1000, tint, 0);
            const uint32_t a = tint >> 24;
            EXPECT_EQ(FirstBadPixel(dst,
                                    [&](int32_t x, int32_t y) {
                                        const uint32_t s = src.Pixel(x, y), d = base.Pixel(x, y);
                                        if (keyed(mode, x, y)) {
                                            return d;
                                        }
                                        uint32_t want = d & 0xFF000000u;
                                        for (int shift : {0, 8, 16}) {
                                            const uint32_t tinted = channel(s, shift) * channel(tint, shift) / 255;
                                            want |= (tinted * a + channel(d, shift) * (255 - a)) / 255 << shift;
                                        }
                                        return want;
                                    }),
                      "");
        }
    }
}

TEST(SoftwareSurfaceOps, EffectTint) {
    SoftwareSurface src(2, 2, 0x11FF8000);
    SoftwareSurface dst(2, 2, 0x22204060);
    MockEffect effect;
    effect.tint = 0x80FFFFFF;
    src.DrawAt(&dst, 0, 0, 0, 13, reinterpret_cast<HostParam>(&effect), 0);
    EXPECT_EQ(dst.Pixel(1, 1), 0x228F602Fu);
    effect.tint = 0xFFFFFFFF;
    src.DrawAt(&dst, 0, 0, 0, 13, reinterpret_cast<HostParam>(&effect), 0);
    EXPECT_EQ(dst.Pixel(1, 1), 0x11FF8000u);
    dst.Fill(0x22204060);
    src.DrawAt(&dst, 0, 0, 0, 13, 0, 0); // no effect: a plain copy
    EXPECT_EQ(dst.Pixel(0, 0), 0x11FF8000u);
}

// mode 1 skips source pixels whose low 24 bits are the source's key colour, whatever
// their top byte and whatever the destination's key colour.
TEST(SoftwareSurfaceOps, KeyColourSkipsMatchingPixelsInEveryOp) {
    const OpCase ops[] = {
        {"copy", 0, 0, 0x1100FF01},
        {"blend 0", 1, 0, 0x3300FF01},
        {"alpha 255", 0x1000, 0xFFFFFFFF, 0x1100FF01},
        {"alpha 255 with a coefficient", 0x1000, 0xFFFFFFFE, 0x3300FF00},
    };
    for (const OpCase& c : ops) {
        SCOPED_TRACE(c.name);
        SoftwareSurface src(2, 1);
        src.SetPixel(0, 0, 0x5500FF00); // key colour under another top byte
        src.SetPixel(1, 0, 0x1100FF01); // one off the key colour
        src.SetKeyColour(0xAA00FF00);
        SoftwareSurface dst(2, 1, 0x33445566);
        dst.SetKeyColour(0x00445566);
        SoftwareSurface stretched(4, 2, 0x33445566);
        src.DrawAt(&dst, 0, 0, 1, c.op, c.param, 0);
        src.StretchAll(&stretched, 0, 0, 4, 2, 1, c.op, c.param, 4);
        EXPECT_EQ(dst.Pixel(0, 0), 0x33445566u);
        EXPECT_EQ(dst.Pixel(1, 0), c.want);
        EXPECT_EQ(FirstBadPixel(stretched, [&](int32_t x, int32_t) { return x < 2 ? 0x33445566u : c.want; }), "");
    }
    // Without mode 1 the key colour is drawn like any other.
    SoftwareSurface src(1, 1, 0x5500FF00);
    src.SetKeyColour(0x0000FF00);
    SoftwareSurface dst(1, 1, 0);
    src.CopyAll(&dst);
    EXPECT_EQ(dst.Pixel(0, 0), 0x5500FF00u);
}

TEST(SoftwareSurfaceWork, NewSurfaceAllocateAndModel) {
    SoftwareSurface model(3, 2, 0xFF000000);
    HostSurface* made = model.NewSurface();
    ASSERT_NE(made, nullptr);
    auto* work = static_cast<SoftwareSurface*>(made);
    EXPECT_EQ(work->Width(), 0);
    EXPECT_EQ(work->Height(), 0);

    HostPrototype prototype{};
    EXPECT_EQ(work->PrototypeFor(&prototype, 8, 5, 3), 1);
    EXPECT_EQ(work->PrototypeFor(nullptr, 8, 5, 3), 0);
    EXPECT_EQ(work->Allocate(4, 3, &prototype), 1);
    EXPECT_EQ(work->Width(), 4);
    EXPECT_EQ(work->Height(), 3);
    EXPECT_EQ(work->Depth(), 8);
    EXPECT_EQ(work->Driver(), 3);
    EXPECT_EQ(FirstBadPixel(*work, [](int32_t, int32_t) { return 0u; }), "");

    // Refused sizes leave the surface as it was, and nothing throws.
    work->SetPixel(1, 1, 0x1234);
    const int32_t refused[][2] = {{-1, 3}, {3, -1}, {kMin, kMin}, {kMax, kMax}, {kMax, 2}};
    for (const auto& size : refused) {
        EXPECT_EQ(work->Allocate(size[0], size[1], &prototype), 0) << size[0] << " x " << size[1];
    }
    EXPECT_EQ(work->Width(), 4);
    EXPECT_EQ(work->Pixel(1, 1), 0x1234u);

    EXPECT_EQ(work->SetKeyColour(0x00FF00FF), 1);
    EXPECT_EQ(work->KeyColour(), 0x00FF00FFu);

    HostPalette palette{};
    for (uint32_t i = 0; i < 256; ++i) {
        palette.entries[i] = i * 0x010101u;
    }
    EXPECT_EQ(work->AssignPalette(&palette), 1);
    palette.entries[7] = 0; // the surface keeps its own copy
    ASSERT_NE(work->PaletteOf(0), nullptr);
    EXPECT_EQ(work->PaletteOf(0)->entries[7], 0x070707u);
    EXPECT_EQ(work->PaletteOf(0)->entries[255], 0xFFFFFFu);
    EXPECT_EQ(work->AssignPalette(nullptr), 0);

    EXPECT_EQ(work->BeginDraw(0, 0), 1);
    EXPECT_EQ(work->BeginDraw(0, 0), 1);
    EXPECT_EQ(work->OpenDraws(), 2);
    EXPECT_EQ(work->EndDraw(), 1);
    EXPECT_EQ(work->EndDraw(), 1);
    EXPECT_EQ(work->OpenDraws(), 0);
    EXPECT_EQ(work->EndDraw(), 0); // an unmatched EndDraw is reported, not counted
    EXPECT_EQ(work->OpenDraws(), 0);

    EXPECT_EQ(work->IsReady(), 1);
    work->SetReady(false);
    EXPECT_EQ(work->IsReady(), 0);
    made->Destroy();
}

TEST(SoftwareSurfaceWork, ModelWithoutAPaletteHasNone) {
    SoftwareSurface plain(1, 1);
    EXPECT_EQ(plain.Depth(), 32);
    EXPECT_EQ(plain.PaletteOf(0), nullptr);
    HostPalette palette{};
    palette.entries[1] = 0xABCDEF;
    plain.SetModel(8, 2, &palette);
    EXPECT_EQ(plain.Depth(), 8);
    EXPECT_EQ(plain.Driver(), 2);
    ASSERT_NE(plain.PaletteOf(0), nullptr);
    EXPECT_EQ(plain.PaletteOf(0)->entries[1], 0xABCDEFu);
}

} // namespace
} // namespace wqtrans
