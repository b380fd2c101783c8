// End-to-end: list, params, calls, panel and --set, and the motion options.
#include "host/FrameRenderer.h"
#include "module/Exports.h"
#include "tools/ToolHarness.h"

namespace wqtrans::tooltest {
namespace {

class ToolCommands : public ::testing::Test {
protected:
    void SetUp() override { WQ_REQUIRE_TOOL(); }

    std::vector<std::string> Lines(const std::string& text) {
        std::vector<std::string> lines;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        return lines;
    }
    // True when panels can be opened on this build (the headless dialog manager).
    bool PanelsWork() { return RunTool({"panel", "Turn"}, dir).status == 0; }

    Scratch dir;
};

TEST_F(ToolCommands, ListJsonParsesAndHoldsTheRegistryInIndexOrder) {
    const Result result = RunTool({"list", "--json"}, dir);
    ASSERT_EQ(result.status, 0) << result.err;
    std::optional<Json> json = JsonReader(result.out).Parse();
    ASSERT_TRUE(json) << result.out;
    EXPECT_EQ((*json)["module"].str(), "Standard transitions");
    const Json& list = (*json)["transitions"];
    ASSERT_EQ(list.size(), 21u);
    const char* ids[21] = {"FADE", "BAND", "DOOR", "MOSA", "SCRL", "ZIGZ", "ZOOM", "SE00", "SE10", "SE12", "SE03",
                           "SE05", "SE06", "SE01", "SE07", "SE09", "SE13", "SE08", "SE02", "SE04", "SE11"};
    for (size_t i = 0; i < 21; ++i) {
        EXPECT_EQ(list[i]["index"].num(), static_cast<double>(i));
        EXPECT_EQ(list[i]["id"].str(), ids[i]);
    }
    // Rows checked field by field: name, mode, panel, block and parameter defaults.
    EXPECT_EQ(list[0]["name"].str(), "Fade");
    EXPECT_EQ(list[0]["mode"].num(), 7);
    EXPECT_FALSE(list[0]["panel"].boolean());
    EXPECT_EQ(list[0]["blockSize"].num(), 0);
    EXPECT_EQ(list[0]["parameters"].size(), 0u);
    const Json& zigzag = list[5];
    EXPECT_EQ(zigzag["name"].str(), "Zigzag");
    EXPECT_EQ(zigzag["mode"].num(), 3);
    EXPECT_EQ(zigzag["defaultBlock"].str(), "0F00000000000000");
    ASSERT_EQ(zigzag["parameters"].size(), 3u);
    EXPECT_EQ(zigzag["parameters"][0]["name"].str(), "spotWidth");
    EXPECT_EQ(zigzag["parameters"][0]["default"].num(), 15);
    EXPECT_EQ(zigzag["parameters"][2]["name"].str(), "direction");
    EXPECT_EQ(zigzag["parameters"][2]["offset"].num(), 6);
    EXPECT_EQ(zigzag["parameters"][2]["bits"].num(), 16);
    EXPECT_EQ(list[15]["name"].str(), "Stretch 2");
    EXPECT_EQ(list[15]["mode"].num(), 11);
    EXPECT_EQ(list[6]["mode"].num(), 15);
}

TEST_F(ToolCommands, TransitionsAreFoundByNameInAnyCaseOrById) {
    for (const char* name : {"stretch 2", "STRETCH-2", "Stretch2", "se09"}) {
        SCOPED_TRACE(name);
        const Result result = RunTool({"params", name}, dir);
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.out.rfind("Stretch 2 (SE09)", 0), 0u) << result.out;
    }
}

TEST_F(ToolCommands, ParamsDecodesAStoredBlock) {
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> fields; // "name = value" in block order
    } cases[] = {
        {{"params", "Bands", "--block", "0C000200"}, {"bandCount = 12", "direction = 2"}},
        {{"params", "Zigzag", "--block", "14 00 00 00 03 00 01 00"},
         {"spotWidth = 20", "startCorner = 3", "direction = 1"}},
        {{"params", "Turn", "--block", "FFFFFFFF0100000000000000"}, {"rotations = -1", "fullImage = 1", "inverse = 0"}},
        {{"params", "Door", "--block", "0380"}, {"direction = 32771"}},
        {{"params", "Cell"}, {"columns = 4", "rows = 4"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[1]);
        const Result result = RunTool(c.args, dir);
        ASSERT_EQ(result.status, 0) << result.err;
        std::vector<std::string> fields;
        for (const std::string& line : Lines(result.out)) {
            const size_t equals = line.find(" = ");
            if (equals != std::string::npos) {
                std::istringstream words(line);
                std::string name, sign, value;
                words >> name >> sign >> value;
                fields.push_back(name + " = " + value);
            }
        }
        EXPECT_EQ(fields, c.fields) << result.out;
    }
}

// The maps' files and summaries; their levels are checked in melt (LumaMaps.melt).
TEST_F(ToolCommands, LumaWritesAMapAndSaysWhetherItIsExact) {
    const Result pgm = RunTool({"luma", "Door", "--size", "32x24", "--out", "door.pgm"}, dir);
    ASSERT_EQ(pgm.status, 0) << pgm.err;
    // Door opens 16 columns a side, one moment each.
    EXPECT_EQ(pgm.out, "wrote door.pgm: Door, 32x24, 16-bit, 25 frames (1000 ms at 25 fps), 16 moments, exact in "
                       "MLT's luma wipe\n");
    const std::string bytes = ReadText(dir / "door.pgm");
    EXPECT_EQ(bytes.rfind("P5\n32 24\n65535\n", 0), 0u);
    EXPECT_EQ(bytes.size(), 15 + 32 * 24 * 2);

    // 300 frames leave no 8-bit level for some moments: written, with a note.
    const Result png =
        RunTool({"luma", "Line", "--size", "32x24", "--fps", "300", "--bits", "8", "-q", "--out", "line.png"}, dir);
    ASSERT_EQ(png.status, 0) << png.err;
    EXPECT_EQ(png.out, "");
    EXPECT_NE(png.err.find("note: 300 frames with"), std::string::npos) << png.err;
    EXPECT_NE(png.err.find("a 16-bit map is exact"), std::string::npos) << png.err;
    EXPECT_EQ(ReadText(dir / "line.png").substr(1, 3), "PNG");
}

TEST_F(ToolCommands, CallsPrintEveryHostCallOfEachStep) {
    // Scrolling from the left over 64 x 48 frames at 4 fps: steps at 0, 250, 500, 750
    // and 1000 ms; s = 64 x e / 1000 = 0, 16, 32, 48, 64 and the new frame is copied
    // at x = s - 64 whenever s has grown.
    const Result result = RunTool({"calls", "Scrolling", "--size", "64x48", "--fps", "4"}, dir);
    ASSERT_EQ(result.status, 0) << result.err;
    std::vector<std::string> lines = Lines(result.out);
    ASSERT_FALSE(lines.empty());
    lines.erase(lines.begin()); // the heading
    const std::vector<std::string> expected = {
        "Begin(1000)",
        "step 0 at 0 ms: Step(dest, old, new, 0, &changed)",
        "  dest.IsReady()",
        "  -> 1",
        "step 1 at 250 ms: Step(dest, old, new, 0, &changed)",
        "  dest.IsReady()",
        "  new.CopyRect(dest, -48, 0, 0, 0, 64, 48, 0, 0, 0, 2)",
        "  -> 1",
        "step 2 at 500 ms: Step(dest, old, new, 0, &changed)",
        "  dest.IsReady()",
        "  new.CopyRect(dest, -32, 0, 0, 0, 64, 48, 0, 0, 0, 2)",
        "  -> 1",
        "step 3 at 750 ms: Step(dest, old, new, 0, &changed)",
        "  dest.IsReady()",
        "  new.CopyRect(dest, -16, 0, 0, 0, 64, 48, 0, 0, 0, 2)",
        "  -> 1",
        "step 4 at 1000 ms: Step(dest, old, new, 0, &changed)",
        "  dest.IsReady()",
        "  new.CopyRect(dest, 0, 0, 0, 0, 64, 48, 0, 0, 0, 2)",
        "  -> 1",
        "End()",
    };
    EXPECT_EQ(lines, expected);
}

TEST_F(ToolCommands, CallsShowFadesBlendForEachFlag) {
    // Fade at e = d/2: flags 0 lay the new frame down and blend the old one over it
    // with p = 500 x 128 / 1000 = 64; flags 1 swap the frames and blend with 128 - p;
    // flags 4 draw the blended frame in mode 1.
    struct Case {
        const char* flags;
        std::vector<std::string> step;
    } cases[] = {
        {"0", {"  dest.IsReady()", "  new.CopyAll(dest)", "  old.DrawAt(dest, 0, 0, 0, 1, 64, 0)", "  -> 1"}},
        {"1", {"  dest.IsReady()", "  old.CopyAll(dest)", "  new.DrawAt(dest, 0, 0, 0, 1, 64, 0)", "  -> 1"}},
        {"0x4", {"  dest.IsReady()", "  new.CopyAll(dest)", "  old.DrawAt(dest, 0, 0, 1, 1, 64, 0)", "  -> 1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flags);
        const Result result =
            RunTool({"calls", "Fade", "--size", "8x6", "--fps", "4", "--duration", "1000", "--flags", c.flags}, dir);
        ASSERT_EQ(result.status, 0) << result.err;
        const std::vector<std::string> lines = Lines(result.out);
        const auto step = std::find_if(lines.begin(), lines.end(),
                                       [](const std::string& line) { return line.rfind("step 2 at 500 ms", 0) == 0; });
        ASSERT_NE(step, lines.end()) << result.out;
        ASSERT_GE(lines.end() - step, 5);
        EXPECT_EQ(std::vector<std::string>(step + 1, step + 5), c.step);
    }
}

// --set through the panel gives the same block as the block written by hand.
struct SetCase {
    const char* transition;
    std::vector<std::string> sets;
    const char* block;
};

const SetCase kSetCases[] = {
    {"Turn", {"Number of rotations=3", "Inverse Rotation=on"}, "030000000000000001000000"},
    {"Turn", {"number of rotations = 7", "See full image=ON", "inverse rotation=off"}, "070000000100000000000000"},
    {"Bands", {"Number of bands=12", "Direction=From top to bottom"}, "0C000200"},
    {"Bands", {"From &bottom to top"}, "01000300"},
    {"Cell", {"Cols=3", "Rows=7"}, "0300000007000000"},
    {"Mosaic", {"Spot width=20"}, "14000000"},
    {"Scrolling", {"From right to left=on"}, "01000000"},
    {"Zigzag", {"Vertical", "Start from=Center", "Spot width=30"}, "1E00000004000100"},
    {"Door", {"Direction=Vertical, from top & bottom to center"}, "0300"},
    {"Zoom 2", {"Zoom In"}, "01000000"},
    {"Square", {"Square Size=80", "with Stretch for the inside square=on"}, "000000005000000001000000"},
};

TEST_F(ToolCommands, SetThroughThePanelGivesTheBlock) {
    if (!PanelsWork()) {
        GTEST_SKIP() << "settings panels cannot be opened in this build";
    }
    for (const SetCase& c : kSetCases) {
        SCOPED_TRACE(c.transition);
        std::vector<std::string> args = {"panel", c.transition};
        for (const std::string& set : c.sets) {
            args.push_back("--set");
            args.push_back(set);
        }
        const Result result = RunTool(args, dir);
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_NE(result.out.find("\nblock: " + std::string(c.block) + "\n"), std::string::npos) << result.out;
    }
}

TEST_F(ToolCommands, RenderWithSetDrawsLikeRenderWithBlock) {
    if (!PanelsWork()) {
        GTEST_SKIP() << "settings panels cannot be opened in this build";
    }
    for (const SetCase& c : {kSetCases[0], kSetCases[2]}) {
        SCOPED_TRACE(c.transition);
        std::vector<std::string> bySet = {"render", c.transition, "--size", "48x32",  "--at",
                                          "400",    "-q",         "--out",  "set.png"};
        for (const std::string& set : c.sets) {
            bySet.push_back("--set");
            bySet.push_back(set);
        }
        ASSERT_EQ(RunTool(bySet, dir).status, 0);
        ASSERT_EQ(RunTool({"render", c.transition, "--size", "48x32", "--at", "400", "-q", "--block", c.block, "--out",
                           "block.png"},
                          dir)
                      .status,
                  0);
        ASSERT_EQ(RunTool({"render", c.transition, "--size", "48x32", "--at", "400", "-q", "--out", "default.png"}, dir)
                      .status,
                  0);
        SoftwareSurface set, block, defaults;
        ASSERT_TRUE(set.LoadPng(dir / "set.png"));
        ASSERT_TRUE(block.LoadPng(dir / "block.png"));
        ASSERT_TRUE(defaults.LoadPng(dir / "default.png"));
        EXPECT_EQ(PixelsOf(set), PixelsOf(block));
        EXPECT_NE(PixelsOf(set), PixelsOf(defaults)); // the settings did change the run
    }
}

TEST_F(ToolCommands, PanelErrorsNameTheControlsOrTheRange) {
    if (!PanelsWork()) {
        GTEST_SKIP() << "settings panels cannot be opened in this build";
    }
    struct Case {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{"panel", "Turn", "--set", "Speed=3"},
         "Turn's panel has no control \"Speed\"; its controls are: \"Number of rotations\" (track bar, 1 to 7), "
         "\"See Full Image\" (check box, on or off), \"Inverse Rotation\" (check box, on or off)"},
        {{"panel", "Turn", "--set", "Number of rotations=8"}, "\"Number of rotations\" takes 1 to 7, not 8"},
        {{"panel", "Turn", "--set", "Number of rotations=three"}, "takes a whole number from 1 to 7, not \"three\""},
        {{"panel", "Turn", "--set", "Inverse Rotation=sometimes"}, "takes on or off, not \"sometimes\""},
        {{"panel", "Bands", "--set", "Number of bands=5001"}, "\"Number of bands\" takes 1 to 5000, not 5001"},
        {{"panel", "Bands", "--set", "Direction=Diagonal"}, "has no choice \"Diagonal\"; choose one of: \"From left"},
        {{"panel", "Scrolling", "--set", "From left to right=off"}, "is a radio button"},
        {{"panel", "Open", "--set", "Anything=1"}, "Open's panel has no control to set"},
        {{"render", "Cell", "--set", "Rows=31", "--out", "x.gif"}, "\"Rows\" takes 1 to 30, not 31"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[1] + " " + c.args[3]);
        const Result result = RunTool(c.args, dir);
        EXPECT_EQ(result.status, 2);
        EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "x.gif"));
}

// --ease and --reverse give the frame renderer's pictures, at one moment (--at) and in
// a run's frames; a curve that turns back is refused with one line.
TEST_F(ToolCommands, EaseAndReverseDrawTheRenderersPictures) {
    constexpr int32_t w = 37, h = 23;
    SoftwareSurface oldPicture =
        MakePicture(w, h, [](int32_t x, int32_t y) { return 0xFF000000u | x * 6 << 16 | y * 9; });
    SoftwareSurface newPicture = MakePicture(w, h, [](int32_t x, int32_t y) { return 0xFF000000u | y * 10 << 8 | x; });
    ASSERT_TRUE(oldPicture.SavePng(dir / "old.png"));
    ASSERT_TRUE(newPicture.SavePng(dir / "new.png"));
    struct Case {
        const char* transition;
        uint32_t id;
        const char* ease;
        bool reverse;
        uint32_t at;
        bool frames; // a directory of the run's frames at 10 fps, rather than --at
    };
    const Case cases[] = {
        {"Stretch 2", MakeId('S', 'E', '0', '9'), "ease-in", false, 600, false},
        {"Door", MakeId('D', 'O', 'O', 'R'), "linear", true, 300, false},
        {"Zoom", MakeId('Z', 'O', 'O', 'M'), "cubic-bezier(0.2,0.9,0.4,1)", true, 700, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.transition);
        std::vector<std::string> args = {"render",  c.transition, "--from", "old.png", "--to",
                                         "new.png", "--ease",     c.ease,   "-q"};
        if (c.reverse) {
            args.push_back("--reverse");
        }
        if (c.frames) {
            args.insert(args.end(), {"--fps", "10", "--out", "frames/"});
        } else {
            args.insert(args.end(), {"--at", std::to_string(c.at), "--out", "at.png"});
        }
        const Result result = RunTool(args, dir);
        ASSERT_EQ(result.status, 0) << result.err;
        SoftwareSurface got;
        char frame[32];
        std::snprintf(frame, sizeof frame, "frames/frame-%04u.png", c.at / 100);
        ASSERT_TRUE(got.LoadPng(dir / (c.frames ? frame : "at.png")));
        FrameRequest request{c.id, {}, 1, 0, 1000, c.at};
        request.frameRateNum = c.frames ? 10 : 30;
        request.ease = *MotionCurve::Parse(c.ease);
        request.reverse = c.reverse;
        SoftwareSurface expected(w, h);
        ASSERT_TRUE(RenderFrameAt(request, oldPicture, newPicture, expected));
        EXPECT_EQ(Difference(PixelsOf(got), expected), "");
        SoftwareSurface plain(w, h);
        ASSERT_TRUE(RenderFrameAt({c.id, {}, 1, 0, 1000, c.at}, oldPicture, newPicture, plain));
        EXPECT_NE(Difference(PixelsOf(got), plain), ""); // the motion did change the picture
    }
    const Result refused = RunTool({"render", "Door", "--ease", "cubic-bezier(0.5,1.5,0.5,1)", "--out", "x.gif"}, dir);
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(refused.err.find("wqtrans: --ease: curve \"cubic-bezier(0.5,1.5,0.5,1)\" would make time run backwards"),
              0u)
        << refused.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "x.gif"));
}

} // namespace
} // namespace wqtrans::tooltest
