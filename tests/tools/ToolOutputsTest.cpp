// End-to-end: the tool's outputs, each decoded with its own library.
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstdio>
#include <functional>
#include <thread>

#include <gif_lib.h>
#include <png.h>
#include <webp/demux.h>
#include <webp/encode.h>

#include "tools/ToolHarness.h"

namespace wqtrans::tooltest {
namespace {

constexpr int32_t kW = 24;
constexpr int32_t kH = 16;

// Flat pictures with few colours, so that a GIF holds them exactly.
uint32_t OldPixel(int32_t x, int32_t y) { return 0xFF000000u | (x / 4) * 0x200000u | (y / 4) * 0x003000u | 0x10u; }
uint32_t NewPixel(int32_t x, int32_t y) { return 0xFF0000F0u | ((x + y) % 3 == 0 ? 0x40FF00u : 0x102000u); }

struct Decoded {
    std::vector<std::vector<uint32_t>> frames; // 0x00RRGGBB
    std::vector<int> delays;                   // GIF: centiseconds; WebP: end times in ms
    int width = 0;
    int height = 0;
};

Decoded DecodeGif(const std::string& path) {
    Decoded decoded;
    int error = 0;
    GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
    if (gif == nullptr) {
        ADD_FAILURE() << "giflib cannot open " << path << ": " << GifErrorString(error);
        return decoded;
    }
    if (DGifSlurp(gif) != GIF_OK) {
        ADD_FAILURE() << "giflib cannot read " << path;
        DGifCloseFile(gif, &error);
        return decoded;
    }
    decoded.width = gif->SWidth;
    decoded.height = gif->SHeight;
    for (int i = 0; i < gif->ImageCount; ++i) {
        const SavedImage& image = gif->SavedImages[i];
        const ColorMapObject* map = image.ImageDesc.ColorMap != nullptr ? image.ImageDesc.ColorMap : gif->SColorMap;
        std::vector<uint32_t> pixels;
        for (int p = 0; p < image.ImageDesc.Width * image.ImageDesc.Height; ++p) {
            const GifColorType& c = map->Colors[image.RasterBits[p]];
            pixels.push_back(static_cast<uint32_t>(c.Red) << 16 | static_cast<uint32_t>(c.Green) << 8 | c.Blue);
        }
        decoded.frames.push_back(pixels);
        GraphicsControlBlock control{};
        DGifSavedExtensionToGCB(gif, i, &control);
        decoded.delays.push_back(control.DelayTime);
    }
    DGifCloseFile(gif, &error);
    return decoded;
}

Decoded DecodeWebp(const std::string& path) {
    Decoded decoded;
    const std::string bytes = ReadText(path);
    WebPData data{reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()};
    WebPAnimDecoderOptions options;
    WebPAnimDecoderOptionsInit(&options);
    options.color_mode = MODE_BGRA;
    WebPAnimDecoder* decoder = WebPAnimDecoderNew(&data, &options);
    if (decoder == nullptr) {
        ADD_FAILURE() << "libwebp cannot read " << path;
        return decoded;
    }
    WebPAnimInfo info;
    WebPAnimDecoderGetInfo(decoder, &info);
    decoded.width = static_cast<int>(info.canvas_width);
    decoded.height = static_cast<int>(info.canvas_height);
    while (WebPAnimDecoderHasMoreFrames(decoder)) {
        uint8_t* buffer = nullptr;
        int timestamp = 0;
        WebPAnimDecoderGetNext(decoder, &buffer, &timestamp);
        std::vector<uint32_t> pixels;
        for (int p = 0; p < decoded.width * decoded.height; ++p) {
            const uint8_t* b = buffer + p * 4;
            pixels.push_back(static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[1]) << 8 | b[0]);
        }
        decoded.frames.push_back(pixels);
        decoded.delays.push_back(timestamp);
    }
    WebPAnimDecoderDelete(decoder);
    return decoded;
}

std::vector<uint32_t> LoadPixels(const std::string& path) {
    SoftwareSurface picture;
    std::string error;
    EXPECT_TRUE(picture.LoadPng(path, &error)) << error;
    return PixelsOf(picture);
}

class ToolOutputs : public ::testing::Test {
protected:
    void SetUp() override {
        WQ_REQUIRE_TOOL();
        oldPicture = MakePicture(kW, kH, OldPixel);
        newPicture = MakePicture(kW, kH, NewPixel);
        ASSERT_TRUE(oldPicture.SavePng(dir / "old.png"));
        ASSERT_TRUE(newPicture.SavePng(dir / "new.png"));
    }
    Result Render(const std::vector<std::string>& extra) {
        std::vector<std::string> args = {"render", "--from", "old.png", "--to", "new.png", "--quiet"};
        args.insert(args.end(), extra.begin(), extra.end());
        return RunTool(args, dir);
    }

    Scratch dir;
    SoftwareSurface oldPicture;
    SoftwareSurface newPicture;
};

// Frame count = duration x fps / 1000 + 1; frames at 0, 1000/fps, ... and the last at
// the duration exactly; the last one is shown for one more frame interval.
struct Timing {
    const char* duration;
    const char* fps;
    size_t frames;
    std::vector<int> gifDelays; // centiseconds
    std::vector<int> webpEnds;  // ms
};

const Timing kTimings[] = {
    {"200", "25", 6, {4, 4, 4, 4, 4, 4}, {40, 80, 120, 160, 200, 240}},
    {"1050",
     "10",
     11,
     {10, 10, 10, 10, 10, 10, 10, 10, 10, 15, 10},
     {100, 200, 300, 400, 500, 600, 700, 800, 900, 1050, 1150}},
};

TEST_F(ToolOutputs, GifFramesStartOnTheOldPictureAndEndOnTheNew) {
    for (const Timing& timing : kTimings) {
        SCOPED_TRACE(std::string(timing.duration) + " ms at " + timing.fps + " fps");
        const Result result = Render({"Fade", "--duration", timing.duration, "--fps", timing.fps, "--out", "f.gif"});
        ASSERT_EQ(result.status, 0) << result.err;
        const Decoded gif = DecodeGif(dir / "f.gif");
        ASSERT_EQ(gif.frames.size(), timing.frames);
        EXPECT_EQ(gif.width, kW);
        EXPECT_EQ(gif.height, kH);
        EXPECT_EQ(gif.delays, timing.gifDelays);
        EXPECT_EQ(Difference(gif.frames.front(), oldPicture), "");
        EXPECT_EQ(Difference(gif.frames.back(), newPicture), "");
    }
}

TEST_F(ToolOutputs, WebpFramesStartOnTheOldPictureAndEndOnTheNew) {
    for (const Timing& timing : kTimings) {
        SCOPED_TRACE(std::string(timing.duration) + " ms at " + timing.fps + " fps");
        const Result result =
            Render({"Fade", "--duration", timing.duration, "--fps", timing.fps, "--lossless", "--out", "f.webp"});
        ASSERT_EQ(result.status, 0) << result.err;
        const Decoded webp = DecodeWebp(dir / "f.webp");
        ASSERT_EQ(webp.frames.size(), timing.frames);
        EXPECT_EQ(webp.width, kW);
        EXPECT_EQ(webp.delays, timing.webpEnds);
        EXPECT_EQ(Difference(webp.frames.front(), oldPicture), "");
        EXPECT_EQ(Difference(webp.frames.back(), newPicture), "");
    }
}

TEST_F(ToolOutputs, WebpKeepsFramesThatDoNotChange) {
    // Scrolling draws nothing at e = 0 and nothing new once it has arrived; every step
    // is still a frame of its own.
    const Result result = Render({"Scrolling", "--duration", "100", "--fps", "40", "--out", "s.webp"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(DecodeWebp(dir / "s.webp").frames.size(), 5u);
}

TEST_F(ToolOutputs, DirectoryHoldsNumberedFrames) {
    // An existing directory keeps its other files; numbered frames of an earlier,
    // longer run do not stay behind to mix with the new ones.
    std::filesystem::create_directory(dir.dir / "frames");
    std::ofstream(dir / "frames/notes.txt") << "mine";
    std::ofstream(dir / "frames/frame-0009.png") << "an earlier run";
    const Result result = Render({"Fade", "--duration", "200", "--fps", "25", "--out", "frames"});
    ASSERT_EQ(result.status, 0) << result.err;
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.dir / "frames")) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"frame-0000.png", "frame-0001.png", "frame-0002.png", "frame-0003.png",
                                               "frame-0004.png", "frame-0005.png", "notes.txt"}));
    EXPECT_EQ(Difference(LoadPixels(dir / "frames/frame-0000.png"), oldPicture), "");
    EXPECT_EQ(Difference(LoadPixels(dir / "frames/frame-0005.png"), newPicture), "");
    // Nothing else is left next to it.
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"frames", "new.png", "old.png"}));
}

TEST_F(ToolOutputs, PicturesOfAnotherSizeAreScaled) {
    // A flat 12 x 8 new picture is scaled to the old one's 24 x 16 and the tool says
    // so; --size scales both, and halving a picture of flat 2 x 2 blocks (area
    // scaling) gives one pixel of the block's colour each.
    SoftwareSurface flat = MakePicture(12, 8, [](int32_t, int32_t) { return 0xFF20C040u; });
    ASSERT_TRUE(flat.SavePng(dir / "small.png"));
    SoftwareSurface flatBig = MakePicture(kW, kH, [](int32_t, int32_t) { return 0xFF20C040u; });
    Result result =
        RunTool({"render", "Fade", "--from", "old.png", "--to", "small.png", "--quiet", "--out", "p.png"}, dir);
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.err.find("scaled"), std::string::npos) << result.err;
    EXPECT_EQ(Difference(LoadPixels(dir / "p.png"), flatBig), "");

    SoftwareSurface blocks = MakePicture(12, 8, [](int32_t x, int32_t y) { return NewPixel(x, y); });
    SoftwareSurface doubled = MakePicture(kW, kH, [](int32_t x, int32_t y) { return NewPixel(x / 2, y / 2); });
    ASSERT_TRUE(doubled.SavePng(dir / "big.png"));
    ASSERT_TRUE(blocks.SavePng(dir / "blocks.png"));
    result = RunTool(
        {"render", "Fade", "--from", "blocks.png", "--to", "big.png", "--size", "12x8", "--quiet", "--out", "q.png"},
        dir);
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err.find("scaled"), std::string::npos) << result.err;
    EXPECT_EQ(Difference(LoadPixels(dir / "q.png"), blocks), "");
}

TEST_F(ToolOutputs, JpegAndWebpPicturesAreRead) {
    // A lossless WebP comes back exactly; a JPEG of flat 8 x 8 blocks within a small
    // error.
    uint8_t* webp = nullptr;
    const size_t size =
        WebPEncodeLosslessBGRA(reinterpret_cast<const uint8_t*>(newPicture.Pixels()), kW, kH, kW * 4, &webp);
    ASSERT_GT(size, 0u);
    std::ofstream(dir / "new.webp", std::ios::binary)
        .write(reinterpret_cast<const char*>(webp), static_cast<std::streamsize>(size));
    WebPFree(webp);
    SoftwareSurface blocks = MakePicture(kW, kH, [](int32_t x, int32_t y) {
        return x < 8 ? 0xFFC02040u : y < 8 ? 0xFF30A050u : 0xFF2040E0u;
    });
    SaveJpeg(blocks, dir / "old.jpg");

    Result result = RunTool({"render", "Fade", "--from", "old.jpg", "--to", "new.webp", "-q", "--out", "end.png"}, dir);
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(Difference(LoadPixels(dir / "end.png"), newPicture), "");

    result = RunTool(
        {"render", "Fade", "--from", "old.jpg", "--to", "new.webp", "-q", "--at", "0", "--out", "start.png"}, dir);
    ASSERT_EQ(result.status, 0) << result.err;
    const std::vector<uint32_t> start = LoadPixels(dir / "start.png");
    ASSERT_EQ(start.size(), static_cast<size_t>(kW * kH));
    int worst = 0;
    for (size_t i = 0; i < start.size(); ++i) {
        for (int shift : {0, 8, 16}) {
            worst = std::max(worst, std::abs(static_cast<int>((start[i] >> shift) & 0xFF) -
                                             static_cast<int>((blocks.Pixels()[i] >> shift) & 0xFF)));
        }
    }
    EXPECT_LE(worst, 8);
}

TEST_F(ToolOutputs, SeedRepeatsARandomRun) {
    auto mosaic = [&](const char* seed, const char* out) {
        const Result result = RunTool(
            {"render", "Mosaic", "--size", "64x48", "--seed", seed, "--at", "300", "--quiet", "--out", out}, dir);
        EXPECT_EQ(result.status, 0) << result.err;
        return LoadPixels(dir / out);
    };
    const std::vector<uint32_t> first = mosaic("7", "a.png");
    EXPECT_EQ(first, mosaic("7", "b.png"));
    EXPECT_NE(first, mosaic("8", "c.png"));
}

TEST_F(ToolOutputs, PngShowsTheMomentAsked) {
    // Scrolling from the left at e = 100 of 200 ms: s = 24 x 100 / 200 = 12, the new
    // picture lies at x = -12; the right half is still the old picture.
    SoftwareSurface halfway =
        MakePicture(kW, kH, [](int32_t x, int32_t y) { return x < 12 ? NewPixel(x + 12, y) : OldPixel(x, y); });
    struct Case {
        std::vector<std::string> args;
        SoftwareSurface* expected;
    } cases[] = {
        {{"Fade", "--duration", "200", "--at", "0", "--out", "p.png"}, &oldPicture},
        {{"Fade", "--duration", "200", "--out", "p.png"}, &newPicture},
        {{"Scrolling", "--duration", "200", "--fps", "25", "--at", "100", "--out", "p.png"}, &halfway},
        // From the duration on, the stage shows the new picture.
        {{"Turn 2", "--duration", "200", "--at", "200", "--out", "p.png"}, &newPicture},
        {{"Scrolling", "--duration", "200", "--at", "5000", "--out", "p.png"}, &newPicture},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args.back());
        const Result result = Render(c.args);
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(Difference(LoadPixels(dir / "p.png"), *c.expected), "");
    }
}

TEST_F(ToolOutputs, EveryRunEndsOnTheNewPicture) {
    // Odd sizes, a width not divisible by 3 and 1 fps: sizes and rates at which some
    // transitions' own last step leaves pixels of the old picture.
    SoftwareSurface odd = MakePicture(25, 15, NewPixel);
    ASSERT_TRUE(MakePicture(25, 15, OldPixel).SavePng(dir / "odd-old.png"));
    ASSERT_TRUE(odd.SavePng(dir / "odd-new.png"));
    const Result list = RunTool({"list", "--json"}, dir);
    const std::optional<Json> json = JsonReader(list.out).Parse();
    ASSERT_TRUE(json);
    const Json& transitions = (*json)["transitions"];
    ASSERT_EQ(transitions.size(), 21u);
    for (size_t i = 0; i < transitions.size(); ++i) {
        const std::string name = transitions[i]["name"].str();
        for (const char* fps : {"1", "30"}) {
            SCOPED_TRACE(name + " at " + fps + " fps");
            const Result result = RunTool({"render", name, "--from", "odd-old.png", "--to", "odd-new.png", "--fps", fps,
                                           "--duration", "1000", "-q", "--out", "end.png"},
                                          dir);
            ASSERT_EQ(result.status, 0) << result.err;
            EXPECT_EQ(Difference(LoadPixels(dir / "end.png"), odd), "");
        }
    }
    // --module-last-step keeps what Turn 2 draws at its last step: the turning frame
    // over what the destination held, not the new picture alone.
    const Result own = RunTool({"render", "Turn 2", "--from", "odd-old.png", "--to", "odd-new.png", "--fps", "1", "-q",
                                "--module-last-step", "--out", "own.png"},
                               dir);
    ASSERT_EQ(own.status, 0) << own.err;
    EXPECT_NE(Difference(LoadPixels(dir / "own.png"), odd), "");
}

TEST_F(ToolOutputs, ModulesLastStepIsOneFrameInRunsAndAtAnyMomentAfter) {
    // Durations that end between two frames of their rate, and Zoom 2 zooming in, whose
    // last step draws nothing: the run's last frame, `render --at` the end and a moment
    // long after it show one picture.
    const std::vector<std::vector<std::string>> transitions = {
        {"Open"}, {"Push"}, {"Turn 2"}, {"ZigZag 2"}, {"Stretch 2"}, {"Zoom 2", "--block", "01000000"}};
    const std::pair<const char*, const char*> timelines[] = {{"1010", "30"}, {"517", "60"}};
    for (const std::vector<std::string>& transition : transitions) {
        for (const auto& [duration, fps] : timelines) {
            SCOPED_TRACE(transition[0] + ", " + duration + " ms at " + fps + " fps");
            std::vector<std::string> args = transition;
            args.insert(args.end(), {"--duration", duration, "--fps", fps, "--module-last-step", "--out"});
            auto with = [&](std::vector<std::string> tail) {
                std::vector<std::string> all = args;
                all.insert(all.end(), tail.begin(), tail.end());
                return Render(all);
            };
            std::filesystem::remove_all(dir.dir / "run");
            ASSERT_EQ(with({"run/"}).status, 0);
            ASSERT_EQ(with({"end.png", "--at", duration}).status, 0);
            ASSERT_EQ(with({"later.png", "--at", "4294967295"}).status, 0);
            std::vector<std::string> frames;
            for (const auto& entry : std::filesystem::directory_iterator(dir.dir / "run")) {
                frames.push_back(entry.path().string());
            }
            std::sort(frames.begin(), frames.end());
            ASSERT_EQ(frames.size(), size_t(std::stoi(duration) * std::stoi(fps) / 1000 + 1));
            EXPECT_EQ(LoadPixels(frames.back()), LoadPixels(dir / "end.png"));
            EXPECT_EQ(LoadPixels(frames.back()), LoadPixels(dir / "later.png"));
        }
    }
}

TEST_F(ToolOutputs, ReplacedFilesKeepTheirModeAndOwner) {
    // A private picture stays private when a run replaces it; a file that is new gets a
    // new file's mode. Run as root, the owner and group are kept too.
    std::filesystem::create_directory(dir.dir / "frames");
    const std::pair<std::string, mode_t> kept[] = {
        {"private.png", 0600}, {"shared.gif", 0640}, {"frames/frame-0001.png", 0604}};
    for (const auto& [name, mode] : kept) {
        std::ofstream(dir / name) << "an earlier output";
        ASSERT_EQ(chmod((dir / name).c_str(), mode), 0);
        if (geteuid() == 0) {
            ASSERT_EQ(chown((dir / name).c_str(), 4321, 4322), 0);
        }
    }
    ASSERT_EQ(Render({"Fade", "--at", "500", "--out", "private.png"}).status, 0);
    ASSERT_EQ(Render({"Fade", "--duration", "100", "--out", "shared.gif"}).status, 0);
    ASSERT_EQ(Render({"Fade", "--duration", "100", "--out", "frames/"}).status, 0);
    ASSERT_EQ(Render({"Fade", "--at", "500", "--out", "new.gif.png"}).status, 0);
    const mode_t mask = umask(0);
    umask(mask);
    for (const auto& [name, mode] : kept) {
        SCOPED_TRACE(name);
        struct stat info {};
        ASSERT_EQ(stat((dir / name).c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, mode);
        EXPECT_NE(ReadText(dir / name), "an earlier output");
        if (geteuid() == 0) {
            EXPECT_EQ(info.st_uid, 4321u);
            EXPECT_EQ(info.st_gid, 4322u);
        }
    }
    struct stat fresh {};
    ASSERT_EQ(stat((dir / "new.gif.png").c_str(), &fresh), 0);
    EXPECT_EQ(fresh.st_mode & 07777, 0666 & ~mask);
    ASSERT_EQ(stat((dir / "frames/frame-0000.png").c_str(), &fresh), 0);
    EXPECT_EQ(fresh.st_mode & 07777, 0666 & ~mask);
}

TEST_F(ToolOutputs, PicturesComeFromAnyStream) {
    // stdin as a file or a pipe, and a named FIFO, all read like the file itself.
    const Result expected = Render({"Fade", "--at", "500", "--out", "file.png"});
    ASSERT_EQ(expected.status, 0) << expected.err;
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    struct Case {
        const char* what;
        std::string from;
        std::optional<std::string> input;
    } cases[] = {{"stdin from a file", "-", "old.png"}, {"stdin from a pipe", "-", "fifo"}, {"a FIFO", "fifo", {}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // A writer for the FIFO: its open waits until the tool opens the other end.
        std::thread writer;
        if (c.from == "fifo" || c.input == "fifo") {
            writer = std::thread([&] { std::ofstream(dir / "fifo", std::ios::binary) << ReadText(dir / "old.png"); });
        }
        const Result result =
            RunTool({"render", "Fade", "--from", c.from, "--to", "new.png", "-q", "--at", "500", "--out", "stream.png"},
                    dir, std::nullopt, c.input);
        if (writer.joinable()) {
            writer.join();
        }
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(ReadText(dir / "stream.png"), ReadText(dir / "file.png"));
    }
}

TEST_F(ToolOutputs, StdoutCarriesTheOutputAndStderrTheSummary) {
    const Result file = Render({"Fade", "--duration", "200", "--fps", "25", "--out", "f.gif"});
    ASSERT_EQ(file.status, 0) << file.err;
    struct Case {
        const char* format;
        std::function<size_t(const std::string&)> frames;
    } cases[] = {
        {"gif", [](const std::string& path) { return DecodeGif(path).frames.size(); }},
        {"webp", [](const std::string& path) { return DecodeWebp(path).frames.size(); }},
        {"png", [](const std::string& path) { return LoadPixels(path).size() == size_t{kW * kH} ? size_t{1} : 0; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        const Result result = RunTool({"render", "Fade", "--from", "old.png", "--to", "new.png", "--duration", "200",
                                       "--fps", "25", "--format", c.format, "--out", "-"},
                                      dir);
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.err.rfind("wrote stdout: Fade", 0), 0u) << result.err;
        const std::string path = dir / (std::string("out.") + c.format);
        std::ofstream(path, std::ios::binary) << result.out;
        EXPECT_EQ(c.frames(path), std::string(c.format) == "png" ? 1u : 6u);
    }
    EXPECT_EQ(ReadText(dir / "out.gif"), ReadText(dir / "f.gif"));
    // A sheet is a PNG whatever the name.
    const Result sheet = RunTool({"sheet", "Fade", "--size", "16x12", "-q", "--out", "-"}, dir);
    ASSERT_EQ(sheet.status, 0) << sheet.err;
    EXPECT_EQ(sheet.out.rfind("\x89PNG", 0), 0u);
}

TEST_F(ToolOutputs, TranslucentPicturesLieOnTheBackground) {
    // Two pixels, straight alpha: red at half cover, and green not covering at all.
    const uint8_t rgba[] = {128, 0, 0, 128, 0, 255, 0, 0};
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = 2;
    image.height = 1;
    image.format = PNG_FORMAT_RGBA;
    ASSERT_NE(png_image_write_to_file(&image, (dir / "alpha.png").c_str(), 0, rgba, 0, nullptr), 0);
    uint8_t* webp = nullptr;
    const size_t webpSize = WebPEncodeLosslessRGBA(rgba, 2, 1, 8, &webp);
    ASSERT_GT(webpSize, 0u);
    std::ofstream(dir / "alpha.webp", std::ios::binary).write(reinterpret_cast<const char*>(webp), webpSize);
    WebPFree(webp);
    // (c x a + background x (255 - a)) / 255, rounded, in each channel.
    struct Case {
        const char* picture;
        const char* background;
        uint32_t first;
        uint32_t second;
    } cases[] = {
        {"alpha.png", "black", 0xFF400000u, 0xFF000000u},
        {"alpha.png", "white", 0xFFBF7F7Fu, 0xFFFFFFFFu},
        {"alpha.png", "#0000FF", 0xFF40007Fu, 0xFF0000FFu},
        {"alpha.webp", "white", 0xFFBF7F7Fu, 0xFFFFFFFFu},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.picture) + " on " + c.background);
        const Result result = RunTool(
            {"render", "Fade", "--from", c.picture, "--background", c.background, "--at", "0", "-q", "--out", "on.png"},
            dir);
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(LoadPixels(dir / "on.png"), (std::vector<uint32_t>{c.first, c.second}));
    }
}

TEST_F(ToolOutputs, LinksDevicesAndFifosAreWrittenIntoNotReplaced) {
    const Result regular = Render({"Fade", "--duration", "200", "--out", "regular.gif"});
    ASSERT_EQ(regular.status, 0) << regular.err;
    const std::string expected = ReadText(dir / "regular.gif");
    std::filesystem::create_symlink("target.gif", dir.dir / "link.gif");
    std::filesystem::create_symlink("missing/../dangling-target.gif", dir.dir / "dangling.gif");
    std::filesystem::create_directory(dir.dir / "missing");
    std::filesystem::create_symlink("link.gif", dir.dir / "chain.gif");
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    struct Case {
        const char* out;
        const char* written; // the file that receives the GIF
    } cases[] = {{"link.gif", "target.gif"}, {"dangling.gif", "dangling-target.gif"}, {"chain.gif", "target.gif"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.out);
        const Result result = Render({"Fade", "--duration", "200", "--out", c.out});
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_TRUE(std::filesystem::is_symlink(dir.dir / c.out));
        EXPECT_EQ(ReadText(dir / c.written), expected);
    }
    // A FIFO: its reader gets the file whole, and the FIFO stays.
    std::string read;
    std::thread reader([&] { read = ReadText(dir / "fifo"); });
    const Result fifo = Render({"Fade", "--duration", "200", "--format", "gif", "--out", "fifo"});
    reader.join();
    ASSERT_EQ(fifo.status, 0) << fifo.err;
    EXPECT_EQ(read, expected);
    EXPECT_TRUE(std::filesystem::is_fifo(dir.dir / "fifo"));
    // A device that refuses the bytes: its error, and the device is still there. Only
    // root may make one (a copy of /dev/full).
    if (mknod((dir / "full").c_str(), S_IFCHR | 0600, makedev(1, 7)) != 0) {
        GTEST_SKIP() << "mknod needs root";
    }
    const Result full = Render({"Fade", "--duration", "200", "--format", "gif", "--out", "full"});
    EXPECT_EQ(full.status, 1);
    EXPECT_NE(full.err.find("cannot write \"full\": No space left on device"), std::string::npos) << full.err;
    EXPECT_TRUE(std::filesystem::is_character_file(dir.dir / "full"));
}

} // namespace
} // namespace wqtrans::tooltest
