// The face search behind `--motion auto`: photographs with faces (found where they were
// marked by eye, also dimmed, enlarged, in padded rows and side by side), photographs
// without people and made-up pictures (no face), pictures too small or too thin to
// search, a cascade that does not load, and searches from two threads at once. The
// photographs are OpenCV's samples from Debian's opencv-doc; the cascade is opencv-data's.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "join/Faces.h"
#include "media/Picture.h"
#include "tools/ToolHarness.h"

namespace wqtrans::join {
namespace {

const std::filesystem::path kPhotos = "/usr/share/doc/opencv-doc/examples/data";

// A picture of 0xAARRGGBB words in rows `stride` words apart.
struct Picture {
    int32_t width = 0, height = 0;
    size_t stride = 0;
    std::vector<uint32_t> words;

    uint32_t& At(int32_t x, int32_t y) { return words[static_cast<size_t>(y) * stride + x]; }
    uint32_t At(int32_t x, int32_t y) const { return words[static_cast<size_t>(y) * stride + x]; }
    FaceSearch Search() const { return FindFaces(words.data(), width, height, stride); }
};

// Grey noise from a fixed seed (mt19937's words are the same everywhere) in rows
// `stride` words apart, or one level when `level` is given.
Picture Made(int32_t width, int32_t height, int32_t stride, int level = -1) {
    Picture picture{width, height, static_cast<size_t>(stride), std::vector<uint32_t>(size_t{1} * stride * height)};
    std::mt19937 random(static_cast<uint32_t>(width * 7 + height));
    for (uint32_t& word : picture.words) {
        word = 0xFF000000u | (level >= 0 ? static_cast<uint32_t>(level) : random() >> 24) * 0x010101u;
    }
    return picture;
}

// One of opencv-doc's sample photographs, read by the project's own picture reader.
Picture Photo(const std::string& name) {
    const std::string bytes = tooltest::ReadText(kPhotos / name);
    SoftwareSurface pixels = media::DecodePicture(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()).pixels;
    Picture picture = Made(pixels.Width(), pixels.Height(), pixels.Width(), 0);
    std::copy_n(pixels.Pixels(), picture.words.size(), picture.words.begin());
    return picture;
}

// The part of `from` from (left, top), `grow` times its size (nearest pixels), each
// colour times `light`, in rows padded with `pad` words of noise that a search ignoring
// the stride would take for picture.
Picture Part(const Picture& from, int32_t left, int32_t top, int32_t width, int32_t height, double grow = 1,
             double light = 1, int32_t pad = 0) {
    const auto w = static_cast<int32_t>(width * grow), h = static_cast<int32_t>(height * grow);
    Picture part = Made(w, h, w + pad);
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            const uint32_t word = from.At(left + static_cast<int32_t>(x / grow), top + static_cast<int32_t>(y / grow));
            part.At(x, y) = 0xFF000000u;
            for (int shift = 0; shift < 24; shift += 8) {
                part.At(x, y) |= static_cast<uint32_t>(((word >> shift) & 0xFF) * light) << shift;
            }
        }
    }
    return part;
}

// The area two boxes share over the area they cover together.
double Overlap(const FaceBox& a, const FaceBox& b) {
    const double w = std::min(a.x + a.width, b.x + b.width) - std::max(a.x, b.x);
    const double h = std::min(a.y + a.height, b.y + b.height) - std::max(a.y, b.y);
    const double shared = std::max(0.0, w) * std::max(0.0, h);
    return shared / (a.width * a.height + b.width * b.height - shared);
}

std::string Describe(const FaceSearch& search) {
    std::string text = search.searched ? "searched" : "not searched: " + search.why;
    for (const FaceBox& f : search.faces) {
        text += " (" + std::to_string(f.x) + ", " + std::to_string(f.y) + ", " + std::to_string(f.width) + " x " +
                std::to_string(f.height) + ")";
    }
    return text;
}

// Faces marked by eye, in pixels of the photograph, from the brows to the chin.
struct MarkedFace {
    const char* photo;
    int32_t x, y, width, height;
};
constexpr MarkedFace kMessi{"messi5.jpg", 226, 90, 32, 42};          // a footballer, in colour
constexpr MarkedFace kBasketball{"basketball1.png", 69, 95, 32, 40}; // a man catching a ball, in grey

// A marked face where it lands in a part of its photo from (left, top) grown `grow`
// times and put `atX` pixels from the left of a picture of width x height.
FaceBox Landed(const MarkedFace& face, int32_t left, int32_t top, double grow, int32_t atX, double width,
               double height) {
    return {(atX + (face.x - left) * grow) / width, (face.y - top) * grow / height, face.width * grow / width,
            face.height * grow / height};
}

class FacesTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::filesystem::exists("/usr/share/opencv4/haarcascades/haarcascade_frontalface_alt2.xml") &&
            !std::filesystem::exists("/usr/local/share/opencv4/haarcascades/haarcascade_frontalface_alt2.xml")) {
            GTEST_SKIP() << "no frontal-face cascade is installed (Debian: opencv-data)";
        }
        if (!std::filesystem::exists(kPhotos / kMessi.photo)) {
            GTEST_SKIP() << "OpenCV's sample photographs are not installed (Debian: opencv-doc)";
        }
    }
};

// A photograph with one frontal face, as it is and changed in ways that must not move
// the face: its largest face is where the face was marked.
TEST_F(FacesTest, FindsTheFaceWhereItIs) {
    struct Case {
        const char* what;
        MarkedFace face;
        double grow, light;
        int32_t pad;
    } const cases[] = {
        {"as it is", kMessi, 1, 1, 0},
        {"in grey", kBasketball, 1, 1, 0},
        // Dimmed, the cascade also takes the hair, collar and crowd beside this face for
        // a larger one, which must not come first.
        {"with a fifth of its light", kMessi, 1, 0.2, 0},
        {"grey, with a fifth of its light", kBasketball, 1, 0.2, 0},
        {"enlarged 6 times, to be shrunk", kMessi, 6, 1, 0},
        {"in padded rows", kMessi, 1, 1, 37},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.face.photo) + ", " + c.what);
        const Picture photo = Photo(c.face.photo);
        const Picture picture = Part(photo, 0, 0, photo.width, photo.height, c.grow, c.light, c.pad);
        const FaceSearch search = picture.Search();
        ASSERT_TRUE(search.searched) << search.why;
        ASSERT_FALSE(search.faces.empty()) << Describe(search);
        EXPECT_GE(Overlap(search.faces[0], Landed(c.face, 0, 0, c.grow, 0, picture.width, picture.height)), 0.4)
            << Describe(search);
    }
}

// Two faces side by side, the right one grown: the larger comes first whichever of the
// two more of the cascade's windows agreed on, each where it was put.
TEST_F(FacesTest, TwoFacesComeLargestFirst) {
    struct Case {
        MarkedFace small, large;
        double grow;
    } const cases[] = {
        {kMessi, kMessi, 2},
        {kMessi, kBasketball, 2},
        // The cascade is surer of the man with the ball than of the footballer a little
        // larger beside him.
        {kBasketball, kMessi, 1.2},
        {kBasketball, kMessi, 1.5},
    };
    constexpr int32_t kSide = 200; // of the part of each photo around its face
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.small.photo) + " beside " + c.large.photo + " grown " + std::to_string(c.grow));
        const int32_t sx = std::max(0, c.small.x - 70), sy = std::max(0, c.small.y - 50);
        const int32_t lx = std::max(0, c.large.x - 70), ly = std::max(0, c.large.y - 50);
        const Picture small = Part(Photo(c.small.photo), sx, sy, kSide, kSide);
        const Picture large = Part(Photo(c.large.photo), lx, ly, kSide, kSide, c.grow);
        Picture picture = Made(kSide + large.width, large.height, kSide + large.width, 0);
        for (int32_t y = 0; y < large.height; ++y) {
            for (int32_t x = 0; x < picture.width; ++x) {
                picture.At(x, y) = x >= kSide ? large.At(x - kSide, y) : y < kSide ? small.At(x, y) : 0xFF000000u;
            }
        }
        const FaceSearch search = picture.Search();
        ASSERT_EQ(search.faces.size(), 2u) << Describe(search);
        EXPECT_GE(Overlap(search.faces[0], Landed(c.large, lx, ly, c.grow, kSide, picture.width, picture.height)), 0.4)
            << Describe(search);
        EXPECT_GE(Overlap(search.faces[1], Landed(c.small, sx, sy, 1, 0, picture.width, picture.height)), 0.4)
            << Describe(search);
    }
}

// No frontal face: a building, a palace, a baboon, a man hidden behind a chessboard
// beside a monitor and in a striped shirt (where weaker settings found faces), a
// painting; flat pictures and noise.
TEST_F(FacesTest, FindsNoFaceWhereThereIsNone) {
    std::vector<std::pair<std::string, Picture>> cases = {{"flat grey", Made(640, 480, 640, 128)},
                                                          {"flat black", Made(800, 600, 800, 0)},
                                                          {"noise", Made(640, 480, 640)}};
    for (const char* photo : {"building.jpg", "home.jpg", "baboon.jpg", "left14.jpg", "starry_night.jpg"}) {
        cases.emplace_back(photo, Photo(photo));
    }
    for (const auto& [what, picture] : cases) {
        SCOPED_TRACE(what);
        const FaceSearch search = picture.Search();
        EXPECT_TRUE(search.searched) << search.why;
        EXPECT_TRUE(search.faces.empty()) << Describe(search);
    }
}

// Pictures too small for the cascade's window before or after shrinking, none at all,
// and strides under the width: searched, with no face.
TEST_F(FacesTest, PicturesTooSmallOrThinHaveNoFace) {
    struct Case {
        int32_t width, height, stride;
    } const cases[] = {{1, 1, 1},         {19, 19, 19}, {20000, 3, 20000}, {3, 20000, 3},
                       {4000, 100, 4000}, {0, 10, 0},   {10, -10, 10},     {64, 64, 32}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height) + ", stride " +
                     std::to_string(c.stride));
        const Picture noise = Made(std::max(1, c.stride), std::max(1, c.height), std::max(1, c.stride));
        const FaceSearch search = FindFaces(noise.words.data(), c.width, c.height, c.stride);
        EXPECT_TRUE(search.searched) << search.why;
        EXPECT_TRUE(search.faces.empty()) << Describe(search);
    }
    EXPECT_TRUE(FindFaces(nullptr, 640, 480, 640).faces.empty());
}

// Searches from two threads at once find what one search finds.
TEST_F(FacesTest, SearchesFromTwoThreadsAgree) {
    const Picture photo = Photo(kMessi.photo);
    const std::string alone = Describe(photo.Search());
    std::vector<std::string> found(4);
    std::thread other([&] {
        found[0] = Describe(photo.Search());
        found[1] = Describe(photo.Search());
    });
    found[2] = Describe(photo.Search());
    found[3] = Describe(photo.Search());
    other.join();
    EXPECT_EQ(found, std::vector<std::string>(4, alone));
}

// A cascade that cannot be used: nothing is searched, and the reason names the file and
// where it was to come from.
TEST(FaceDetectorTest, ACascadeThatDoesNotLoadSaysWhy) {
    const tooltest::Scratch dir;
    std::ofstream(dir / "text.xml") << "not a cascade\n";
    std::ofstream(dir / "empty.xml") << "<?xml version=\"1.0\"?>\n<opencv_storage>\n</opencv_storage>\n";
    std::ofstream(dir / "nothing.xml");
    const std::pair<std::string, std::string> cases[] = {
        {"/nonexistent/face.xml", "is missing"},
        {dir / "text.xml", "is not a cascade OpenCV reads"},
        {dir / "empty.xml", "is not a cascade OpenCV reads"},
        {dir / "nothing.xml", "is not a cascade OpenCV reads"},
    };
    const Picture picture = Made(64, 64, 64);
    for (const auto& [path, reason] : cases) {
        const FaceSearch search = FaceDetector(path, "install opencv-data").Find(picture.words.data(), 64, 64, 64);
        EXPECT_FALSE(search.searched);
        EXPECT_TRUE(search.faces.empty());
        EXPECT_EQ(search.why, "no face detector: " + path + " " + reason + " (install opencv-data)");
    }
}

} // namespace
} // namespace wqtrans::join
