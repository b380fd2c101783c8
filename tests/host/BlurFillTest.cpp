// The blurred fill around a contained picture: pictures of other shapes in frames of
// several sizes, down to 1-pixel bands, a picture of blocks for the fill's range and
// smoothness and a flat one for the darkening; then rectangles past the frame's edges.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "host/BlurFill.h"
#include "host/Fit.h"
#include "host/SoftwareSurface.h"

namespace wqtrans {
namespace {

// Never drawn by the fill, which is opaque.
constexpr uint32_t kSentinel = 0x00FF00FFu;
constexpr uint32_t kFlat = 0xFF6A3C99u;

int Channel(uint32_t pixel, int c) { return static_cast<int>(pixel >> (8 * c) & 0xFF); }

// Blocks of 0x10 and 0xF0 in red and green, a quarter of the picture a side, and blue
// rising across: the sharpest edges a fill has to soften.
uint32_t Blocks(int32_t x, int32_t y, const FitRect& r) {
    const uint32_t red = (x * 4 / r.width) % 2 != 0 ? 0xF0 : 0x10;
    const uint32_t green = (y * 4 / r.height) % 2 != 0 ? 0xF0 : 0x10;
    return 0xFF000000u | red << 16 | green << 8 | static_cast<uint32_t>(0x10 + x * 0xE0 / r.width);
}

std::string At(int32_t x, int32_t y, uint32_t pixel) {
    char text[64];
    std::snprintf(text, sizeof text, "pixel (%d, %d) = %08X", x, y, pixel);
    return text;
}

// The first pixel that breaks a rule of the fill around `shown` in `frame`, whose
// picture was kFlat or Blocks; "" when there is none.
std::string FirstFault(SoftwareSurface& frame, const FitRect& shown, bool flat) {
    const auto inside = [&](int32_t x, int32_t y) {
        return x >= shown.x && x < shown.x + shown.width && y >= shown.y && y < shown.y + shown.height;
    };
    for (int32_t y = 0; y < frame.Height(); ++y) {
        for (int32_t x = 0; x < frame.Width(); ++x) {
            const uint32_t p = frame.Pixel(x, y);
            const int32_t px = x - shown.x, py = y - shown.y;
            if (inside(x, y)) {
                if (p != (flat ? kFlat : Blocks(px, py, shown))) {
                    return At(x, y, p) + " inside the picture changed";
                }
                continue;
            }
            if (p >> 24 != 0xFF) {
                return At(x, y, p) + " not opaque";
            }
            for (int c = 0; c < 3; ++c) {
                // The darkened picture's range: 0x10 to 0xF0 for the blocks, its one colour when flat.
                const double low = 0.75 * (flat ? Channel(kFlat, c) : 0x10);
                const double high = 0.75 * (flat ? Channel(kFlat, c) : 0xF0);
                if (Channel(p, c) < low - 1 || Channel(p, c) > high + 1) {
                    return At(x, y, p) + " outside the darkened picture's colours";
                }
                // Neighbours differ by little: the blurred edges of the blocks rise by
                // about 8 a small pixel, and each of those spans about 8 frame pixels.
                if (x + 1 < frame.Width() && !inside(x + 1, y) &&
                    std::abs(Channel(frame.Pixel(x + 1, y), c) - Channel(p, c)) > 3) {
                    return At(x, y, p) + " far from its right neighbour " + At(x + 1, y, frame.Pixel(x + 1, y));
                }
                if (y + 1 < frame.Height() && !inside(x, y + 1) &&
                    std::abs(Channel(frame.Pixel(x, y + 1), c) - Channel(p, c)) > 3) {
                    return At(x, y, p) + " far from the one below " + At(x, y + 1, frame.Pixel(x, y + 1));
                }
            }
        }
    }
    return "";
}

struct Shape {
    const char* what;
    int32_t width, height;               // the frame
    int32_t pictureWidth, pictureHeight; // contained in it
};

const Shape kShapes[] = {
    {"16:9 in a portrait 1080p frame", 1080, 1920, 1920, 1080},
    {"9:16 in a 1080p frame", 1920, 1080, 1080, 1920},
    {"4:3 in an odd frame", 33, 17, 4, 3},
    {"square in 7x5, 1-pixel bands left and right", 7, 5, 5, 5},
    {"wide in 7x5, bands above and below", 7, 5, 7, 1},
    {"1-pixel bands above and below", 9, 10, 9, 8},
    {"a picture one pixel high", 10, 10, 1000, 1},
    {"the frame's shape: nothing to fill", 64, 36, 16, 9},
};

// A frame of the shape's size holding its picture, contained, on kSentinel.
SoftwareSurface Framed(const Shape& s, bool flat, FitRect* shown) {
    *shown = PlaceFitted(s.pictureWidth, s.pictureHeight, s.width, s.height, FitMode::Blur).to;
    SoftwareSurface frame(s.width, s.height, kSentinel);
    for (int32_t y = 0; y < shown->height; ++y) {
        for (int32_t x = 0; x < shown->width; ++x) {
            frame.SetPixel(shown->x + x, shown->y + y, flat ? kFlat : Blocks(x, y, *shown));
        }
    }
    return frame;
}

TEST(BlurBehind, FillsAroundThePictureOnlyWithItsDarkenedBlur) {
    for (const Shape& s : kShapes) {
        for (const bool flat : {false, true}) {
            SCOPED_TRACE(std::string(s.what) + (flat ? ", flat" : ", blocks"));
            FitRect shown;
            SoftwareSurface frame = Framed(s, flat, &shown);
            BlurBehind(frame, shown);
            EXPECT_EQ(FirstFault(frame, shown, flat), "");
        }
    }
}

TEST(BlurBehind, ClipsRectanglesPastTheFrame) {
    struct Case {
        const char* what;
        FitRect shown;
        bool fills;
    } cases[] = {
        {"left of the frame", {-20, 0, 20, 12}, false},
        {"empty", {4, 4, 0, 5}, false},
        {"negative size", {4, 4, -3, 5}, false},
        {"over the whole frame", {-5, -5, 100, 100}, false},
        {"sizes that overflow 32 bits", {INT_MAX - 1, INT_MAX - 1, INT_MAX, INT_MAX}, false},
        {"its right part past the edge", {8, 0, INT_MAX, 12}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SoftwareSurface frame(16, 12, kSentinel);
        BlurBehind(frame, c.shown);
        EXPECT_EQ(frame.Pixel(0, 0) != kSentinel, c.fills);
        EXPECT_EQ(frame.Pixel(15, 11), kSentinel);
    }
}

} // namespace
} // namespace wqtrans
