// Pictures that move: the planned views of each move, the moves as users write them, and
// a mark of a generated photo tracked frame by frame through joins that zoom and pan,
// and the blur fill of a join.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "join/Faces.h"
#include "join/Join.h"
#include "join/JoinError.h"
#include "join/MotionPath.h"
#include "join/Source.h"
#include "media/Picture.h"
#include "module/Types.h"
#include "tests/join/TestMedia.h"

namespace wqtrans::jointest {
namespace {

using join::MoveKind;
using join::MoveSpec;
using join::ViewRect;

void ExpectView(const ViewRect& view, const ViewRect& expected, const std::string& what) {
    EXPECT_NEAR(view.x, expected.x, 1e-6) << what;
    EXPECT_NEAR(view.y, expected.y, 1e-6) << what;
    EXPECT_NEAR(view.width, expected.width, 1e-6) << what;
    EXPECT_NEAR(view.height, expected.height, 1e-6) << what;
}

struct PlanCase {
    const char* what;
    const char* move;
    int32_t width, height; // the picture's
    FitMode fit;
    size_t index;
    std::vector<join::FaceBox> faces;
    ViewRect from, to;
};

// A 1600x1200 picture in a 1600x900 frame (cover shows its middle 1600x900), a zoom of 1.25.
// clang-format off
const PlanCase kPlans[] = {
    {"zoom-in, contained: the whole picture to its middle",
     "zoom-in", 1600, 1200, FitMode::Contain, 0, {}, {0, 0, 1600, 1200}, {160, 120, 1280, 960}},
    {"zoom-out, covered",
     "zoom-out", 1600, 1200, FitMode::Cover, 0, {}, {160, 240, 1280, 720}, {0, 150, 1600, 900}},
    {"a focus point near a corner is kept inside",
     "zoom-in@0.9,0.05", 1600, 1200, FitMode::Contain, 0, {}, {0, 0, 1600, 1200}, {320, 0, 1280, 960}},
    {"pan-right goes from the left edge to the right one",
     "pan-right", 1600, 1200, FitMode::Contain, 0, {}, {0, 120, 1280, 960}, {320, 120, 1280, 960}},
    {"pan-left the other way",
     "pan-left", 1600, 1200, FitMode::Contain, 0, {}, {320, 120, 1280, 960}, {0, 120, 1280, 960}},
    {"pan-down, covered, through its middle",
     "pan-down", 1600, 1200, FitMode::Cover, 0, {}, {160, 150, 1280, 720}, {160, 330, 1280, 720}},
    {"pan-up",
     "pan-up", 1600, 1200, FitMode::Cover, 0, {}, {160, 330, 1280, 720}, {160, 150, 1280, 720}},
    {"auto zooms in on the first picture",
     "auto", 1600, 1200, FitMode::Contain, 0, {}, {0, 0, 1600, 1200}, {160, 120, 1280, 960}},
    {"and out on the second",
     "auto", 1600, 1200, FitMode::Contain, 1, {}, {160, 120, 1280, 960}, {0, 0, 1600, 1200}},
    {"auto zooms in toward faces, whatever its turn, up to twice to have them in the middle",
     "auto", 1600, 1200, FitMode::Contain, 1, {{0.1, 0.1, 0.1, 0.1}, {0.7, 0.1, 0.05, 0.05}}, {0, 0, 1600, 1200}, {24, 0, 800, 600}},
    {"auto pans a portrait picture from top to bottom when it covers",
     "auto", 900, 1600, FitMode::Cover, 0, {}, {0, 0, 900, 506.25}, {0, 1093.75, 900, 506.25}},
    {"and a panorama from left to right",
     "auto", 3200, 900, FitMode::Cover, 0, {}, {0, 0, 1600, 900}, {1600, 0, 1600, 900}},
    {"auto zooms out of a contained portrait picture, so that it ends whole",
     "auto", 900, 1600, FitMode::Blur, 0, {}, {90, 160, 720, 1280}, {0, 0, 900, 1600}},
    {"rectangles are widened to the view's shape and kept inside",
     "0,0,1,1>0.8,0.8,0.2,0.1", 1600, 1200, FitMode::Cover, 0, {}, {0, 150, 1600, 900}, {1280, 930, 320, 180}},
    {"none stays on the base view",
     "none", 1600, 1200, FitMode::Cover, 0, {}, {0, 150, 1600, 900}, {0, 150, 1600, 900}},
};
// clang-format on

TEST(PictureMotionPath, EachMoveStartsAndEndsOnItsViews) {
    join::MotionOptions options;
    options.amount = 1.25;
    for (const PlanCase& c : kPlans) {
        std::string error;
        const std::optional<MoveSpec> move = join::ParseMove(c.move, &error);
        ASSERT_TRUE(move) << c.what << ": " << error;
        bool asked = false;
        const join::MovePath path = join::PlanMove(*move, options, c.width, c.height, 1600, 900, c.fit, c.index, [&] {
            asked = true;
            return c.faces;
        });
        ExpectView(path.At(0), c.from, std::string(c.what) + ", start");
        ExpectView(path.At(1), c.to, std::string(c.what) + ", end");
        // Auto looks for faces unless the picture's shape decides (a pan along it).
        EXPECT_EQ(asked, move->kind == MoveKind::Auto && path.from.width != path.to.width) << c.what;
    }
}

// Auto on real photographs that opencv-doc ships: a footballer's face (marked by eye at
// 226,90 32x42 of 548x342) ends the zoom; a building without people zooms on the middle.
TEST(PictureMotionPath, AutoEndsItsZoomOnAFaceAndElseOnTheMiddle) {
    const std::filesystem::path photos = "/usr/share/doc/opencv-doc/examples/data";
    if (!std::filesystem::exists(photos / "messi5.jpg")) {
        GTEST_SKIP() << "OpenCV's sample photographs are not installed (Debian: opencv-doc)";
    }
    for (const auto& [name, index] : {std::pair{"messi5.jpg", 1}, std::pair{"building.jpg", 0}}) {
        const std::string bytes = tooltest::ReadText(photos / name);
        media::DecodedPicture picture =
            media::DecodePicture(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), 0xFF000000u);
        const int32_t w = picture.pixels.Width(), h = picture.pixels.Height();
        const join::MovePath path =
            join::PlanMove(*join::ParseMove("auto", nullptr), {}, w, h, 1920, 1080, FitMode::Cover, index, [&] {
                return join::FindFaces(picture.pixels.Pixels(), w, h, static_cast<size_t>(w)).faces;
            });
        const ViewRect end = path.At(1);
        EXPECT_LT(end.width, path.At(0).width) << name << ": a zoom in";
        const double cx = end.x + end.width / 2, cy = end.y + end.height / 2;
        if (std::string(name) == "messi5.jpg") {
            const double fx = 226 + 16, fy = 90 + 21; // the face's centre
            EXPECT_TRUE(end.x <= 226 && end.x + end.width >= 258 && end.y <= 90 && end.y + end.height >= 132)
                << "the face is in the last view";
            EXPECT_LT(std::hypot(cx - fx, cy - fy), 8) << "the last view is centred on the face";
        } else {
            EXPECT_NEAR(cx, w / 2.0, 1e-6) << name;
            EXPECT_NEAR(cy, h / 2.0, 1e-6) << name;
        }
    }
}

TEST(PictureMotionPath, AZoomKeepsItsFixedPointAndNeverTurnsBack) {
    join::MotionOptions options;
    options.ease = MotionCurve(); // linear
    const join::MovePath path = join::PlanMove(*join::ParseMove("zoom-in@0.25,0.5", nullptr), options, 1600, 1200, 1600,
                                               1200, FitMode::Contain, 0, {});
    // The point that stays put: where the start and end views map the same picture point
    // to the same place on the frame.
    const double fixedX =
        (path.to.x * path.from.width - path.from.x * path.to.width) / (path.from.width - path.to.width);
    double previousWidth = path.from.width + 1;
    double previousScale = 0;
    for (int i = 0; i <= 100; ++i) {
        const ViewRect view = path.At(i / 100.0);
        EXPECT_LT(view.width, previousWidth);
        EXPECT_NEAR((fixedX - view.x) / view.width, (fixedX - path.from.x) / path.from.width, 1e-9);
        // The zoom goes at a steady pace: each step scales by the same factor.
        const double scale = path.from.width / view.width;
        if (i >= 2) {
            EXPECT_NEAR(scale / previousScale, std::pow(1.15, 0.01), 1e-9);
        }
        previousScale = scale;
        previousWidth = view.width;
    }
}

TEST(PictureMotionPath, MovesAreReadAsUsersWriteThemOrRefusedWithTheirForm) {
    struct Case {
        const char* text;
        std::optional<MoveSpec> expected;
        const char* error; // part of the reason when refused
    };
    const Case cases[] = {
        {"zoom-out", MoveSpec{MoveKind::ZoomOut, {}, {}, {}}, ""},
        {"pan-up@0.7,0.3", MoveSpec{MoveKind::PanUp, std::pair{0.7, 0.3}, {}, {}}, ""},
        {"zoom-in@70%,30%", MoveSpec{MoveKind::ZoomIn, std::pair{0.7, 0.3}, {}, {}}, ""},
        {"0,0,1,1>50%,20%,0.4,.4",
         MoveSpec{MoveKind::ZoomIn, {}, join::PictureRect{0, 0, 1, 1}, join::PictureRect{0.5, 0.2, 0.4, 0.4}}, ""},
        {"zoom", std::nullopt, "choose one of: none, zoom-in, zoom-out, pan-left, pan-right, pan-up, pan-down, auto"},
        {"zoom-in@0.5", std::nullopt, "the focus point after @ is x,y"},
        {"zoom-in@1.5,0.5", std::nullopt, "the focus point after @ is x,y"},
        {"none@0.5,0.5", std::nullopt, "none has no focus point"},
        {"0,0,1,1>0.8,0,0.4,1", std::nullopt, "each inside the picture"},
        {"0,0,1>0,0,1,1", std::nullopt, "left,top,width,height"},
        {"0,0,0,1>0,0,1,1", std::nullopt, "left,top,width,height"},
    };
    for (const Case& c : cases) {
        std::string error;
        const std::optional<MoveSpec> move = join::ParseMove(c.text, &error);
        EXPECT_EQ(move, c.expected) << c.text;
        EXPECT_NE(error.find(c.error), std::string::npos) << c.text << ": " << error;
    }
}

join::InputSpec Input(const std::string& path) { return {path, std::nullopt, std::nullopt}; }

// A white photo with a black disc of `radius` pixels at (mx, my), its edge anti-aliased
// (each pixel 8x8 times sampled). A disc's edge crosses each row at another phase, so
// that the output's rounding to whole codes does not move its centroid as a whole.
SoftwareSurface MarkedPhoto(int32_t width, int32_t height, double mx, double my, double radius) {
    SoftwareSurface photo(width, height, 0xFFFFFFFFu);
    for (auto y = static_cast<int32_t>(my - radius - 1); y <= static_cast<int32_t>(my + radius + 1); ++y) {
        for (auto x = static_cast<int32_t>(mx - radius - 1); x <= static_cast<int32_t>(mx + radius + 1); ++x) {
            int inside = 0;
            for (int sy = 0; sy < 8; ++sy) {
                for (int sx = 0; sx < 8; ++sx) {
                    const double dx = x + (sx + 0.5) / 8 - mx, dy = y + (sy + 0.5) / 8 - my;
                    inside += dx * dx + dy * dy < radius * radius ? 1 : 0;
                }
            }
            const auto v = static_cast<uint32_t>(255 - (255 * inside + 32) / 64);
            photo.Pixels()[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] =
                0xFF000000u | v << 16 | v << 8 | v;
        }
    }
    return photo;
}

// The mark's centre on a frame: the centroid of how much darker than white it is.
std::pair<double, double> MarkAt(SoftwareSurface& frame) {
    double sx = 0, sy = 0, total = 0;
    for (int32_t y = 0; y < frame.Height(); ++y) {
        for (int32_t x = 0; x < frame.Width(); ++x) {
            const uint32_t pixel =
                frame.Pixels()[static_cast<size_t>(y) * static_cast<size_t>(frame.Width()) + static_cast<size_t>(x)];
            const double weight = 255 - static_cast<int>((pixel >> 8) & 0xFF);
            sx += (x + 0.5) * weight;
            sy += (y + 0.5) * weight;
            total += weight;
        }
    }
    return {sx / total, sy / total};
}

class PictureMotionTest : public ::testing::Test {
protected:
    Scratch scratch;
};

TEST_F(PictureMotionTest, AMarkMovesSmoothlyAndNeverBackThroughAZoomAndAPan) {
    constexpr double kMx = 1150, kMy = 700; // the mark, in the 1600x1200 photo
    ASSERT_TRUE(MarkedPhoto(1600, 1200, kMx, kMy, 60).SavePng((scratch / "marked.png")));
    ASSERT_TRUE(SoftwareSurface(1600, 1200, 0xFFFFFFFFu).SavePng(scratch / "white.png"));
    const auto onFrame = [](const ViewRect& view) {
        return std::pair{(kMx - view.x) / view.width * 640, (kMy - view.y) / view.height * 480};
    };
    struct Case {
        const char* move;
        ViewRect first, last; // the views asked, in the photo's pixels
    };
    const Case cases[] = {
        {"zoom-in",
         {0, 0, 1600, 1200},
         {104.34782608695652, 78.260869565217391, 1391.304347826087, 1043.4782608695652}},
        {"pan-right",
         {0, 78.260869565217391, 1391.304347826087, 1043.4782608695652},
         {208.69565217391305, 78.260869565217391, 1391.304347826087, 1043.4782608695652}},
    };
    for (const Case& c : cases) {
        join::MotionOptions motion;
        motion.move = *join::ParseMove(c.move, nullptr);
        motion.ease = MotionCurve(); // linear: the mark's path is then straight and steady

        // The picture alone, over its 90 frames on screen at 30 fps.
        join::Source source(Input(scratch / "marked.png"), 3000000);
        join::PictureMove move{motion.move, motion, 0, join::FrameTimeUs(89, {30, 1})};
        source.Start({640, 480, FitMode::Contain, 0xFF000000u}, &move);
        std::vector<std::pair<double, double>> marks;
        for (int64_t n = 0; n < 90; ++n) {
            marks.push_back(MarkAt(source.FrameAt(join::FrameTimeUs(n, {30, 1}))));
        }
        // The first and last frames show the views asked.
        for (const auto& [mark, view, which] :
             {std::tuple{marks.front(), c.first, "first"}, std::tuple{marks.back(), c.last, "last"}}) {
            EXPECT_NEAR(mark.first, onFrame(view).first, 0.05) << c.move << ", " << which << " frame";
            EXPECT_NEAR(mark.second, onFrame(view).second, 0.05) << c.move << ", " << which << " frame";
        }
        double worst = 0;
        for (size_t i = 2; i < marks.size(); ++i) {
            for (const auto part : {&std::pair<double, double>::first, &std::pair<double, double>::second}) {
                const double step = marks[i].*part - marks[i - 1].*part;
                const double before = marks[i - 1].*part - marks[i - 2].*part;
                worst = std::max(worst, std::abs(step - before));
                EXPECT_GE(step * (onFrame(c.last).*part - onFrame(c.first).*part), -1e-9)
                    << c.move << ": a step back at frame " << i;
            }
        }
        EXPECT_LT(worst, 0.05) << c.move << ": the worst second difference, px/frame^2";

        // In a join, the picture keeps moving through the cut at its end: the cut's first
        // frame (the run's time 0, the old picture whole) shows it where its move is then.
        join::JoinOptions options;
        options.width = 640;
        options.height = 480;
        options.rate = join::FrameRate{30, 1};
        options.sound = false;
        options.motion = motion;
        join::CutTransition fade;
        fade.id = MakeId('F', 'A', 'D', 'E');
        fade.durationMs = 500;
        join::Join joined({Input(scratch / "marked.png"), Input(scratch / "white.png")}, {fade}, options);
        const int64_t cutStart = joined.Plan().cuts[0].firstFrame;
        ASSERT_EQ(joined.Plan().segments[0].frames, 90);
        for (int64_t n = 0; n < cutStart; ++n) {
            joined.Frame(n);
        }
        const auto mark = MarkAt(joined.Frame(cutStart));
        EXPECT_NEAR(mark.first, marks[static_cast<size_t>(cutStart)].first, 1e-9) << c.move;
        EXPECT_NEAR(mark.second, marks[static_cast<size_t>(cutStart)].second, 1e-9) << c.move;
    }
}

TEST_F(PictureMotionTest, TheBlurFillKeepsTheContainedPictureExactAndLeavesNoBlack) {
    WQ_REQUIRE_FFMPEG();
    // A portrait clip and a landscape picture in a landscape and a portrait video, at odd sizes.
    Ffmpeg(scratch, "-f lavfi -i testsrc2=size=180x320:rate=10:duration=1 -pix_fmt yuv420p tall.mp4");
    Ffmpeg(scratch, "-f lavfi -i testsrc2=size=320x180 -frames:v 1 wide.png");
    for (const auto& [width, height] : {std::pair{321, 241}, std::pair{241, 321}}) {
        join::JoinOptions options;
        options.width = width;
        options.height = height;
        options.sound = false;
        options.holdMs = 1000;
        join::CutTransition fade;
        fade.id = MakeId('F', 'A', 'D', 'E');
        fade.durationMs = 200;
        const std::vector<join::InputSpec> inputs = {Input(scratch / "tall.mp4"), Input(scratch / "wide.png")};
        options.fit = FitMode::Contain;
        join::Join contained(inputs, {fade}, options);
        options.fit = FitMode::Blur;
        join::Join blurred(inputs, {fade}, options);
        for (const int64_t n : {int64_t{0}, contained.Plan().totalFrames - 1}) {
            SoftwareSurface expected = contained.Frame(n);
            SoftwareSurface& frame = blurred.Frame(n);
            const bool clip = n == 0;
            const FitRect shown = PlaceFitted(clip ? 180 : 320, clip ? 320 : 180, width, height, FitMode::Contain).to;
            ASSERT_LT(shown.width * shown.height, width * height) << "the input fills the frame";
            size_t black = 0;
            for (int32_t y = 0; y < height; ++y) {
                for (int32_t x = 0; x < width; ++x) {
                    const size_t i = static_cast<size_t>(y * width + x);
                    const bool inside =
                        x >= shown.x && x < shown.x + shown.width && y >= shown.y && y < shown.y + shown.height;
                    if (inside) {
                        ASSERT_EQ(frame.Pixels()[i], expected.Pixels()[i])
                            << width << "x" << height << " at " << x << "," << y;
                    } else {
                        black += (frame.Pixels()[i] & 0xFFFFFFu) == 0 ? 1 : 0;
                    }
                }
            }
            EXPECT_EQ(black, 0u) << width << "x" << height << ", frame " << n;
        }
    }
}

// Portrait, square and landscape videos, each with portrait, square and landscape
// pictures (flat colours), by every fit mode, still and moving: where the frame shows the
// picture and where it shows bars (black) or the blurred fill.
TEST_F(PictureMotionTest, EveryShapeOfVideoTakesEveryShapeOfPictureByEveryFit) {
    const std::pair<int32_t, int32_t> pictures[] = {{90, 160}, {120, 120}, {160, 90}};
    for (const auto& [w, h] : pictures) {
        ASSERT_TRUE(SoftwareSurface(w, h, 0xFFC04020u).SavePng(scratch / (std::to_string(w) + ".png")));
    }
    for (const auto& [width, height] : {std::pair{108, 192}, std::pair{108, 108}, std::pair{192, 108}}) {
        for (const auto& [w, h] : pictures) {
            for (const FitMode fit : {FitMode::Stretch, FitMode::Contain, FitMode::Cover, FitMode::Blur}) {
                for (const char* motion : {"none", "auto"}) {
                    join::JoinOptions options;
                    options.width = width;
                    options.height = height;
                    options.fit = fit;
                    options.sound = false;
                    options.holdMs = 400;
                    options.motion.move = *join::ParseMove(motion, nullptr);
                    join::CutTransition fade;
                    fade.id = MakeId('F', 'A', 'D', 'E');
                    fade.durationMs = 100;
                    const std::string name = scratch / (std::to_string(w) + ".png");
                    join::Join joined({Input(name), Input(name)}, {fade}, options);
                    ASSERT_EQ(joined.Width(), width);
                    ASSERT_EQ(joined.Height(), height);
                    SoftwareSurface& frame = joined.Frame(0);
                    size_t black = 0;
                    for (size_t i = 0; i < static_cast<size_t>(width * height); ++i) {
                        black += (frame.Pixels()[i] & 0xFFFFFFu) == 0 ? 1 : 0;
                    }
                    const bool sameShape = w * height == h * width;
                    const std::string what = std::to_string(w) + "x" + std::to_string(h) + " in " +
                                             std::to_string(width) + "x" + std::to_string(height) + ", fit " +
                                             std::to_string(static_cast<int>(fit)) + ", motion " + motion;
                    if (fit == FitMode::Contain && !sameShape) {
                        EXPECT_GT(black, 0u) << what;
                    } else {
                        EXPECT_EQ(black, 0u) << what;
                    }
                    // The middle of the frame always shows the picture.
                    EXPECT_EQ(frame.Pixels()[static_cast<size_t>(height / 2 * width + width / 2)], 0xFFC04020u) << what;
                }
            }
        }
    }
}

} // namespace
} // namespace wqtrans::jointest
