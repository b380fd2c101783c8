// Luma maps: which runs are pure reveals, found over all 21 transitions and a spread of
// their blocks; that a pure reveal's map, thresholded as MLT's wipe does, gives the
// renderer's frames; the levels at the edges of 8 and 16 bits; the files' bytes.
#include <gtest/gtest.h>

#include <png.h>

#include <csetjmp>
#include <cstring>
#include <set>
#include <string>

#include "host/LumaMap.h"
#include "module/Exports.h"
#include "support/Frames.h"
#include "support/Runs.h"

namespace wqtrans::test {
namespace {

constexpr int32_t kWidth = 40;
constexpr int32_t kHeight = 30;

std::string NameOf(uint32_t id) { return std::string(reinterpret_cast<const char*>(&id), 4); }

std::vector<uint8_t> DefaultBlock(uint32_t id) {
    TransitionAdapter* adapter = CreateTransition(0, id, nullptr, 0);
    std::vector<uint8_t> block = ParameterBlock(adapter);
    adapter->table->Delete(adapter);
    return block;
}

// The defaults, then each 32-bit word (or the one 16-bit word) set in turn to small
// values: every radio choice and direction, and both halves of a packed word.
std::vector<std::vector<uint8_t>> Blocks(uint32_t id) {
    const std::vector<uint8_t> defaults = DefaultBlock(id);
    std::vector<std::vector<uint8_t>> blocks{defaults};
    const size_t word = defaults.size() == 2 ? 2 : 4;
    for (size_t offset = 0; offset + word <= defaults.size(); offset += word) {
        for (uint32_t value : {0u, 1u, 2u, 3u, 0x00020003u}) {
            std::vector<uint8_t> block = defaults;
            std::memcpy(block.data() + offset, &value, word);
            blocks.push_back(block);
        }
    }
    return blocks;
}

// MLT shows the new input at frame i where the level is at most about i x 65535 / n
// (the lower of its two ways of comparing; see host/LumaMap.h).
uint32_t Threshold(uint32_t i, uint32_t n) { return static_cast<uint32_t>(uint64_t{i} * 65535 / n); }

// For every transition and block: either a one-line refusal, or a map that, at each
// frame, is at most the threshold exactly where the renderer's frame of pictures that
// tell their origin shows the new picture's own pixel. The frames of 1000 ms at 25 frames
// a second, and 30 frames of a run of 1010 ms (the renderer at 30 frames in 1010 ms).
class LumaMapRevealRuns : public ::testing::TestWithParam<std::pair<uint32_t, uint32_t>> {};

TEST_P(LumaMapRevealRuns, EveryPureRevealsMapGivesTheRenderersFrames) {
    const auto [duration, kFrames] = GetParam();
    std::set<std::string> pure;
    for (int32_t index = 0; index < GetTransCount(); ++index) {
        const uint32_t id = GetTransID(index);
        for (const std::vector<uint8_t>& block : Blocks(id)) {
            FrameRequest request{id, block, 1, 0, duration, 0};
            request.frameRateNum = kFrames * 1000;
            request.frameRateDen = duration;
            const RevealAnalysis analysis = AnalyseReveal(request, kWidth, kHeight, kFrames);
            if (!analysis.pure) {
                EXPECT_EQ(analysis.reason.find('\n'), std::string::npos) << analysis.reason;
                EXPECT_EQ(analysis.reason.rfind("at ", 0), 0u) << NameOf(id) << ": " << analysis.reason;
                continue;
            }
            pure.insert(NameOf(id));
            bool exact = false;
            const std::vector<uint16_t> levels = LumaLevels(analysis, 16, &exact);
            EXPECT_TRUE(exact);
            PixelRig rig(kWidth, kHeight);
            for (uint32_t i = 0; i < kFrames; ++i) {
                request.elapsedMs = i * duration / kFrames;
                ASSERT_TRUE(RenderFrameAt(request, rig.oldFrame, rig.newFrame, rig.dest));
                const std::string bad = FirstBadPixel(rig.dest, [&](int32_t x, int32_t y) {
                    return levels[static_cast<size_t>(y * kWidth + x)] <= Threshold(i, kFrames) ? NewAt(x, y)
                                                                                                : OldAt(x, y);
                });
                ASSERT_EQ(bad, "") << NameOf(id) << " block " << testing::PrintToString(block) << " frame " << i;
            }
        }
    }
    // The ones a trial named; Fade blends, so it can have no map.
    for (const char* id : {"BAND", "DOOR", "SE03", "SE12"}) {
        EXPECT_TRUE(pure.count(id)) << id;
    }
    EXPECT_FALSE(pure.count("FADE"));
    std::string found;
    for (const std::string& id : pure) {
        found += id + " ";
    }
    RecordProperty("pure_reveals", found);
}

INSTANTIATE_TEST_SUITE_P(Timelines, LumaMapRevealRuns,
                         ::testing::Values(std::pair<uint32_t, uint32_t>{1000, 25},
                                           std::pair<uint32_t, uint32_t>{1010, 30}));

TEST(LumaMapReveals, RefusesEmptySizesNoFramesAndUnknownTransitions) {
    const FrameRequest door{GetTransID(2), {}, 1, 0, 1000, 0};
    EXPECT_FALSE(AnalyseReveal(door, 0, 10, 25).pure);
    EXPECT_FALSE(AnalyseReveal(door, 10, 10, 0).pure);
    EXPECT_FALSE(AnalyseReveal(door, 4096, 2049, 25).pure); // over 2^23 pixels
    const RevealAnalysis unknown = AnalyseReveal({0x4B4E554A, {}, 1, 0, 1000, 0}, 8, 8, 5);
    EXPECT_FALSE(unknown.pure);
    EXPECT_NE(unknown.reason.find("refuses"), std::string::npos);
    // A host that gives up: asked before each frame.
    int asked = 0;
    FrameRequest cancelled = door;
    cancelled.cancelled = [&] { return ++asked == 3; };
    EXPECT_EQ(AnalyseReveal(cancelled, 8, 8, 25).reason, "cancelled");
    EXPECT_EQ(asked, 3);
}

// MLT keeps progress i / n as a float: 0.28f is a little over 0.28, 0.5f is exact.
TEST(LumaMapLevels, MltThresholdsAreTheLowerOfItsTwoComparisons) {
    struct Case {
        uint32_t i, n, level;
    };
    const Case cases[] = {
        {0, 25, 0},      {1, 25, 2621},   {7, 25, 18349}, // 18350.08 opaque, 18349.8 translucent
        {15, 30, 32767}, {24, 25, 62913}, {1, 3, 21845},  {255, 256, 65279},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MltLumaThreshold(c.i, c.n), c.level) << c.i << "/" << c.n;
    }
}

RevealAnalysis Analysis(uint32_t frames, std::vector<uint32_t> firstNew) {
    RevealAnalysis analysis;
    analysis.pure = true;
    analysis.width = static_cast<int32_t>(firstNew.size());
    analysis.height = 1;
    analysis.frames = frames;
    analysis.firstNew = std::move(firstNew);
    return analysis;
}

TEST(LumaMapLevels, LevelsAtTheEdgesOfEightAndSixteenBits) {
    struct Case {
        const char* what;
        uint32_t frames;
        std::vector<uint32_t> firstNew;
        int bits;
        std::vector<uint16_t> levels;
        bool exact;
    };
    const Case cases[] = {
        {"16 bits, 25 frames", 25, {0, 1, 7, 24, 25}, 16, {0, 2621, 18349, 62913, 65535}, true},
        {"8 bits, 25 frames", 25, {0, 1, 7, 24, 25}, 8, {0, 10, 71, 245, 255}, true},
        // 255 frames still leave a level each; at 256, frame 1's threshold is 255.
        {"8 bits, 255 frames", 255, {1, 2, 254, 255}, 8, {1, 2, 254, 255}, true},
        {"8 bits, 256 frames", 256, {1}, 8, {0}, false},
        // Frame 1 of 300 is below 256: its level would be 0, new already at frame 0.
        {"8 bits, 300 frames", 300, {1}, 8, {0}, false},
        // The top level after 65536 frames is frame 65535's threshold.
        {"16 bits, 65536 frames", 65536, {65536}, 16, {65535}, false},
    };
    for (const Case& c : cases) {
        bool exact = !c.exact;
        EXPECT_EQ(LumaLevels(Analysis(c.frames, c.firstNew), c.bits, &exact), c.levels) << c.what;
        EXPECT_EQ(exact, c.exact) << c.what;
    }
}

TEST(LumaMapFiles, PgmHeaderAndSamplesMostSignificantByteFirst) {
    const std::vector<uint8_t> pgm16 = EncodePgm({0x0102, 0xFFFE}, 2, 1, 16);
    const std::string header16 = "P5\n2 1\n65535\n";
    ASSERT_EQ(pgm16.size(), header16.size() + 4);
    EXPECT_EQ(std::string(pgm16.begin(), pgm16.begin() + 13), header16);
    EXPECT_EQ(std::vector<uint8_t>(pgm16.end() - 4, pgm16.end()), (std::vector<uint8_t>{1, 2, 0xFF, 0xFE}));
    const std::vector<uint8_t> pgm8 = EncodePgm({7, 255}, 1, 2, 8);
    EXPECT_EQ(std::string(pgm8.begin(), pgm8.end()), std::string("P5\n1 2\n255\n\x07\xFF", 13));
}

struct PngRead {
    const std::vector<uint8_t>* bytes;
    size_t at = 8;
};

void ReadFromVector(png_structp png, png_bytep out, png_size_t length) {
    auto* read = static_cast<PngRead*>(png_get_io_ptr(png));
    if (read->at + length > read->bytes->size()) {
        png_error(png, "short");
    }
    std::memcpy(out, read->bytes->data() + read->at, length);
    read->at += length;
}

// The samples of a grey PNG as libpng reads them, and its bit depth.
bool DecodeGrey(const std::vector<uint8_t>& bytes, int& depth, std::vector<uint16_t>& samples) {
    if (bytes.size() < 8 || png_sig_cmp(bytes.data(), 0, 8) != 0) {
        return false;
    }
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    PngRead read{&bytes};
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_read_fn(png, &read, ReadFromVector);
    png_set_sig_bytes(png, 8);
    png_read_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
    depth = png_get_bit_depth(png, info);
    const bool grey = png_get_color_type(png, info) == PNG_COLOR_TYPE_GRAY;
    png_bytepp rows = png_get_rows(png, info);
    samples.clear();
    for (png_uint_32 y = 0; y < png_get_image_height(png, info); ++y) {
        for (png_uint_32 x = 0; x < png_get_image_width(png, info); ++x) {
            samples.push_back(depth == 16 ? static_cast<uint16_t>(rows[y][2 * x] << 8 | rows[y][2 * x + 1])
                                          : rows[y][x]);
        }
    }
    png_destroy_read_struct(&png, &info, nullptr);
    return grey;
}

TEST(LumaMapFiles, GreyPngsKeepEveryLevelAtTheirDepth) {
    const std::vector<uint16_t> levels16{0, 1, 0x8000, 65535, 300, 2621};
    const std::vector<uint16_t> levels8{0, 1, 128, 255, 30, 10};
    for (int bits : {8, 16}) {
        const std::vector<uint16_t>& levels = bits == 8 ? levels8 : levels16;
        std::string error;
        const std::vector<uint8_t> png = EncodeGreyPng(levels, 3, 2, bits, &error);
        ASSERT_FALSE(png.empty()) << error;
        int depth = 0;
        std::vector<uint16_t> samples;
        ASSERT_TRUE(DecodeGrey(png, depth, samples)) << bits;
        EXPECT_EQ(depth, bits);
        EXPECT_EQ(samples, levels) << bits;
    }
}

} // namespace
} // namespace wqtrans::test
