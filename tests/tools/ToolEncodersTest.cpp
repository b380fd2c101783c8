// End-to-end: video read back with FFmpeg's libraries, GIF and WebP timing, loops and
// stored rectangles, pictures of another shape, and a failed write of every kind of
// output, which leaves nothing behind.
#include <sys/resource.h>

#include <cmath>
#include <csignal>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <gif_lib.h>
#include <webp/demux.h>

#include "tools/ToolHarness.h"

namespace wqtrans::tooltest {
namespace {

struct Video {
    std::string codec;
    int width = 0;
    int height = 0;
    std::vector<int64_t> pts; // in the stream's time base, in presentation order
    AVRational timeBase{0, 1};
};

// The video's packets, as its container stores them.
Video ReadVideo(const std::string& path) {
    Video video;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) {
        ADD_FAILURE() << "libavformat cannot open " << path;
        return video;
    }
    EXPECT_GE(avformat_find_stream_info(format, nullptr), 0);
    EXPECT_EQ(format->nb_streams, 1u);
    const AVStream* stream = format->streams[0];
    video.codec = avcodec_get_name(stream->codecpar->codec_id);
    video.width = stream->codecpar->width;
    video.height = stream->codecpar->height;
    video.timeBase = stream->time_base;
    AVPacket* packet = av_packet_alloc();
    while (av_read_frame(format, packet) >= 0) {
        video.pts.push_back(packet->pts);
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    avformat_close_input(&format);
    std::sort(video.pts.begin(), video.pts.end());
    return video;
}

// Frame i of a video at `fps` must start at i x 1000 / fps ms: exactly where the time
// base allows it, else within half a tick.
std::string TimingFault(const Video& video, int fps) {
    for (size_t i = 0; i < video.pts.size(); ++i) {
        const int64_t offset = video.pts[i] - video.pts[0];
        // offset x num / den == i / fps  <=>  offset x num x fps == i x den
        const int64_t lhs = offset * video.timeBase.num * fps;
        const int64_t rhs = static_cast<int64_t>(i) * video.timeBase.den;
        if (std::llabs(lhs - rhs) * 2 > static_cast<int64_t>(video.timeBase.num) * fps) {
            return "frame " + std::to_string(i) + " at " + std::to_string(offset) + " x " +
                   std::to_string(video.timeBase.num) + "/" + std::to_string(video.timeBase.den) + " s";
        }
    }
    return "";
}

class ToolEncoders : public ::testing::Test {
protected:
    void SetUp() override { WQ_REQUIRE_TOOL(); }
    Scratch dir;
};

TEST_F(ToolEncoders, VideoHasEveryFrameAtItsTimeWithoutAnFfmpegProgram) {
    // PATH holds nothing: the libraries do all the work. Odd sizes get an even frame.
    std::filesystem::create_directory(dir.dir / "empty");
    struct Case {
        const char* out;
        std::vector<std::string> extra;
        const char* codec;
        int fps;
        size_t frames;
    } cases[] = {
        {"v.mp4", {}, "h264", 30, 31},
        {"v.webm", {}, "vp9", 30, 31},
        {"v.mkv", {}, "h264", 25, 26},
        {"v.mov", {}, "h264", 24, 25},
        {"c.mp4", {"--codec", "mpeg4"}, "mpeg4", 30, 31},
        // 300 ms held before and 200 ms after the run (at least, in whole frames).
        {"h.mp4", {"--hold-start", "300", "--hold-end", "200"}, "h264", 30, 31 + 9 + 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.out);
        std::vector<std::string> args = {"render", "Fade",  "--size", "25x15", "--fps", std::to_string(c.fps),
                                         "-q",     "--out", c.out};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        const Result result = RunTool(args, dir, dir / "empty");
        ASSERT_EQ(result.status, 0) << result.err;
        const Video video = ReadVideo(dir / c.out);
        EXPECT_EQ(video.codec, c.codec);
        EXPECT_EQ(video.width, 26);
        EXPECT_EQ(video.height, 16);
        EXPECT_EQ(video.pts.size(), c.frames);
        EXPECT_EQ(TimingFault(video, c.fps), "");
    }
}

TEST_F(ToolEncoders, QualityTradesSize) {
    auto size = [&](const std::vector<std::string>& extra, const char* out) {
        std::vector<std::string> args = {"render", "Fade", "--size", "96x64", "-q", "--out", out};
        args.insert(args.end(), extra.begin(), extra.end());
        const Result result = RunTool(args, dir);
        EXPECT_EQ(result.status, 0) << result.err;
        return std::filesystem::file_size(dir / out);
    };
    EXPECT_LT(size({"--quality", "20"}, "low.mp4"), size({"--quality", "90"}, "high.mp4"));
    EXPECT_LT(size({"--quality", "20"}, "low.webm"), size({"--quality", "90"}, "high.webm"));
    EXPECT_LT(size({"--quality", "50"}, "low.gif"), size({"--quality", "100"}, "high.gif"));
    EXPECT_LT(size({}, "lossy.webp"), size({"--lossless"}, "lossless.webp"));
}

// The GIF's frames as a viewer shows them: each image drawn over the one before at its
// rectangle, transparent pixels showing through.
struct ShownGif {
    std::vector<std::vector<uint32_t>> frames; // 0x00RRGGBB
    std::vector<int> delays;                   // centiseconds
    size_t storedPixels = 0;
    int loops = -1; // the NETSCAPE block's count; -1 without one
};

ShownGif ShowGif(const std::string& path) {
    ShownGif shown;
    int error = 0;
    GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
    if (gif == nullptr || DGifSlurp(gif) != GIF_OK) {
        ADD_FAILURE() << "giflib cannot read " << path;
        return shown;
    }
    std::vector<uint32_t> canvas(static_cast<size_t>(gif->SWidth) * static_cast<size_t>(gif->SHeight));
    for (int i = 0; i < gif->ImageCount; ++i) {
        const SavedImage& image = gif->SavedImages[i];
        const GifImageDesc& d = image.ImageDesc;
        const ColorMapObject* map = d.ColorMap != nullptr ? d.ColorMap : gif->SColorMap;
        GraphicsControlBlock control{};
        DGifSavedExtensionToGCB(gif, i, &control);
        for (int y = 0; y < d.Height; ++y) {
            for (int x = 0; x < d.Width; ++x) {
                const int index = image.RasterBits[y * d.Width + x];
                if (index != control.TransparentColor) {
                    const GifColorType& c = map->Colors[index];
                    canvas[static_cast<size_t>((d.Top + y) * gif->SWidth + d.Left + x)] =
                        static_cast<uint32_t>(c.Red) << 16 | static_cast<uint32_t>(c.Green) << 8 | c.Blue;
                }
            }
        }
        shown.storedPixels += static_cast<size_t>(d.Width) * static_cast<size_t>(d.Height);
        shown.frames.push_back(canvas);
        shown.delays.push_back(control.DelayTime);
        for (int e = 0; e + 1 < image.ExtensionBlockCount; ++e) {
            const ExtensionBlock& block = image.ExtensionBlocks[e];
            if (block.Function == APPLICATION_EXT_FUNC_CODE && block.ByteCount == 11 &&
                std::memcmp(block.Bytes, "NETSCAPE2.0", 11) == 0) {
                const ExtensionBlock& data = image.ExtensionBlocks[e + 1];
                shown.loops = data.Bytes[1] | data.Bytes[2] << 8;
            }
        }
    }
    DGifCloseFile(gif, &error);
    return shown;
}

// The PSNR of a frame shown against the run's frame `frame-NNNN.png` in `frames`.
double ShownPsnr(const std::vector<uint32_t>& shown, const std::filesystem::path& frames, size_t i) {
    SoftwareSurface expected;
    char name[32];
    std::snprintf(name, sizeof name, "frame-%04u.png", static_cast<unsigned>(i));
    if (!expected.LoadPng(frames / name)) {
        ADD_FAILURE() << "cannot read " << (frames / name);
        return 0;
    }
    double error = 0;
    for (size_t p = 0; p < shown.size(); ++p) {
        for (int shift : {0, 8, 16}) {
            const double d = static_cast<double>((shown[p] >> shift) & 0xFF) -
                             static_cast<double>((expected.Pixels()[p] >> shift) & 0xFF);
            error += d * d;
        }
    }
    return 10 * std::log10(255.0 * 255.0 * 3 * static_cast<double>(shown.size()) / std::max(error, 1e-9));
}

// Grain over a smooth shading, like a photograph's: every frame of a fade between two
// such pictures misses the palette's quality target, and few pixels stay as they are.
SoftwareSurface GrainyPicture(int32_t w, int32_t h, uint32_t seed) {
    return MakePicture(w, h, [&](int32_t x, int32_t y) {
        uint32_t v = static_cast<uint32_t>(x) * 73856093u ^ static_cast<uint32_t>(y) * 19349663u ^ seed * 83492791u;
        v = (v ^ (v >> 13)) * 0x5bd1e995u;
        v ^= v >> 15;
        const auto channel = [&](int base, int shift) {
            return static_cast<uint32_t>(std::clamp(base + static_cast<int>((v >> shift) & 31) - 16, 0, 255));
        };
        const int r = static_cast<int>(seed * 40 + 4 * x) % 256;
        const int g = 60 + 3 * y;
        const int b = 200 - 2 * x - y;
        return 0xFF000000u | channel(r, 0) << 16 | channel(g, 5) << 8 | channel(b, 10);
    });
}

TEST_F(ToolEncoders, GifStoresOnlyWhatChanged) {
    // Door at 64 x 48 opens a gap that grows: after the first frame each image is a
    // part of the picture, and every frame shown is the run's frame within the
    // quantizer's error.
    const std::vector<std::string> run = {"render", "Door",  "--size", "64x48", "--duration",
                                          "300",    "--fps", "20",     "-q"};
    std::vector<std::string> args = run;
    args.insert(args.end(), {"--out", "frames"});
    ASSERT_EQ(RunTool(args, dir).status, 0);
    args = run;
    args.insert(args.end(), {"--out", "d.gif"});
    const Result result = RunTool(args, dir);
    ASSERT_EQ(result.status, 0) << result.err;
    const ShownGif gif = ShowGif(dir / "d.gif");
    ASSERT_EQ(gif.frames.size(), 7u);
    EXPECT_LT(gif.storedPixels, 7u * 64 * 48 * 2 / 3);
    for (size_t i = 0; i < gif.frames.size(); ++i) {
        EXPECT_GT(ShownPsnr(gif.frames[i], dir / "frames", i), 38.0) << "frame " << i;
    }
}

TEST_F(ToolEncoders, GifOfGrainyPicturesStaysCloseToEveryFrame) {
    // A fade between grainy pictures: the palettes fall short of their target and are
    // made again with fewer colours, and pixels stay as shown in runs where they are
    // close enough. Neither may let a frame drift from the run's: each frame shown is
    // measured, the last one too, which a stale pixel would spoil most.
    ASSERT_TRUE(GrainyPicture(64, 48, 1).SavePng(dir / "a.png"));
    ASSERT_TRUE(GrainyPicture(64, 48, 2).SavePng(dir / "b.png"));
    const std::vector<std::string> run = {"render", "Fade",       "--from", "a.png", "--to", "b.png", "--size",
                                          "64x48",  "--duration", "500",    "--fps", "20",   "-q"};
    std::vector<std::string> args = run;
    args.insert(args.end(), {"--out", "frames"});
    ASSERT_EQ(RunTool(args, dir).status, 0);
    args = run;
    args.insert(args.end(), {"--out", "g.gif"});
    const Result result = RunTool(args, dir);
    ASSERT_EQ(result.status, 0) << result.err;
    const ShownGif gif = ShowGif(dir / "g.gif");
    ASSERT_EQ(gif.frames.size(), 11u);
    for (size_t i = 0; i < gif.frames.size(); ++i) {
        EXPECT_GT(ShownPsnr(gif.frames[i], dir / "frames", i), 32.0) << "frame " << i;
    }
}

TEST_F(ToolEncoders, GifIsTheSameWhateverTheThreads) {
    // Palettes are made a few frames ahead on worker threads; the frames must still
    // meet what is shown in order. Door changes a part, Fade all, Mosaic scattered
    // blocks; an odd size and dithering take the other paths, grain the palettes
    // made again with fewer colours.
    ASSERT_TRUE(GrainyPicture(48, 32, 1).SavePng(dir / "a.png"));
    ASSERT_TRUE(GrainyPicture(48, 32, 2).SavePng(dir / "b.png"));
    const std::vector<std::vector<std::string>> runs = {
        {"Door", "--size", "61x47"},
        {"Fade", "--size", "48x32", "--dither"},
        {"Mosaic", "--size", "64x48", "--hold-end", "300"},
        {"Fade", "--size", "48x32", "--from", "a.png", "--to", "b.png"},
    };
    for (const std::vector<std::string>& run : runs) {
        SCOPED_TRACE(run.front());
        std::string one;
        for (const char* threads : {"1", "2", "5"}) {
            std::vector<std::string> args = {"render",    run.front(), "--duration", "400",  "-q",
                                             "--threads", threads,     "--out",      "t.gif"};
            args.insert(args.end(), run.begin() + 1, run.end());
            const Result result = RunTool(args, dir);
            ASSERT_EQ(result.status, 0) << result.err;
            const std::string bytes = ReadText(dir / "t.gif");
            if (one.empty()) {
                one = bytes;
            } else {
                EXPECT_TRUE(bytes == one) << threads << " threads";
            }
        }
    }
}

struct LoopCase {
    std::vector<std::string> args;
    int gifLoops;  // NETSCAPE count, -1 for none
    int webpLoops; // WebP loop count
    std::vector<int> gifDelays;
    int webpEndMs;
};

TEST_F(ToolEncoders, GifAndWebpHoldAndLoop) {
    // 100 ms at 20 fps: frames at 0, 50, 100 ms, the last shown for one frame unless held.
    const LoopCase cases[] = {
        {{}, 0, 0, {5, 5, 5}, 150},
        {{"--no-loop"}, -1, 1, {5, 5, 5}, 150},
        {{"--loop", "3"}, 2, 3, {5, 5, 5}, 150},
        {{"--hold-start", "500", "--hold-end", "1000"}, 0, 0, {55, 5, 100}, 1600},
        {{"--hold-end", "20"}, 0, 0, {5, 5, 5}, 150},
    };
    for (const LoopCase& c : cases) {
        std::string trace;
        for (const std::string& a : c.args) {
            trace += a + " ";
        }
        SCOPED_TRACE(trace);
        for (const char* out : {"l.gif", "l.webp"}) {
            std::vector<std::string> args = {"render", "Fade", "--size", "16x12", "--duration", "100",
                                             "--fps",  "20",   "-q",     "--out", out};
            args.insert(args.end(), c.args.begin(), c.args.end());
            const Result result = RunTool(args, dir);
            ASSERT_EQ(result.status, 0) << result.err;
        }
        const ShownGif gif = ShowGif(dir / "l.gif");
        EXPECT_EQ(gif.loops, c.gifLoops);
        EXPECT_EQ(gif.delays, c.gifDelays);

        const std::string bytes = ReadText(dir / "l.webp");
        WebPData data{reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()};
        WebPAnimDecoder* decoder = WebPAnimDecoderNew(&data, nullptr);
        ASSERT_NE(decoder, nullptr);
        WebPAnimInfo info;
        WebPAnimDecoderGetInfo(decoder, &info);
        EXPECT_EQ(static_cast<int>(info.loop_count), c.webpLoops);
        int end = 0;
        while (WebPAnimDecoderHasMoreFrames(decoder)) {
            uint8_t* buffer = nullptr;
            WebPAnimDecoderGetNext(decoder, &buffer, &end);
        }
        EXPECT_EQ(end, c.webpEndMs);
        WebPAnimDecoderDelete(decoder);
    }
}

TEST_F(ToolEncoders, PicturesOfAnotherShapeAreFitted) {
    // A 32 x 8 picture, red on the left half and blue on the right, into 16 x 16.
    SoftwareSurface wide = MakePicture(32, 8, [](int32_t x, int32_t) { return x < 16 ? 0xFFFF0000u : 0xFF0000FFu; });
    ASSERT_TRUE(wide.SavePng(dir / "wide.png"));
    struct Case {
        std::vector<std::string> fit;
        uint32_t top;    // pixel (0, 0)
        uint32_t middle; // pixel (1, 8)
    } cases[] = {
        {{}, 0x000000, 0xFF0000},                          // contain, black bars above and below
        {{"--background", "#00ff00"}, 0x00FF00, 0xFF0000}, // contain on green
        {{"--fit", "stretch"}, 0xFF0000, 0xFF0000},        // the whole height
        {{"--fit", "cover"}, 0xFF0000, 0xFF0000},          // the middle 8 x 8: red, then blue
        // Around the 16 x 4 picture, its middle 4 x 4 (2 columns red, 2 blue) made 2 x 2,
        // blurred (three passes of radius 1 leave 14/27 red on the left) and darkened to
        // three quarters: 255 * 14/27 * 0.75 red, 255 * 13/27 * 0.75 blue.
        {{"--fit", "blur"}, 0x63005C, 0xFF0000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fit.empty() ? "contain" : c.fit.back());
        std::vector<std::string> args = {"render", "Fade",  "--from", "wide.png", "--to", "wide.png",
                                         "--size", "16x16", "-q",     "--out",    "f.png"};
        args.insert(args.end(), c.fit.begin(), c.fit.end());
        const Result result = RunTool(args, dir);
        ASSERT_EQ(result.status, 0) << result.err;
        SoftwareSurface out;
        ASSERT_TRUE(out.LoadPng(dir / "f.png"));
        EXPECT_EQ(out.Pixel(0, 0) & 0xFFFFFF, c.top);
        EXPECT_EQ(out.Pixel(1, 8) & 0xFFFFFF, c.middle);
        EXPECT_EQ(out.Pixel(14, 8) & 0xFFFFFF, 0x0000FFu);
    }
}

// A file-size limit for the tool's child processes, lifted again at the end.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved);
        rlimit limit = saved;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
        previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previousHandler);
    }

private:
    rlimit saved{};
    void (*previousHandler)(int) = nullptr;
};

TEST_F(ToolEncoders, AFailedWriteOfEveryKindIsReportedAndLeavesNothing) {
    // Each output is written once whole, then again under a file-size limit that stops
    // it early (2 KB) and one that stops its very last write (the trailer of a video,
    // GIF or PNG, the assembled WebP): exit 1, the error named, no file left.
    const char* outputs[] = {"o.gif", "o.webp", "o.mp4", "o.webm", "o.mkv", "o.mov", "o.png", "frames/"};
    for (const char* out : outputs) {
        SCOPED_TRACE(out);
        const std::vector<std::string> args = {"render", "Fade", "--size", "160x120", "-q", "--out", out};
        ASSERT_EQ(RunTool(args, dir).status, 0);
        const std::string written = std::string(out) == "frames/" ? "frames/frame-0030.png" : out;
        const auto whole = static_cast<rlim_t>(std::filesystem::file_size(dir / written));
        std::filesystem::remove_all(dir / out);
        const std::vector<std::string> before = dir.Names();
        for (const rlim_t limit : {rlim_t{2048}, whole - 1}) {
            SCOPED_TRACE("limit " + std::to_string(limit));
            Result result;
            {
                FileSizeLimit fileSize(limit);
                result = RunTool(args, dir);
            }
            EXPECT_EQ(result.status, 1);
            EXPECT_NE(result.err.find("cannot write"), std::string::npos) << result.err;
            if (std::string(out).find(".png") == std::string::npos && std::string(out) != "frames/") {
                EXPECT_NE(result.err.find("File too large"), std::string::npos) << result.err;
            }
            EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
            EXPECT_EQ(dir.Names(), before);
        }
    }
}

} // namespace
} // namespace wqtrans::tooltest
