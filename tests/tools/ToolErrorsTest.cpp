// End-to-end: every kind of bad input gives its exit status and a one-line message
// that names the problem, and leaves no file behind.
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
    {"--loop with --no-loop", {"render", "Fade", "--loop", "2", "--no-loop", "--out", "x.gif"}, 2, "excludes"},
    {"unknown fit", {"render", "Fade", "--fit", "fill", "--out", "x.gif"}, 2, "stretch, contain, cover"},
    {"bad background", {"render", "Fade", "--background", "#12345", "--out", "x.gif"}, 2, "is not a colour"},
    {"sheet to a GIF", {"sheet", "--out", "x.gif"}, 2, "a contact sheet is a .png"},
    {"--at with an animation", {"render", "Fade", "--at", "10", "--out", "x.gif"}, 2, "needs a .png"},
    {"--at after the run",
     {"render", "Fade", "--duration", "100", "--at", "101", "--out", "x.png"},
     2,
     "choose 0 to 100 ms"},
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
    {"not a picture", {"render", "Fade", "--to", "notes.txt", "--out", "x.gif"}, 1, "not a PNG, JPEG or WebP file"},
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
};

class ToolErrors : public ::testing::Test {
protected:
    void SetUp() override {
        WQ_REQUIRE_TOOL();
        std::ofstream(dir / "notes.txt") << "not a picture\n";
        std::ofstream(dir / "broken.png") << "\x89PNG\r\n\x1a\n and then nothing";
    }

    Scratch dir;
};

TEST_F(ToolErrors, BadInputGivesItsStatusAndOneLineAndNoFile) {
    const std::vector<std::string> before = dir.Names();
    for (const BadInput& bad : kBadInputs) {
        SCOPED_TRACE(bad.what);
        const Result result = RunTool(bad.args, dir);
        EXPECT_EQ(result.status, bad.status) << result.err;
        EXPECT_NE(result.err.find(bad.message), std::string::npos) << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
        EXPECT_EQ(result.err.rfind("wqtrans: ", 0), 0u) << result.err;
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(dir.Names(), before);
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
