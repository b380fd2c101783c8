// The join engine's frames against the frame renderer on the inputs' own frames, decoded
// apart by the ffmpeg program from clips it made; inputs turned, of other rates, and
// pictures; and the tool's one-line refusals of what cannot be joined.
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/display.h>
}

#include "host/FrameRenderer.h"
#include "join/Join.h"
#include "join/JoinError.h"
#include "join/TestMedia.h"
#include "media/Picture.h"
#include "module/Types.h"
#include "tools/ToolHarness.h"

namespace wqtrans::join {
namespace {

using tooltest::Result;
using tooltest::RunTool;
using tooltest::Scratch;

constexpr uint32_t kPush = MakeId('S', 'E', '0', '6');
constexpr uint32_t kTurn2 = MakeId('S', 'E', '0', '2');
constexpr uint32_t kDoor = MakeId('D', 'O', 'O', 'R');

// Whole files as inputs.
std::vector<InputSpec> Files(const Scratch& dir, std::initializer_list<const char*> names) {
    std::vector<InputSpec> inputs;
    for (const char* name : names) {
        inputs.push_back({dir / name, std::nullopt, std::nullopt});
    }
    return inputs;
}

using jointest::Ffmpeg;

// Every frame of a file, decoded by the ffmpeg program into BGRA pictures of w x h.
std::vector<SoftwareSurface> Frames(const Scratch& dir, const std::string& file, int32_t w, int32_t h) {
    Ffmpeg(dir, "-i " + file + " -f rawvideo -pix_fmt bgra " + file + ".raw");
    const std::string bytes = tooltest::ReadText(dir / (file + ".raw"));
    const size_t size = static_cast<size_t>(w) * static_cast<size_t>(h) * 4;
    std::vector<SoftwareSurface> frames;
    for (size_t at = 0; at + size <= bytes.size(); at += size) {
        frames.emplace_back(w, h);
        std::memcpy(frames.back().Pixels(), bytes.data() + at, size);
    }
    return frames;
}

std::string Differs(SoftwareSurface& actual, SoftwareSurface& expected) {
    return tooltest::Difference(tooltest::PixelsOf(actual), expected);
}

// A copy of a clip whose display matrix turns it `degrees` clockwise, as phones write them.
bool Turn(const std::string& from, const std::string& to, double degrees) {
    auto* matrix = static_cast<int32_t*>(av_malloc(9 * sizeof(int32_t)));
    av_display_rotation_set(matrix, degrees); // a clockwise turn: ffprobe's "rotation=-90"
    return jointest::WithSideData(from, to, AV_PKT_DATA_DISPLAYMATRIX, reinterpret_cast<uint8_t*>(matrix),
                                  9 * sizeof(int32_t));
}

class JoinTest : public ::testing::Test {
protected:
    // Lossless clips, so that the frames the engine decodes are the frames ffmpeg decodes.
    void MakeClip(const std::string& name, const std::string& source, const std::string& rate, double seconds,
                  const std::string& extra = "") {
        char duration[32];
        std::snprintf(duration, sizeof duration, "%.3f", seconds);
        Ffmpeg(dir, "-f lavfi -i " + source + "=size=96x64:rate=" + rate + ":duration=" + duration + " " + extra + " " +
                        name);
    }
    Scratch dir;
};

TEST_F(JoinTest, EveryFrameIsTheRenderersPictureOfTheInputsFramesShownThen) {
    MakeClip("a.mkv", "testsrc2", "30000/1001", 2, "-c:v ffv1 -pix_fmt bgr0");
    MakeClip("b.mkv", "testsrc", "30000/1001", 2, "-c:v ffv1 -pix_fmt bgr0");
    // A clip at 10 frames a second: each of its frames is shown for three of the output's.
    MakeClip("c.mkv", "rgbtestsrc", "10", 2, "-vf hue=H=2*PI*t -c:v ffv1 -pix_fmt bgr0");
    std::vector<SoftwareSurface> a = Frames(dir, "a.mkv", 96, 64);
    std::vector<SoftwareSurface> b = Frames(dir, "b.mkv", 96, 64);
    std::vector<SoftwareSurface> c = Frames(dir, "c.mkv", 96, 64);
    ASSERT_EQ(a.size(), 60u);
    ASSERT_EQ(c.size(), 20u);

    // Push and Turn 2 replay their earlier steps; the second cut is off the frame grid.
    // The second is eased and reversed, as --ease and --reverse make it.
    const std::vector<CutTransition> cuts = {{kPush, {}, 700, 1, 0},
                                             {kTurn2, {}, 900, 5, 0, *MotionCurve::Parse("ease-in-out"), true}};
    JoinOptions options;
    options.sound = false;
    Join joined(Files(dir, {"a.mkv", "b.mkv", "c.mkv"}), cuts, options);
    const Timeline& plan = joined.Plan();
    ASSERT_EQ(joined.Width(), 96);
    ASSERT_EQ(plan.rate, (FrameRate{30000, 1001}));
    ASSERT_EQ(plan.totalFrames, 60 + 60 + 60 - 21 - 27);

    auto inputFrame = [&](size_t input, int64_t n) -> SoftwareSurface& {
        const int64_t local = n - plan.segments[input].firstFrame;
        if (input == 2) {
            // The frame shown at the output frame's time.
            return c[static_cast<size_t>(FrameTimeUs(local, plan.rate) * 10 / 1000000)];
        }
        return (input == 0 ? a : b)[static_cast<size_t>(local)];
    };
    SoftwareSurface expected(96, 64);
    for (int64_t n = 0; n < plan.totalFrames; ++n) {
        SCOPED_TRACE("frame " + std::to_string(n));
        SoftwareSurface& frame = joined.Frame(n);
        size_t input = n < plan.segments[1].firstFrame ? 0 : n < plan.segments[2].firstFrame ? 1 : 2;
        const CutSpan* cut = nullptr;
        for (size_t k = 0; k < plan.cuts.size(); ++k) {
            if (n >= plan.cuts[k].firstFrame && n < plan.cuts[k].firstFrame + plan.cuts[k].frames) {
                cut = &plan.cuts[k];
                input = k;
            }
        }
        if (cut == nullptr) {
            ASSERT_EQ(Differs(frame, inputFrame(input, n)), "");
            continue;
        }
        FrameRequest request;
        request.id = cuts[input].id;
        request.seed = cuts[input].seed;
        request.ease = cuts[input].ease;
        request.reverse = cuts[input].reverse;
        request.durationMs = cut->durationMs;
        request.elapsedMs = static_cast<uint32_t>(FrameTimeMs(n - cut->firstFrame, plan.rate));
        request.frameRateNum = 30000;
        request.frameRateDen = 1001;
        ASSERT_TRUE(RenderFrameAt(request, inputFrame(input, n), inputFrame(input + 1, n), expected));
        ASSERT_EQ(Differs(frame, expected), "");
    }
}

TEST_F(JoinTest, AVariableRateClipShowsTheFrameOfEachMoment) {
    // 25 frames a second with frames 3 to 6 dropped: frame 2 (at 80 ms) is shown until
    // frame 7 comes at 280 ms.
    MakeClip("gaps.mkv", "testsrc2", "25", 1,
             "-vf \"select='not(between(n,3,6))'\" -fps_mode vfr -c:v ffv1 -pix_fmt bgr0");
    Ffmpeg(dir, "-i gaps.mkv -fps_mode passthrough -f rawvideo -pix_fmt bgra gaps.raw");
    const std::string bytes = tooltest::ReadText(dir / "gaps.raw");
    const size_t size = 96 * 64 * 4;
    ASSERT_EQ(bytes.size(), 21 * size);
    JoinOptions options;
    options.sound = false;
    options.rate = FrameRate{30, 1};
    Join joined(Files(dir, {"gaps.mkv", "gaps.mkv"}), {{kPush, {}, 100, 1, 0}}, options);
    for (int64_t n = 0; n < 25; ++n) {
        const int64_t ms = FrameTimeMs(n, {30, 1});
        const int64_t source = ms / 40;                                         // the frame of the full-rate clip
        const int64_t kept = source < 3 ? source : source < 7 ? 2 : source - 4; // its place once 3 to 6 are gone
        SoftwareSurface expected(96, 64);
        std::memcpy(expected.Pixels(), bytes.data() + static_cast<size_t>(kept) * size, size);
        EXPECT_EQ(Differs(joined.Frame(n), expected), "") << "frame " << n << " at " << ms << " ms";
    }
}

TEST_F(JoinTest, APartOfAClipStartsAtItsFirstFrame) {
    MakeClip("whole.mkv", "testsrc2", "25", 2, "-c:v ffv1 -pix_fmt bgr0 -g 10");
    std::vector<SoftwareSurface> frames = Frames(dir, "whole.mkv", 96, 64);
    const InputSpec part = ParseInput(dir / "whole.mkv#0.44-1:01.2", [](const std::string&) { return false; });
    ASSERT_EQ(part.fromUs, 440000);
    ASSERT_EQ(part.toUs, 61200000);
    // From 0.44 s (frame 11, past a key frame at 10) to the clip's end, 2 s.
    JoinOptions options;
    options.sound = false;
    Join joined({{dir / "whole.mkv", 440000, std::nullopt}, {dir / "whole.mkv", std::nullopt, 1200000}},
                {{kPush, {}, 200, 1, 0}}, options);
    EXPECT_EQ(joined.Plan().segments[0].frames, 39);
    EXPECT_EQ(joined.Plan().segments[1].frames, 30);
    for (int64_t n = 0; n < 30; ++n) {
        EXPECT_EQ(Differs(joined.Frame(n), frames[static_cast<size_t>(n + 11)]), "") << "frame " << n;
    }
}

// Inputs stored on their side and turned a quarter clockwise to be shown: a phone clip
// by its display matrix (the video takes its upright size), a JPEG by its EXIF
// orientation 6. Each comes out exactly as its stored picture turned (the JPEG as the
// picture reader decodes it).
TEST_F(JoinTest, TurnedInputsAreShownUpright) {
    MakeClip("stored.mov", "testsrc2", "25", 1, "-c:v png -pix_fmt rgb24");
    ASSERT_TRUE(Turn(dir / "stored.mov", dir / "phone.mov", 90));
    Ffmpeg(dir, "-f lavfi -i testsrc2=size=96x64 -frames:v 1 -q:v 2 side.jpg");
    std::ofstream(dir / "turned.jpg", std::ios::binary)
        << tooltest::WithExifOrientation(tooltest::ReadText(dir / "side.jpg"), 6);
    struct Case {
        const char* turned;
        const char* stored;
        bool defaultSize; // the video's size from the input itself
    } const cases[] = {{"phone.mov", "stored.mov", true}, {"turned.jpg", "side.jpg", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.turned);
        JoinOptions options;
        options.sound = false;
        if (!c.defaultSize) {
            options.width = 64;
            options.height = 96;
        }
        Join joined(Files(dir, {c.turned, c.stored}), {{kPush, {}, 100, 1, 0}}, options);
        ASSERT_EQ(joined.Width(), 64);
        ASSERT_EQ(joined.Height(), 96);
        const std::string bytes = tooltest::ReadText(dir / c.stored);
        const SoftwareSurface stored =
            c.defaultSize ? Frames(dir, c.stored, 96, 64).at(0)
                          : media::DecodePicture(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()).pixels;
        SoftwareSurface& frame = joined.Frame(0);
        int64_t error = 0;
        for (int32_t y = 0; y < 96; ++y) {
            for (int32_t x = 0; x < 64; ++x) {
                // Turned a quarter clockwise: the stored picture's left column is the top row.
                const uint32_t want = stored.Pixel(y, 63 - x);
                const uint32_t got = frame.Pixel(x, y);
                for (int shift = 0; shift < 24; shift += 8) {
                    error +=
                        std::abs(static_cast<int>((want >> shift) & 0xFF) - static_cast<int>((got >> shift) & 0xFF));
                }
            }
        }
        EXPECT_EQ(error, 0);
    }
}

// One colour stored in each of the usual ways comes out as that colour: limited and full
// range, BT.601 and BT.709 matrices, 8 and 10 bits, 4:2:0 and 4:4:4.
TEST_F(JoinTest, EveryPixelFormatShowsItsColour) {
    struct Stored {
        const char* what;
        const char* format;
        const char* matrix; // as the scale filter and the stream name it
        const char* range;  // tv (limited) or pc (full)
    } const stored[] = {
        {"BT.709 limited", "yuv420p", "bt709", "tv"},    {"BT.601 limited", "yuv420p", "bt470bg", "tv"},
        {"BT.601 full", "yuv420p", "bt470bg", "pc"},     {"BT.709 10-bit", "yuv420p10le", "bt709", "tv"},
        {"BT.709 full 4:4:4", "yuv444p", "bt709", "pc"},
    };
    const uint32_t colour = 0x3060C0;
    for (const Stored& c : stored) {
        SCOPED_TRACE(c.what);
        const std::string matrix = std::string(c.matrix) == "bt709" ? "bt709" : "bt601";
        Ffmpeg(dir,
               "-f lavfi -i color=c=0x3060C0:size=64x48:rate=25:duration=1 -vf format=rgb24,scale=out_color_matrix=" +
                   matrix + ":out_range=" + (std::string(c.range) == "pc" ? "full" : "limited") + ",format=" +
                   c.format + " -colorspace " + c.matrix + " -color_range " + c.range + " -c:v ffv1 stored.mkv");
        JoinOptions options;
        options.sound = false;
        Join joined(Files(dir, {"stored.mkv", "stored.mkv"}), {{kPush, {}, 100, 1, 0}}, options);
        const uint32_t pixel = joined.Frame(0).Pixel(32, 24);
        for (int shift = 0; shift < 24; shift += 8) {
            EXPECT_NEAR(static_cast<int>((pixel >> shift) & 0xFF), static_cast<int>((colour >> shift) & 0xFF), 3)
                << std::hex << pixel;
        }
    }
    // Pixels twice as wide as they are high are shown so: 64x48 stored is 128x48 on screen.
    Ffmpeg(dir, "-f lavfi -i testsrc2=size=64x48:rate=25:duration=1 -vf setsar=2 -c:v ffv1 wide.mkv");
    JoinOptions options;
    options.sound = false;
    Join joined(Files(dir, {"wide.mkv", "wide.mkv"}), {{kPush, {}, 100, 1, 0}}, options);
    EXPECT_EQ(joined.Width(), 128);
    EXPECT_EQ(joined.Height(), 48);
}

TEST_F(JoinTest, PicturesAloneMakeAnHdVideoAndHoldForTheirTime) {
    Ffmpeg(dir, "-f lavfi -i testsrc2=size=320x240 -frames:v 1 one.png");
    Ffmpeg(dir, "-f lavfi -i smptebars=size=200x200 -frames:v 1 two.jpg");
    Ffmpeg(dir, "-f lavfi -i smptebars=size=120x90 -frames:v 1 -c:v libwebp three.webp");
    JoinOptions options;
    options.sound = false;
    options.holdMs = 2000;
    options.fit = FitMode::Cover;
    Join joined(Files(dir, {"one.png", "two.jpg", "three.webp"}), {{kDoor, {}, 500, 1, 0}, {kDoor, {}, 500, 1, 0}},
                options);
    EXPECT_EQ(joined.Width(), 1920);
    EXPECT_EQ(joined.Height(), 1080);
    EXPECT_EQ(joined.Plan().totalFrames, 3 * 60 - 2 * 15);
    // Covered: no background shows at the corners.
    SoftwareSurface& last = joined.Frame(joined.Plan().totalFrames - 1);
    EXPECT_NE(last.Pixel(0, 0) & 0xFFFFFF, 0u);
}

// A first clip at a rate --fps would not take (a time-lapse of a frame every 10
// minutes) does not set the video's: it is 30 fps, with a note, and the next clip shows.
TEST_F(JoinTest, AFirstClipsRateOutsideWhatFpsTakesIsNotTheVideos) {
    Ffmpeg(dir, "-f lavfi -i testsrc2=size=64x48:rate=1/600:duration=1800 -c:v ffv1 lapse.mkv");
    MakeClip("b.mkv", "testsrc2", "25", 1, "-c:v ffv1");
    JoinOptions options;
    options.sound = false;
    Join joined(Files(dir, {"lapse.mkv", "b.mkv"}), {{kDoor, {}, 500, 1, 0}}, options);
    EXPECT_EQ(joined.Plan().rate, (FrameRate{30, 1}));
    ASSERT_FALSE(joined.Plan().notes.empty());
    EXPECT_NE(joined.Plan().notes[0].find("runs at 0.00166667 frames a second, outside 1 to 240: the video is 30"),
              std::string::npos)
        << joined.Plan().notes[0];
    EXPECT_EQ(joined.Plan().segments[1].frames, 30);
}

// ---- The tool ------------------------------------------------------------------

// A clip already in the video's format (1280x720 4:2:0 BT.709) reaches the encoder as it
// was decoded: with a lossless codec, its frames away from the cut come out bit for bit.
TEST_F(JoinTest, FramesAlreadyInTheVideosFormatAreEncodedAsDecoded) {
    WQ_REQUIRE_TOOL();
    for (const char* name : {"a.mkv", "b.mkv"}) {
        Ffmpeg(dir,
               std::string("-f lavfi -i ") + (name[0] == 'a' ? "testsrc2" : "testsrc") +
                   "=size=1280x720:rate=25:duration=1 -vf format=rgb24,scale=out_color_matrix=bt709,format=yuv420p "
                   "-colorspace bt709 -color_range tv -c:v ffv1 " +
                   name);
    }
    const Result result =
        RunTool({"join", "a.mkv", "b.mkv", "--duration", "400", "--codec", "ffv1", "-q", "--out", "joined.mkv"}, dir);
    ASSERT_EQ(result.status, 0) << result.err;
    const size_t frame = 1280 * 720 * 3 / 2;
    auto raw = [&](const std::string& file) {
        Ffmpeg(dir, "-i " + file + " -fps_mode passthrough -f rawvideo -pix_fmt yuv420p " + file + ".yuv");
        return tooltest::ReadText(dir / (file + ".yuv"));
    };
    const std::string a = raw("a.mkv"), b = raw("b.mkv"), joined = raw("joined.mkv");
    ASSERT_EQ(joined.size(), (25 + 25 - 10) * frame);
    for (size_t n = 0; n < 40; ++n) {
        if (n >= 15 && n < 25) {
            continue; // the cut
        }
        const std::string& input = n < 15 ? a : b;
        const size_t k = n < 15 ? n : n - 15;
        EXPECT_EQ(joined.compare(n * frame, frame, input, k * frame, frame), 0) << "frame " << n;
    }
}

// Eleven clips, each with one white frame and a beep at the same moment, every other one
// with its sound at 44.1 kHz: after ten cuts at 29.97 frames a second every flash and
// its beep are within a frame of each other, and where the timeline puts them.
TEST_F(JoinTest, SoundAndPictureStayInSyncAtEveryCut) {
    WQ_REQUIRE_TOOL();
    constexpr int kClips = 11;
    std::vector<std::string> args = {"join"};
    std::vector<int> flashes; // each clip's white frame
    for (int i = 0; i < kClips; ++i) {
        const int frame = 30 + 3 * i;
        flashes.push_back(frame);
        char beep[64];
        std::snprintf(beep, sizeof beep, "%.6f", frame * 1001.0 / 30000.0);
        const std::string name = "clip" + std::to_string(i) + ".mp4";
        Ffmpeg(
            dir,
            "-f lavfi -i \"color=c=black:size=64x48:rate=30000/1001:duration=3,drawbox=c=white:t=fill:enable='eq(n," +
                std::to_string(frame) + ")'\" -f lavfi -i \"aevalsrc='0.8*sin(2*PI*1000*t)*between(t," + beep + "," +
                beep + "+0.05)':s=" + (i % 2 == 0 ? "48000" : "44100") +
                ":d=3\" -c:v libx264 -pix_fmt yuv420p -c:a aac -shortest " + name);
        args.push_back(name);
    }
    for (const char* arg : {"--duration", "500", "-q", "--out", "joined.mp4"}) {
        args.push_back(arg);
    }
    const Result result = RunTool(args, dir);
    ASSERT_EQ(result.status, 0) << result.err;

    // The pictures' brightness and the sound, as ffmpeg decodes them.
    Ffmpeg(dir,
           "-i joined.mp4 -vf scale=8:6 -f rawvideo -pix_fmt gray joined.gray -f f32le -ac 1 -ar 48000 joined.pcm");
    const std::string gray = tooltest::ReadText(dir / "joined.gray");
    const std::string pcm = tooltest::ReadText(dir / "joined.pcm");
    std::vector<double> flashSeconds, beepSeconds;
    for (size_t frame = 0; frame * 48 < gray.size(); ++frame) {
        if (static_cast<unsigned char>(gray[frame * 48 + 20]) > 128) {
            flashSeconds.push_back(frame * 1001.0 / 30000.0);
        }
    }
    const auto* samples = reinterpret_cast<const float*>(pcm.data());
    for (size_t i = 0; i < pcm.size() / 4; ++i) {
        if (std::abs(samples[i]) > 0.3f && (beepSeconds.empty() || i / 48000.0 > beepSeconds.back() + 0.5)) {
            beepSeconds.push_back(i / 48000.0);
        }
    }
    ASSERT_EQ(flashSeconds.size(), static_cast<size_t>(kClips));
    ASSERT_EQ(beepSeconds.size(), static_cast<size_t>(kClips));
    const double frame = 1001.0 / 30000.0;
    for (int i = 0; i < kClips; ++i) {
        SCOPED_TRACE("clip " + std::to_string(i));
        // 3 s at 29.97 is 90 frames; each 500 ms cut shares 15 of them.
        const double expected = (75 * i + flashes[static_cast<size_t>(i)]) * frame;
        EXPECT_NEAR(flashSeconds[static_cast<size_t>(i)], expected, 0.001);
        EXPECT_NEAR(beepSeconds[static_cast<size_t>(i)], expected, frame);
    }
}

struct BadJoin {
    const char* what;
    std::vector<std::string> args;
    int status;
    const char* message;
};

TEST_F(JoinTest, WhatCannotBeJoinedIsRefusedInOneLineAndNothingIsWritten) {
    WQ_REQUIRE_TOOL();
    MakeClip("a.mkv", "testsrc2", "25", 1, "-c:v ffv1");
    Ffmpeg(dir, "-f lavfi -i sine=duration=1 tone.wav");
    std::ofstream(dir / "notes.txt") << "not a picture";
    Ffmpeg(dir, "-f lavfi -i testsrc2=size=64x48 -frames:v 1 still.png");
    Ffmpeg(dir, "-f lavfi -i color=size=20000x8 -frames:v 1 huge.png");
    // A clip cut short: the container says it lasts 4 s; its pictures stop before 2 s.
    MakeClip("long.mkv", "testsrc2", "25", 4, "-c:v ffv1");
    const std::string whole = tooltest::ReadText(dir / "long.mkv");
    std::ofstream(dir / "cut.mkv", std::ios::binary) << whole.substr(0, whole.size() * 2 / 5);
    // A damaged lossless WebP on which FFmpeg's own decoder aborts the process.
    const char kDamagedWebp[] = "RIFF\x32\0\0\0WEBPVP8L\x26\0\0\0\x2f\x03\x80\0\0\x5f\x20\x10\x48\x92\xd8\xdf"
                                "\x76\x86\xa9\x98\x8a\xf9\x4f\x6c\x07\x82\0\x12\x85\x58\x62\x99\x65\x96\x59\x26"
                                "\x8d\xe8\x7f";
    std::ofstream(dir / "damaged.webp", std::ios::binary)
        << std::string(kDamagedWebp, sizeof kDamagedWebp - 1) << std::string(116, '\xff') << "\x60\xba\x03";
    // Other names of a.mkv: a hard link and a symbolic link.
    std::filesystem::create_hard_link(dir / "a.mkv", dir / "linked.mkv");
    std::filesystem::create_symlink("a.mkv", dir / "symlinked.mkv");
    const BadJoin cases[] = {
        {"one input", {"join", "a.mkv", "--out", "x.mp4"}, 2, "at least two inputs"},
        {"the output is an input", {"join", "still.png", "a.mkv", "--out", "a.mkv"}, 2, "is input 2 (\"a.mkv\")"},
        {"the output is an input by another spelling",
         {"join", "a.mkv", "still.png", "--out", "./a.mkv"},
         2,
         "the video would replace it"},
        {"the output is an input through a hard link",
         {"join", "a.mkv", "still.png", "--out", "linked.mkv"},
         2,
         "is input 1"},
        {"the output is a part's clip through a symbolic link",
         {"join", "a.mkv#0-0.5", "still.png", "--out", "symlinked.mkv"},
         2,
         "is input 1"},
        {"a damaged WebP", {"join", "a.mkv", "damaged.webp", "--out", "x.mp4"}, 1, "\"damaged.webp\" is damaged"},
        {"not a video", {"join", "a.mkv", "notes.txt", "--out", "x.mp4"}, 1, "\"notes.txt\" is neither a video"},
        {"no pictures", {"join", "a.mkv", "tone.wav", "--out", "x.mp4"}, 1, "has no pictures (no video stream)"},
        {"missing", {"join", "a.mkv", "gone.mp4", "--out", "x.mp4"}, 1, "cannot read \"gone.mp4\""},
        {"over the pixel budget", {"join", "a.mkv", "huge.png", "--out", "x.mp4"}, 1, "is over the pixel budget"},
        {"truncated", {"join", "a.mkv", "cut.mkv", "--out", "x.mp4"}, 1, "\"cut.mkv\" is truncated or damaged"},
        {"unknown transition at a cut",
         {"join", "a.mkv", "a.mkv", "--cut", "1=Sparkle", "--out", "x.mp4"},
         2,
         "unknown transition \"Sparkle\""},
        {"cut past the last", {"join", "a.mkv", "a.mkv", "--cut", "2=Door", "--out", "x.mp4"}, 2, "there is 1 cut"},
        {"bad part", {"join", "a.mkv", "a.mkv#x-2", "--out", "x.mp4"}, 2, "is not a part of a clip"},
        {"part past the end", {"join", "a.mkv", "a.mkv#5-9", "--out", "x.mp4"}, 2, "past the clip's end"},
        {"not a video output", {"join", "a.mkv", "a.mkv", "--out", "x.gif"}, 2, "a join is a video"},
        {"size over the budget", {"join", "a.mkv", "a.mkv", "--size", "20000x20000", "--out", "x.mp4"}, 2, "limit"},
        {"bad frame rate", {"join", "a.mkv", "a.mkv", "--fps", "0", "--out", "x.mp4"}, 2, "--fps \"0\""},
        {"--set with random",
         {"join", "a.mkv", "a.mkv", "-t", "random", "--set", "Number of doors=4", "--out", "x.mp4"},
         2,
         "--set goes with one named --transition"},
        {"bad audio fade", {"join", "a.mkv", "a.mkv", "--audio-fade", "cross", "--out", "x.mp4"}, 2, "--audio-fade"},
        {"music that is not sound",
         {"join", "a.mkv", "a.mkv", "--audio", "notes.txt", "--out", "x.mp4"},
         1,
         "notes.txt"},
        {"music that is a huge picture",
         {"join", "a.mkv", "a.mkv", "--audio", "huge.png", "--out", "x.mp4"},
         1,
         "\"huge.png\" has no sound"},
        {"--mix-audio without music", {"join", "a.mkv", "a.mkv", "--mix-audio", "--out", "x.mp4"}, 2, "--mix-audio"},
        {"unknown motion", {"join", "a.mkv", "still.png", "--motion", "spin", "--out", "x.mp4"}, 2, "choose one of"},
        {"motion past 2 times",
         {"join", "a.mkv", "still.png", "--motion-amount", "3", "--out", "x.mp4"},
         2,
         "--motion-amount"},
        {"a move without its number",
         {"join", "a.mkv", "still.png", "--move", "zoom-in", "--out", "x.mp4"},
         2,
         "--move"},
        {"a move of a clip",
         {"join", "a.mkv", "still.png", "--move", "1=zoom-in", "--out", "x.mp4"},
         2,
         "is a clip; only pictures move"},
        {"a move of an input that is not there",
         {"join", "a.mkv", "still.png", "--move", "3=zoom-in", "--out", "x.mp4"},
         2,
         "--move 3: there are 2 inputs"},
        {"a focus point outside the picture",
         {"join", "a.mkv", "still.png", "--move", "2=zoom-in@2,0", "--out", "x.mp4"},
         2,
         "--move 2=\"zoom-in@2,0\": the focus point"},
    };
    const auto before = dir.Snapshot();
    for (const BadJoin& bad : cases) {
        SCOPED_TRACE(bad.what);
        const Result result = RunTool(bad.args, dir);
        EXPECT_EQ(result.status, bad.status) << result.err;
        EXPECT_NE(result.err.find(bad.message), std::string::npos) << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
        EXPECT_EQ(dir.Snapshot(), before);
    }
    // Ctrl-C in a long join: status 130, and still nothing written.
    const tooltest::Started run =
        tooltest::StartTool({"join", "still.png", "still.png", "--hold", "600000", "-q", "--out", "long.mp4"}, dir);
    auto writing = [&] {
        const auto names = dir.Names();
        return std::any_of(names.begin(), names.end(), [](const std::string& n) { return n.rfind(".long", 0) == 0; });
    };
    for (int wait = 0; wait < 6000 && !writing(); ++wait) {
        usleep(10000);
    }
    kill(run.pid, SIGINT);
    const Result interrupted = tooltest::FinishTool(run);
    EXPECT_EQ(interrupted.status, 130) << interrupted.err;
    EXPECT_EQ(dir.Snapshot(), before);
}

} // namespace
} // namespace wqtrans::join
