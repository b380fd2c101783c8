// Where a picture of another size goes in a frame: the rectangles every host scales
// between, worked out by hand, and the modes' names.
#include <cstdint>
#include <ostream>

#include <gtest/gtest.h>

#include "host/Fit.h"

namespace wqtrans {

std::ostream& operator<<(std::ostream& out, const FitRect& r) {
    return out << r.width << "x" << r.height << "+" << r.x << "+" << r.y;
}

namespace {

struct Case {
    const char* what;
    int32_t pictureWidth, pictureHeight, width, height;
    FitMode mode;
    FitRect from, to;
};

const Case kCases[] = {
    {"same shape fills, whatever the mode", 320, 240, 160, 120, FitMode::Contain, {0, 0, 320, 240}, {0, 0, 160, 120}},
    {"same shape, cover", 320, 240, 640, 480, FitMode::Cover, {0, 0, 320, 240}, {0, 0, 640, 480}},
    {"stretch ignores the shape", 320, 240, 100, 300, FitMode::Stretch, {0, 0, 320, 240}, {0, 0, 100, 300}},
    {"contain, bars left and right", 320, 240, 160, 100, FitMode::Contain, {0, 0, 320, 240}, {13, 0, 133, 100}},
    {"contain, bars above and below", 320, 240, 320, 320, FitMode::Contain, {0, 0, 320, 240}, {0, 40, 320, 240}},
    {"contain, an odd margin leaves the extra column on the right",
     4,
     4,
     7,
     4,
     FitMode::Contain,
     {0, 0, 4, 4},
     {1, 0, 4, 4}},
    {"contain keeps at least one pixel", 1000, 1, 10, 10, FitMode::Contain, {0, 0, 1000, 1}, {0, 4, 10, 1}},
    {"cover crops top and bottom", 320, 240, 160, 100, FitMode::Cover, {0, 20, 320, 200}, {0, 0, 160, 100}},
    {"cover crops the sides", 400, 200, 100, 100, FitMode::Cover, {100, 0, 200, 200}, {0, 0, 100, 100}},
    {"cover keeps at least one pixel", 1, 1000, 10, 10, FitMode::Cover, {0, 499, 1, 1}, {0, 0, 10, 10}},
    {"blur places the picture as contain does", 320, 240, 160, 100, FitMode::Blur, {0, 0, 320, 240}, {13, 0, 133, 100}},
};

TEST(PlaceFitted, GivesTheRectanglesOfEachMode) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.what);
        const FitPlacement placement = PlaceFitted(c.pictureWidth, c.pictureHeight, c.width, c.height, c.mode);
        EXPECT_EQ(placement.from, c.from);
        EXPECT_EQ(placement.to, c.to);
    }
}

TEST(FitModeNamed, KnowsEachModeByItsLowerCaseName) {
    EXPECT_EQ(FitModeNamed("stretch"), FitMode::Stretch);
    EXPECT_EQ(FitModeNamed("contain"), FitMode::Contain);
    EXPECT_EQ(FitModeNamed("cover"), FitMode::Cover);
    EXPECT_EQ(FitModeNamed("blur"), FitMode::Blur);
    EXPECT_EQ(FitModeNamed("Blur"), std::nullopt);
    EXPECT_EQ(FitModeNamed(""), std::nullopt);
}

} // namespace
} // namespace wqtrans
