// End-to-end: every kind of bad input gives its exit status and a one-line message
// that names the problem, and leaves no file behind.
#include <signal.h>

#include "tools/ToolHarness.h"

namespace wqtrans::tooltest {
namespace {

struct BadInput {
    const char* what;
    std::vector<std::string> args;
    int status;
    const char* message; // a part of the one-line message
};

const BadInput kBadInputs[] = {
    {"unknown transition",
     {"render", "Sparkle", "--out", "x.gif"},
     2,
     "unknown transition \"Sparkle\"; choose one of: Fade, Bands, Door, Mosaic"},
    {"unknown transition in a sheet", {"sheet", "Fade", "Sparkle", "--out", "x.png"}, 2, "choose one of: Fade"},
    {"unknown output kind",
     {"render", "Fade", "--out", "x.avi"},
     2,
     "choose .gif, .webp, .png, .mp4, .webm, .mkv, .mov"},
    {"codec the container cannot hold",
     {"render", "Fade", "--codec", "gif", "--out", "x.webm"},
     2,
     "cannot be written to .webm; choose one of: libvpx-vp9"},
    {"unknown codec", {"render", "Fade", "--codec", "nonsense", "--out", "x.webm"}, 2, "choose one of: libvpx-vp9"},
    {"codec for a GIF", {"render", "Fade", "--codec", "libx264", "--out", "x.gif"}, 2, "--codec: only for video"},
    {"lossless video", {"render", "Fade", "--lossless", "--out", "x.mp4"}, 2, "--lossless: only for .webp"},
    {"dithered WebP", {"render", "Fade", "--dither", "--out", "x.webp"}, 2, "--dither: only for .gif"},
    {"looping video", {"render", "Fade", "--loop", "2", "--out", "x.mkv"}, 2, "--loop and --no-loop: only for .gif"},
    {"hold of a picture", {"render", "Fade", "--hold-end", "500", "--out", "x.png"}, 2, "--hold-start and --hold-end"},
    {"quality out of range", {"render", "Fade", "--quality", "101", "--out", "x.gif"}, 2, "--quality"},
    {"threads for a video", {"render", "Fade", "--threads", "2", "--out", "x.mp4"}, 2, "--threads: only for .gif"},
    {"no threads", {"render", "Fade", "--threads", "0", "--out", "x.gif"}, 2, "--threads"},
    {"--loop with --no-loop", {"render", "Fade", "--loop", "2", "--no-loop", "--out", "x.gif"}, 2, "excludes"},
    {"unknown fit", {"render", "Fade", "--fit", "fill", "--out", "x.gif"}, 2, "stretch, contain, cover, blur"},
    {"bad background", {"render", "Fade", "--background", "#12345", "--out", "x.gif"}, 2, "is not a colour"},
    {"sheet to a GIF", {"sheet", "--out", "x.gif"}, 2, "a contact sheet is a .png"},
    {"--at with an animation", {"render", "Fade", "--at", "10", "--out", "x.gif"}, 2, "needs a .png"},
    {"block not hex", {"render", "Door", "--block", "zz00", "--out", "x.gif"}, 2, "is not hex"},
    {"block of odd length", {"render", "Door", "--block", "000", "--out", "x.gif"}, 2, "odd number of hex digits"},
    {"block of the wrong size",
     {"render", "Turn", "--block", "03000000", "--out", "x.gif"},
     2,
     "needs 12 bytes (24 hex digits), not 4"},
    {"block for a transition without one", {"params", "Fade", "--block", "00"}, 2, "Fade has no parameters"},
    {"flags not a number", {"render", "Fade", "--flags", "two", "--out", "x.gif"}, 2, "--flags \"two\""},
    {"frame rate out of range", {"render", "Fade", "--fps", "0", "--out", "x.gif"}, 2, "--fps"},
    {"size not WxH", {"render", "Fade", "--size", "64", "--out", "x.gif"}, 2, "is not WIDTHxHEIGHT"},
    {"no output", {"render", "Fade"}, 2, "--out is required"},
    {"--set on a transition without a panel",
     {"render", "Zoom", "--set", "Size=3", "--out", "x.gif"},
     2,
     "Zoom has no settings panel"},
    {"missing picture",
     {"render", "Fade", "--from", "missing.png", "--out", "x.gif"},
     1,
     "cannot read picture \"missing.png\""},
    {"not a picture",
     {"render", "Fade", "--to", "notes.txt", "--out", "x.gif"},
     1,
     "not a PNG, JPEG, WebP, HEIC or AVIF file"},
    {"broken PNG", {"render", "Fade", "--to", "broken.png", "--out", "x.png"}, 1, "cannot read picture \"broken.png\""},
    {"output in a missing directory",
     {"render", "Fade", "--out", "missing/x.gif"},
     1,
     "cannot write \"missing/x.gif\""},
    // A file where a directory should be: unwritable for every user, root included.
    {"output under a file", {"render", "Fade", "--out", "notes.txt/x.webp"}, 1, "cannot write \"notes.txt/x.webp\""},
    {"frames under a file", {"render", "Fade", "--out", "notes.txt/frames/"}, 1, "cannot write frames"},
    {"frames into a file", {"render", "Fade", "--out", "notes.txt/"}, 1, "cannot write frames"},
    {"sheet under a file", {"sheet", "Fade", "--size", "16x12", "--out", "notes.txt/s.png"}, 1, "cannot write"},
    {"old picture a directory", {"render", "Fade", "--from", "pics", "--out", "keep.png"}, 1, "pics: is a directory"},
    {"new picture a directory", {"render", "Fade", "--to", "pics/", "--out", "keep.png"}, 1, "pics/: is a directory"},
    // libjpeg's warning becomes the one line; the earlier keep.png stays as it was.
    {"truncated JPEG",
     {"render", "Fade", "--from", "truncated.jpg", "--out", "keep.png"},
     1,
     "cannot read picture \"truncated.jpg\": Premature end of JPEG file"},
    // Refused from the header, before any pixel memory is taken.
    {"JPEG header of 30000x30000",
     {"render", "Fade", "--from", "huge-30000x30000.jpg", "--out", "keep.png"},
     1,
     "\"huge-30000x30000.jpg\": it is 30000x30000 pixels; the limit is 16384 a side and 67108864 pixels in all"},
    {"PNG header of 16384x16384",
     {"render", "Fade", "--to", "huge-16384x16384.png", "--out", "x.gif"},
     1,
     "it is 16384x16384 pixels; the limit is 16384 a side"},
    {"WebP header of 16383x16383", {"sheet", "--to", "huge-16383x16383.webp", "--out", "x.png"}, 1, "the limit is"},
    {"JPEG wider than a side may be",
     {"render", "Fade", "--from", "wide-30000x16.jpg", "--out", "x.gif"},
     1,
     "it is 30000x16 pixels; the limit is 16384 a side"},
    // Decided from the first bytes, not after a gigabyte of zeros.
    {"a device that is no picture",
     {"render", "Fade", "--from", "/dev/zero", "--out", "x.gif"},
     1,
     "cannot read picture \"/dev/zero\": not a PNG, JPEG, WebP, HEIC or AVIF file"},
    // Pixels 2 and 3 of each row name colours 5 and 7 of a palette of 2.
    {"palette index past the palette",
     {"render", "Fade", "--from", "palette-past-end.png", "--out", "x.gif"},
     1,
     "cannot read picture \"palette-past-end.png\": a pixel uses colour 5 of a palette of 2"},
    // Its item location box gives its picture a length of 4 GB in a file of 2 kB.
    {"HEIF item past the end of the file",
     {"render", "Fade", "--from", "extent-past-end.heic", "--out", "x.gif"},
     1,
     "cannot read picture \"extent-past-end.heic\": bad HEIF data: item 1 lies past the end of its data"},
    // A picture of 24x16 whose alpha is a grid over an overlay canvas of 41054x44039.
    {"HEIF overlay canvas over the budget",
     {"render", "Fade", "--from", "overlay-canvas-huge.heic", "--out", "x.gif"},
     1,
     "cannot read picture \"overlay-canvas-huge.heic\": it is 41054x44039 pixels; the limit is 16384 a side and "
     "67108864 pixels in all (e.g. 8192x8192)"},
    // A name cannot move the cursor or end the message's line.
    {"control characters in a name",
     {"render", "Fade", "--from", "a\x1b[2J\nb\x7f\xc2\x9b.png", "--out", "x.gif"},
     1,
     "cannot read picture \"a\\x1B[2J\\x0Ab\\x7F\\xC2\\x9B.png\": No such file"},
    {"control characters in a command", {"a\x1b]0;title\x07"}, 2, "unknown command \"a\\x1B]0;title\\x07\""},
    {"duration not a whole number",
     {"render", "Fade", "--duration", "1e3", "--out", "x.gif"},
     2,
     "--duration: \"1e3\" is not a whole number"},
    {"frame rate in hex", {"render", "Fade", "--fps", "0x10", "--out", "x.gif"}, 2, "--fps: \"0x10\" is not a whole"},
    {"--size over the budget",
     {"render", "Fade", "--size", "16384x16384", "--out", "x.gif"},
     2,
     "--size \"16384x16384\" is 16384x16384 pixels; the limit is 16384 a side and 67108864 pixels in all"},
    {"sheet --size over a side", {"sheet", "Fade", "--size", "20000x10", "--out", "x.png"}, 2, "the limit is 16384"},
    {"sheet too big as a whole", {"sheet", "--size", "2000x2000", "--out", "x.png"}, 2, "use a smaller --size"},
    // Refused from the arithmetic, before two pictures of 64 Mpixels are drawn.
    {"sheet of the largest cells",
     {"sheet", "--size", "16384x4096", "--out", "x.png"},
     2,
     "a sheet of 21 transitions at 16384x4096 would be 82150x86234 pixels"},
    {"empty block", {"render", "Turn", "--block", "", "--out", "x.gif"}, 2, "--block \"\" is empty: Turn needs 12"},
    {"empty block to decode", {"params", "Door", "--block", ""}, 2, "Door needs 2 bytes (4 hex digits)"},
    {"unknown command",
     {"frobnicate", "Fade"},
     2,
     "unknown command \"frobnicate\"; choose one of: list, render, sheet, panel, params, calls, luma"},
    {"no command", {}, 2, "a command is required; choose one of: list, render"},
    {"negative seed", {"render", "Fade", "--seed", "-1", "--out", "x.gif"}, 2, "from 0 to 4294967295"},
    {"seed too large", {"calls", "Fade", "--seed", "4294967296"}, 2, "--seed \"4294967296\" is not a whole number"},
    {"negative moment", {"render", "Fade", "--at", "-5", "--out", "x.png"}, 2, "--at: Value -5 not in range"},
    {"stdout without a format", {"render", "Fade", "--out", "-"}, 2, "--out - writes to stdout and needs --format"},
    {"unknown format", {"render", "Fade", "--format", "avi", "--out", "-"}, 2, "--format \"avi\" is unknown"},
    {"format against the name", {"render", "Fade", "--format", "gif", "--out", "x.png"}, 2, "does not match"},
    // The reason, at a small size and at 1920x1080 (the default), where far more of the
    // pixels that a blend's colour could name are places of the picture.
    {"luma map of a blend",
     {"luma", "Fade", "--size", "32x24", "--out", "x.pgm"},
     2,
     "Fade with block (none) is not a pure reveal, so no luma map can show it: at 40 ms (frame 1 of 25) pixel (0, "
     "0) shows a blend of the pictures\n"},
    {"luma map of a blend at 1920x1080",
     {"luma", "Fade", "--out", "x.pgm"},
     2,
     "at 40 ms (frame 1 of 25) pixel (0, 0) shows a blend of the pictures\n"},
    {"luma map of a moving picture",
     {"luma", "Scrolling", "--size", "32x24", "--out", "x.png"},
     2,
     "pixel (0, 0) shows the new picture's pixel (31, 0): the picture moves\n"},
    {"luma map of a moving picture at 1920x1080",
     {"luma", "Scrolling", "--out", "x.png"},
     2,
     "pixel (0, 0) shows the new picture's pixel (1844, 0): the picture moves\n"},
    {"luma map of a picture turned twice at 1920x1080",
     {"luma", "Turn", "--set", "Number of rotations=2", "--out", "x.pgm"},
     2,
     "Turn with block 020000000000000000000000 is not a pure reveal, so no luma map can show it: at 40 ms (frame 1 "
     "of 25) pixel (1729, 963) shows the new picture's pixel (1844, 1037): the picture moves\n"},
    {"luma map as a JPEG", {"luma", "Door", "--size", "32x24", "--out", "x.jpg"}, 2, "a luma map is a .pgm or a .png"},
    {"luma map of 12 bits",
     {"luma", "Door", "--size", "32x24", "--bits", "12", "--out", "x.pgm"},
     2,
     "--bits 12: a map has 8 or 16 bits a level"},
    {"luma map over its size", {"luma", "Door", "--size", "4096x4096", "--out", "x.pgm"}, 2, "at most 8388608 pixels"},
    {"luma map in a missing directory",
     {"luma", "Door", "--size", "32x24", "--out", "missing/x.pgm"},
     1,
     "cannot write \"missing/x.pgm\""},
    {"both pictures from stdin",
     {"render", "Fade", "--from", "-", "--to", "-", "--out", "x.gif"},
     2,
     "--from - and --to - cannot both read stdin"},
};

class ToolErrors : public ::testing::Test {
protected:
    void SetUp() override {
        WQ_REQUIRE_TOOL();
        std::ofstream(dir / "notes.txt") << "not a picture\n";
        std::ofstream(dir / "broken.png") << "\x89PNG\r\n\x1a\n and then nothing";
        std::ofstream(dir / "keep.png") << "an earlier output";
        std::filesystem::create_directory(dir.dir / "pics");
        for (const auto& entry : std::filesystem::directory_iterator(WQTRANS_PICTURES_DIR)) {
            std::filesystem::copy_file(entry.path(), dir.dir / entry.path().filename());
        }
    }

    Scratch dir;
};

TEST_F(ToolErrors, BadInputGivesItsStatusAndOneLineAndNoFile) {
    const auto before = dir.Snapshot();
    for (const BadInput& bad : kBadInputs) {
        SCOPED_TRACE(bad.what);
        const Result result = RunTool(bad.args, dir);
        EXPECT_EQ(result.status, bad.status) << result.err;
        EXPECT_NE(result.err.find(bad.message), std::string::npos) << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
        EXPECT_EQ(result.err.rfind("wqtrans: ", 0), 0u) << result.err;
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(dir.Snapshot(), before);
    }
}

TEST_F(ToolErrors, SignalsRemoveTemporariesAndGiveTheirStatus) {
    struct Case {
        int signal;
        int status;
        const char* out;
        const char* temp; // the start of the temporary's name
        const char* message;
    } cases[] = {
        {SIGINT, 130, "long.gif", ".long.gif.tmp-", "wqtrans: interrupted by SIGINT; nothing was written\n"},
        {SIGTERM, 143, "frames/", ".frames.tmp-", "wqtrans: interrupted by SIGTERM; nothing was written\n"},
        {SIGTERM, 143, "long.webp", ".long.webp.tmp-", "wqtrans: interrupted by SIGTERM; nothing was written\n"},
        {SIGINT, 130, "long.mp4", ".long.mp4.tmp-", "wqtrans: interrupted by SIGINT; nothing was written\n"},
    };
    std::ofstream(dir / "long.gif") << "an earlier output";
    std::filesystem::create_directory(dir.dir / "frames");
    std::ofstream(dir / "frames/frame-0000.png") << "an earlier frame";
    const auto before = dir.Snapshot();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.out);
        // Ten minutes of frames: the run is still going when the signal comes.
        const Started run = StartTool({"render", "Fade", "--duration", "600000", "-q", "--out", c.out}, dir);
        auto started = [&] {
            for (const std::string& name : dir.Names()) {
                if (name.rfind(c.temp, 0) == 0) {
                    return true;
                }
            }
            return false;
        };
        for (int wait = 0; wait < 6000 && !started(); ++wait) {
            usleep(10000);
        }
        ASSERT_TRUE(started());
        kill(run.pid, c.signal);
        const Result result = FinishTool(run);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.err, c.message);
        EXPECT_EQ(dir.Snapshot(), before);
    }
}

// Whether the process has installed its handler for SIGINT (/proc/PID/status, SigCgt).
bool CatchesSigint(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("SigCgt:", 0) == 0) {
            return (std::stoull(line.substr(7), nullptr, 16) >> (SIGINT - 1) & 1) != 0;
        }
    }
    return false;
}

TEST_F(ToolErrors, SignalsEndLongWorkThatWritesOnlyAtTheEnd) {
    // A luma map of ten minutes at 25 frames a second and 1920x1080 is analysed for
    // minutes before anything is written: a signal ends it at once.
    const auto before = dir.Snapshot();
    for (const int signal : {SIGINT, SIGTERM}) {
        const Started run =
            StartTool({"luma", "Door", "--duration", "600000", "--fps", "25", "-q", "--out", "door.pgm"}, dir);
        for (int wait = 0; wait < 6000 && !CatchesSigint(run.pid); ++wait) {
            usleep(1000);
        }
        ASSERT_TRUE(CatchesSigint(run.pid));
        kill(run.pid, signal);
        const Result result = FinishTool(run);
        EXPECT_EQ(result.status, 128 + signal);
        EXPECT_EQ(result.err, std::string("wqtrans: interrupted by ") + (signal == SIGINT ? "SIGINT" : "SIGTERM") +
                                  "; nothing was written\n");
        EXPECT_EQ(dir.Snapshot(), before);
    }
}

TEST_F(ToolErrors, RunsThatOnceTookMinutesFinish) {
    // A luma map's analysis is linear in the frames, and the moments after the end of a
    // run show its last frame without stepping up to them.
    const std::vector<std::string> runs[] = {
        {"luma", "ZigZag 2", "--size", "8x8", "--duration", "20000", "--fps", "1000", "-q", "--out", "z.pgm"},
        {"render", "Stretch 2", "--fps", "240", "--at", "4294967295", "--module-last-step", "-q", "--out", "s.png"},
    };
    for (const std::vector<std::string>& args : runs) {
        const Result result = RunTool(args, dir);
        EXPECT_EQ(result.status, 0) << result.err;
    }
}

TEST_F(ToolErrors, FailedRunKeepsAnEarlierOutput) {
    // An existing output is replaced only by a complete one.
    std::ofstream(dir / "keep.gif") << "earlier";
    const Result result = RunTool({"render", "Fade", "--to", "notes.txt", "--out", "keep.gif"}, dir);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(ReadText(dir / "keep.gif"), "earlier");
}

} // namespace
} // namespace wqtrans::tooltest
