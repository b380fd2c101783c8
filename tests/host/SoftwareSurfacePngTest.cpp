// PNG files of the reference surface: a round trip, other pixel formats, and failures
// that must leave the surface and the file system as they were.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>
#include <png.h>

#include "host/SoftwareSurface.h"
#include "support/Frames.h"

namespace wqtrans {
namespace {

namespace fs = std::filesystem;
using test::FirstBadPixel;

class PngFiles : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "wqtrans-png-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
    }
    void TearDown() override { fs::remove_all(dir); }

    std::vector<std::string> Entries(const fs::path& where) const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(where)) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }

    fs::path dir;
};

TEST_F(PngFiles, RoundTripKeepsColoursAndMakesPixelsOpaque) {
    SoftwareSurface out(3, 2);
    const uint32_t colours[2][3] = {{0xFF000000, 0x00FFFFFF, 0x12345678}, {0xFFFF0000, 0x8000FF00, 0x000000FF}};
    for (int32_t y = 0; y < 2; ++y) {
        for (int32_t x = 0; x < 3; ++x) {
            out.SetPixel(x, y, colours[y][x]);
        }
    }
    const std::string path = (dir / "frame.png").string();
    std::string error;
    ASSERT_TRUE(out.SavePng(path, &error)) << error;
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"frame.png"});

    SoftwareSurface in;
    ASSERT_TRUE(in.LoadPng(path, &error)) << error;
    ASSERT_EQ(in.Width(), 3);
    ASSERT_EQ(in.Height(), 2);
    EXPECT_EQ(FirstBadPixel(in, [&](int32_t x, int32_t y) { return 0xFF000000u | colours[y][x]; }), "");

    // Saving again replaces the file in place.
    out.Fill(0xFF010203);
    ASSERT_TRUE(out.SavePng(path, &error)) << error;
    ASSERT_TRUE(in.LoadPng(path, &error)) << error;
    EXPECT_EQ(in.Pixel(2, 1), 0xFF010203u);
    EXPECT_EQ(Entries(dir).size(), 1u);
}

TEST_F(PngFiles, LoadsGreyWithAlphaOntoBlack) {
    // A grey-and-alpha file written directly with libpng: opaque 0x80, then transparent white.
    const uint8_t ga[] = {0x80, 0xFF, 0xFF, 0x00};
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = 2;
    image.height = 1;
    image.format = PNG_FORMAT_GA;
    const std::string path = (dir / "grey.png").string();
    ASSERT_NE(png_image_write_to_file(&image, path.c_str(), 0, ga, 0, nullptr), 0) << image.message;

    SoftwareSurface in;
    std::string error;
    ASSERT_TRUE(in.LoadPng(path, &error)) << error;
    ASSERT_EQ(in.Width(), 2);
    EXPECT_EQ(in.Pixel(0, 0), 0xFF808080u);
    EXPECT_EQ(in.Pixel(1, 0), 0xFF000000u);
}

TEST_F(PngFiles, FailedLoadLeavesTheSurfaceAsItWas) {
    std::ofstream(dir / "text.png") << "not a picture\n";
    std::ofstream truncated(dir / "short.png", std::ios::binary);
    truncated.write("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16);
    truncated.close();
    const std::string paths[] = {(dir / "missing.png").string(), (dir / "text.png").string(),
                                 (dir / "short.png").string(), dir.string()};
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        SoftwareSurface surface(2, 2, 0xFF445566);
        std::string error;
        EXPECT_FALSE(surface.LoadPng(path, &error));
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
        EXPECT_EQ(surface.Width(), 2);
        EXPECT_EQ(FirstBadPixel(surface, [](int32_t, int32_t) { return 0xFF445566u; }), "");
        EXPECT_FALSE(surface.LoadPng(path)); // no error string wanted
    }
}

TEST_F(PngFiles, FailedSaveLeavesNoFile) {
    SoftwareSurface surface(2, 2, 0xFF445566);
    std::string error;

    // A directory that does not exist, and one whose name is a plain file.
    EXPECT_FALSE(surface.SavePng((dir / "absent" / "out.png").string(), &error));
    EXPECT_FALSE(error.empty());
    std::ofstream(dir / "file") << "x";
    EXPECT_FALSE(surface.SavePng((dir / "file" / "out.png").string(), &error));
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"file"});

    // The target is a directory: the finished temporary file cannot take its place and is removed.
    fs::create_directory(dir / "taken.png");
    EXPECT_FALSE(surface.SavePng((dir / "taken.png").string(), &error));
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    EXPECT_EQ(Entries(dir).size(), 2u);
    EXPECT_TRUE(fs::is_directory(dir / "taken.png"));

    // An empty surface has no picture to write.
    SoftwareSurface empty;
    EXPECT_FALSE(empty.SavePng((dir / "empty.png").string(), &error));
    EXPECT_FALSE(fs::exists(dir / "empty.png"));
}

} // namespace
} // namespace wqtrans
