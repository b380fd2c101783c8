// The reference surface's fast paths against its plain ones: every case is drawn once
// with the plain per-pixel loops (pixels::UsePlainPaths) and once as the surface draws
// normally (unscaled stretches as block copies, vector gathers and blends where the
// processor has AVX2), and the two pictures must match pixel for pixel.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "host/PixelRows.h"
#include "host/SoftwareSurface.h"
#include "support/Frames.h"

namespace wqtrans {
namespace {

using test::FirstBadPixel;
using test::kDestTag;
using test::kOldTag;
using test::TagFrame;

struct StretchCase {
    const char* name;
    int32_t srcW, srcH, dstW, dstH; // surfaces
    int32_t xd, yd, wd, hd, xs, ys, ws, hs;
    bool sameSurface = false;
};

// Widths around the vector width of 8 and the 16-pixel span of two loads; scale
// factors of 1, just below 1, between 1/2 and 1, below 1/2 and above 1; rectangles
// inside, cut by every edge of either surface and reaching the source's last column.
const StretchCase kCases[] = {
    {"unscaled, inside", 53, 31, 61, 37, 3, 2, 40, 20, 5, 4, 40, 20},
    {"unscaled, cut on every side", 53, 31, 41, 29, -7, -3, 60, 40, -2, -1, 60, 40},
    {"unscaled within one surface, overlapping", 53, 31, 53, 31, 4, 3, 40, 20, 1, 1, 40, 20, true},
    {"unscaled rows, shrunk columns", 64, 20, 64, 20, 0, 0, 61, 20, 0, 0, 64, 20},
    {"0.99 of a whole frame", 200, 60, 200, 60, 0, 0, 198, 59, 0, 0, 200, 60},
    {"0.7 to the source's last column", 97, 33, 97, 33, 5, 2, 68, 23, 0, 0, 97, 33},
    {"0.52, clipped right", 101, 40, 60, 40, 10, 0, 53, 21, 0, 0, 101, 40},
    {"0.3, every eighth a wide span", 150, 50, 150, 50, 0, 0, 45, 15, 0, 0, 150, 50},
    {"2 x growth", 40, 20, 80, 40, 0, 0, 80, 40, 0, 0, 40, 20},
    {"1.5 x growth from the source's far corner", 45, 30, 90, 60, 1, 1, 63, 42, 3, 2, 42, 28},
    {"growth from before the source's left edge", 40, 20, 70, 30, 0, 0, 70, 30, -9, -4, 35, 15},
    {"growth past the destination's edges", 30, 20, 50, 40, -13, -5, 81, 62, 0, 0, 30, 20},
    {"width below the vector width", 7, 5, 9, 9, 1, 1, 7, 6, 0, 0, 5, 4},
    {"a thin strip shrunk to 1/25", 150, 60, 20, 60, 2, 1, 6, 50, 0, 0, 150, 60},
    {"a strip 13 wide shrunk to 1/9", 150, 60, 30, 60, 4, 1, 13, 50, 0, 0, 117, 60},
    {"a thin strip from above the source's top to past its bottom", 40, 30, 20, 60, 1, 0, 5, 60, 3, -6, 12, 45},
    {"growing stretch within one surface", 48, 24, 48, 24, 2, 2, 40, 20, 10, 5, 20, 10, true},
};

struct Op {
    const char* name;
    int32_t mode, op;
    HostParam param;
};

const Op kOps[] = {
    {"copy", 0, 0, 0},         {"keyed copy", 1, 0, 0},         {"blend", 0, 1, 37},
    {"keyed blend", 1, 1, 90}, {"tint", 0, 0x1000, 0x9060C0F0},
};

// One case drawn one way: a fresh tagged source and destination (the source itself
// when the case draws within one surface); returns the destination.
SoftwareSurface Draw(const StretchCase& c, const Op& op, bool plain) {
    pixels::UsePlainPaths(plain);
    SoftwareSurface src(c.srcW, c.srcH);
    SoftwareSurface dst(c.dstW, c.dstH);
    TagFrame(src, kOldTag);
    TagFrame(dst, kDestTag);
    src.SetKeyColour(src.Pixel(2, 1));
    SoftwareSurface& target = c.sameSurface ? src : dst;
    EXPECT_EQ(src.StretchRect(&target, c.xd, c.yd, c.wd, c.hd, c.xs, c.ys, c.ws, c.hs, op.mode, op.op, op.param, 4), 1);
    pixels::UsePlainPaths(false);
    return target;
}

TEST(SurfaceFastPaths, StretchesDrawWhatThePlainLoopsDraw) {
    for (const StretchCase& c : kCases) {
        for (const Op& op : kOps) {
            SCOPED_TRACE(std::string(c.name) + ", " + op.name);
            const SoftwareSurface plain = Draw(c, op, true);
            SoftwareSurface fast = Draw(c, op, false);
            EXPECT_EQ(FirstBadPixel(fast, [&](int32_t x, int32_t y) { return plain.Pixel(x, y); }), "");
        }
    }
}

TEST(SurfaceFastPaths, LargeFramesStartOnAHugePageBoundary) {
    SoftwareSurface frame(1024, 512); // 2 MiB
    SoftwareSurface small(7, 5);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(frame.Pixels()) % PixelBuffer::kHugePage, 0u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(small.Pixels()) % 64, 0u);
    const SoftwareSurface copy = frame;
    EXPECT_EQ(reinterpret_cast<uintptr_t>(copy.Pixels()) % PixelBuffer::kHugePage, 0u);
}

} // namespace
} // namespace wqtrans
