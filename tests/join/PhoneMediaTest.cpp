// Media as phones make it, made here at test time from known originals: HEIC and AVIF
// photos (heif-enc), a JPEG in Display P3 with its profile (Little CMS and libjpeg), a
// JPEG turned by its EXIF orientation, HDR clips in HLG and PQ (FFmpeg's zscale), and
// the damaged and hostile kinds of each. Every part is compared with its original.
#include <gtest/gtest.h>
#include <lcms2.h>

extern "C" {
#include <libavutil/dovi_meta.h>
}

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

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

constexpr uint32_t kFade = MakeId('F', 'A', 'D', 'E');

using jointest::Ffmpeg;
using jointest::Shell;

bool HaveHeifEnc() { return std::system("command -v heif-enc >/dev/null 2>&1") == 0; }

SoftwareSurface Read(const Scratch& dir, const std::string& file) {
    const std::string bytes = tooltest::ReadText(dir / file);
    return std::move(media::DecodePicture(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()).pixels);
}

// The first frame of a join of `file` with itself at `w` x `h`: the file as the join
// shows it.
SoftwareSurface Joined(const Scratch& dir, const std::string& file, int32_t w, int32_t h) {
    JoinOptions options;
    options.width = w;
    options.height = h;
    options.sound = false;
    options.holdMs = 400;
    const InputSpec input{dir / file, std::nullopt, std::nullopt};
    Join joined({input, input}, {{kFade, {}, 100, 1, 0}}, options);
    return joined.Frame(0);
}

std::string Differs(SoftwareSurface actual, SoftwareSurface expected) {
    return tooltest::Difference(tooltest::PixelsOf(actual), expected);
}

double Psnr(SoftwareSurface a, SoftwareSurface b) {
    double sum = 0;
    const size_t count = static_cast<size_t>(a.Width()) * static_cast<size_t>(a.Height());
    for (size_t i = 0; i < count; ++i) {
        for (int shift = 0; shift < 24; shift += 8) {
            const double d = static_cast<double>((a.Pixels()[i] >> shift) & 0xFF) - ((b.Pixels()[i] >> shift) & 0xFF);
            sum += d * d;
        }
    }
    const double mse = sum / static_cast<double>(count * 3);
    return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

// ---- Colour: Little CMS in the test, as an independent judge ----------------------

cmsHPROFILE DisplayP3() {
    const cmsCIExyY d65{0.3127, 0.3290, 1};
    const cmsCIExyYTRIPLE p3{{0.680, 0.320, 1}, {0.265, 0.690, 1}, {0.150, 0.060, 1}};
    const cmsFloat64Number srgb[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, 4, srgb);
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(&d65, &p3, curves);
    cmsFreeToneCurve(curve);
    return profile;
}

std::vector<uint8_t> ProfileBytes(cmsHPROFILE profile) {
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    std::vector<uint8_t> bytes(size);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    return bytes;
}

// RGB triples from one profile's numbers to another's.
std::vector<uint8_t> Convert(const std::vector<uint8_t>& rgb, cmsHPROFILE from, cmsHPROFILE to) {
    cmsHTRANSFORM transform = cmsCreateTransform(from, TYPE_RGB_8, to, TYPE_RGB_8, INTENT_RELATIVE_COLORIMETRIC, 0);
    std::vector<uint8_t> out(rgb.size());
    cmsDoTransform(transform, rgb.data(), out.data(), static_cast<cmsUInt32Number>(rgb.size() / 3));
    cmsDeleteTransform(transform);
    return out;
}

// CIEDE2000 between two sRGB colours.
double DeltaE(const uint8_t* a, const uint8_t* b) {
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
    cmsHTRANSFORM transform = cmsCreateTransform(srgb, TYPE_RGB_8, lab, TYPE_Lab_DBL, INTENT_RELATIVE_COLORIMETRIC, 0);
    cmsCIELab labs[2];
    cmsDoTransform(transform, a, &labs[0], 1);
    cmsDoTransform(transform, b, &labs[1], 1);
    cmsDeleteTransform(transform);
    cmsCloseProfile(lab);
    cmsCloseProfile(srgb);
    return cmsCIE2000DeltaE(&labs[0], &labs[1], 1, 1, 1);
}

// RGB triples as a picture.
SoftwareSurface FromTriples(int w, int h, const std::vector<uint8_t>& rgb) {
    SoftwareSurface picture(w, h);
    for (size_t i = 0; i < rgb.size() / 3; ++i) {
        picture.Pixels()[i] = 0xFF000000u | static_cast<uint32_t>(rgb[i * 3]) << 16 |
                              static_cast<uint32_t>(rgb[i * 3 + 1]) << 8 | rgb[i * 3 + 2];
    }
    return picture;
}

void WriteJpeg(const std::filesystem::path& path, int w, int h, const std::vector<uint8_t>& rgb,
               const std::vector<uint8_t>& icc) {
    SoftwareSurface picture = FromTriples(w, h, rgb);
    tooltest::SaveJpeg(picture, path, 98, icc);
}

// Patches of 32 x 32 pixels, one colour each: greys, skin tones, and saturated and
// pale colours that sRGB holds.
const std::vector<std::array<uint8_t, 3>> kPatches = {
    {30, 30, 30},    {128, 128, 128}, {235, 235, 235}, {224, 172, 105}, {198, 134, 66}, {141, 85, 36},
    {225, 20, 20},   {20, 175, 40},   {40, 60, 190},   {230, 210, 40},  {40, 190, 200}, {190, 50, 170},
    {250, 200, 200}, {200, 230, 250}, {120, 90, 60},   {60, 110, 60},
};
constexpr int kPatch = 32;

std::vector<uint8_t> PatchPicture(int& w, int& h) {
    const int columns = 4;
    w = columns * kPatch;
    h = static_cast<int>(kPatches.size() / columns) * kPatch;
    std::vector<uint8_t> rgb(static_cast<size_t>(w) * static_cast<size_t>(h) * 3);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const auto& colour = kPatches[static_cast<size_t>((y / kPatch) * columns + x / kPatch)];
            std::copy(colour.begin(), colour.end(), &rgb[(static_cast<size_t>(y) * static_cast<size_t>(w) + x) * 3]);
        }
    }
    return rgb;
}

class PhoneMediaTest : public ::testing::Test {
protected:
    Scratch dir;
};

// A photo saved as HEIC and as AVIF comes out as the same photo saved as PNG, within
// what the codec loses: no worse than libheif's own decoder (heif-convert) by 1 dB.
TEST_F(PhoneMediaTest, HeicAndAvifPhotosJoinAsThePhoto) {
    if (!HaveHeifEnc()) {
        GTEST_SKIP() << "heif-enc was not found (Debian: libheif-examples)";
    }
    Ffmpeg(dir, "-f lavfi -i testsrc2=size=320x240 -frames:v 1 photo.png");
    Shell(dir, "heif-enc -q 92 photo.png -o photo.heic >/dev/null");
    Shell(dir, "heif-enc -A -q 92 photo.png -o photo.avif >/dev/null");
    SoftwareSurface original = Joined(dir, "photo.png", 320, 240);
    for (const char* file : {"photo.heic", "photo.avif"}) {
        SCOPED_TRACE(file);
        Shell(dir, std::string("heif-convert ") + file + " " + file + ".png >/dev/null");
        const double codec = Psnr(Read(dir, std::string(file) + ".png"), original);
        const double joined = Psnr(Joined(dir, file, 320, 240), original);
        EXPECT_GT(codec, 30.0);
        EXPECT_GE(joined, codec - 1.0);
    }
}

// A JPEG whose numbers are Display P3's, with its profile, shows the sRGB original's
// colours: every patch within CIEDE2000 3 (read as sRGB, the numbers would be well off).
TEST_F(PhoneMediaTest, ADisplayP3JpegShowsTheOriginalColours) {
    int w = 0;
    int h = 0;
    const std::vector<uint8_t> original = PatchPicture(w, h);
    cmsHPROFILE p3 = DisplayP3();
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    const std::vector<uint8_t> inP3 = Convert(original, srgb, p3);
    WriteJpeg(dir / "p3.jpg", w, h, inP3, ProfileBytes(p3));
    cmsCloseProfile(p3);
    cmsCloseProfile(srgb);

    SoftwareSurface shown = Joined(dir, "p3.jpg", w, h);
    double worst = 0;
    double worstIgnored = 0;
    for (size_t i = 0; i < kPatches.size(); ++i) {
        const int cx = static_cast<int>(i % 4) * kPatch + kPatch / 2;
        const int cy = static_cast<int>(i / 4) * kPatch + kPatch / 2;
        const uint32_t pixel = shown.Pixel(cx, cy);
        const uint8_t got[3] = {static_cast<uint8_t>(pixel >> 16), static_cast<uint8_t>(pixel >> 8),
                                static_cast<uint8_t>(pixel)};
        const size_t at = (static_cast<size_t>(cy) * static_cast<size_t>(w) + static_cast<size_t>(cx)) * 3;
        worst = std::max(worst, DeltaE(got, &original[at]));
        worstIgnored = std::max(worstIgnored, DeltaE(&inP3[at], &original[at]));
    }
    EXPECT_LE(worst, 3.0);
    EXPECT_GT(worstIgnored, 3.5);
}

// A profile that Little CMS refuses leaves the colours as sRGB, with a note; the join
// goes on.
TEST_F(PhoneMediaTest, AProfileThatCannotBeReadIsANote) {
    WQ_REQUIRE_TOOL();
    int w = 0;
    int h = 0;
    const std::vector<uint8_t> rgb = PatchPicture(w, h);
    WriteJpeg(dir / "plain.jpg", w, h, rgb, {});
    WriteJpeg(dir / "broken.jpg", w, h, rgb, std::vector<uint8_t>(300, 0x5A));
    EXPECT_EQ(Differs(Read(dir, "broken.jpg"), Read(dir, "plain.jpg")), "");
    const Result result = RunTool(
        {"join", "broken.jpg", "plain.jpg", "--hold", "200", "--duration", "100", "--no-sound", "--out", "x.mp4"}, dir);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.err.find("\"broken.jpg\": its colour profile cannot be read; its colours are taken as sRGB"),
              std::string::npos)
        << result.err;
}

// `render --from` a JPEG stored on its side with EXIF orientation 6 draws what it draws
// from the same picture stored upright as PNG.
TEST_F(PhoneMediaTest, RenderShowsAnExifTurnedJpegUpright) {
    WQ_REQUIRE_TOOL();
    Ffmpeg(dir, "-f lavfi -i testsrc2=size=96x64 -frames:v 1 -q:v 2 side.jpg");
    std::ofstream(dir / "turned.jpg", std::ios::binary)
        << tooltest::WithExifOrientation(tooltest::ReadText(dir / "side.jpg"), 6);
    SoftwareSurface side = Read(dir, "side.jpg");
    SoftwareSurface upright(64, 96);
    for (int32_t y = 0; y < 96; ++y) {
        for (int32_t x = 0; x < 64; ++x) {
            upright.SetPixel(x, y, side.Pixel(y, 63 - x)); // a quarter turn clockwise
        }
    }
    ASSERT_TRUE(upright.SavePng(dir / "upright.png"));
    for (const char* from : {"turned.jpg", "upright.png"}) {
        const Result result =
            RunTool({"render", "Door", "--from", from, "--at", "40", "--out", std::string(from) + ".out.png"}, dir);
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.err.find("scaled"), std::string::npos) << result.err;
    }
    EXPECT_EQ(Read(dir, "upright.png.out.png").Width(), 64);
    EXPECT_EQ(Differs(Read(dir, "turned.jpg.out.png"), Read(dir, "upright.png.out.png")), "");
}

// Mean HSV saturation, 0 to 255.
double MeanSaturation(const SoftwareSurface& picture) {
    const uint32_t* pixels = const_cast<SoftwareSurface&>(picture).Pixels();
    const size_t count = static_cast<size_t>(const_cast<SoftwareSurface&>(picture).Width()) *
                         static_cast<size_t>(const_cast<SoftwareSurface&>(picture).Height());
    double sum = 0;
    for (size_t i = 0; i < count; ++i) {
        const int r = static_cast<int>((pixels[i] >> 16) & 0xFF);
        const int g = static_cast<int>((pixels[i] >> 8) & 0xFF);
        const int b = static_cast<int>(pixels[i] & 0xFF);
        const int high = std::max({r, g, b});
        const int low = std::min({r, g, b});
        sum += high == 0 ? 0 : 255.0 * (high - low) / high;
    }
    return sum / static_cast<double>(count);
}

// The middle frame of each input's own part of a join of `files` at 320 x 240.
std::vector<SoftwareSurface> Parts(const Scratch& dir, const std::vector<std::string>& files) {
    JoinOptions options;
    options.width = 320;
    options.height = 240;
    options.sound = false;
    std::vector<InputSpec> inputs;
    std::vector<CutTransition> cuts;
    for (const std::string& file : files) {
        inputs.push_back({dir / file, std::nullopt, std::nullopt});
    }
    cuts.assign(files.size() - 1, {kFade, {}, 200, 1, 0});
    Join joined(inputs, cuts, options);
    std::vector<SoftwareSurface> parts;
    for (const Segment& segment : joined.Plan().segments) {
        parts.push_back(joined.Frame(segment.firstFrame + segment.frames / 2));
    }
    return parts;
}

// Colour bars made HDR by FFmpeg's zscale (BT.709 to BT.2020, HLG or PQ, reference
// white at 203 cd/m², 10 bits, 4:4:4 and lossless so that only the colour is judged; the
// 4:2:0 of phones is judged in VideoColourTest) and SDR in
// BT.2020, each joined after the SDR original: each part close to the original, its
// colours as saturated, where the plain matrix of before gave 15.5 dB and lost 29 % of
// the saturation.
TEST_F(PhoneMediaTest, HdrAndWideGamutClipsComeOutAsTheirSdrOriginal) {
    const std::string bars = "-f lavfi -i smptehdbars=size=320x240:rate=25:duration=1 ";
    const std::string from = "zscale=tin=bt709:min=bt709:pin=bt709:rin=limited:npl=203:m=bt2020nc:p=bt2020:r=limited";
    const std::string tags = " -color_primaries bt2020 -colorspace bt2020nc -c:v ffv1 ";
    Ffmpeg(dir, bars + "-pix_fmt yuv444p -color_primaries bt709 -color_trc bt709 -colorspace bt709 -c:v ffv1 sdr.mkv");
    Ffmpeg(dir, bars + "-vf " + from + ":t=arib-std-b67,format=yuv444p10le -color_trc arib-std-b67" + tags + "hlg.mkv");
    Ffmpeg(dir, bars + "-vf " + from + ":t=smpte2084,format=yuv444p10le -color_trc smpte2084" + tags + "pq.mkv");
    Ffmpeg(dir, bars + "-vf " + from + ":t=bt709,format=yuv444p10le -color_trc bt2020-10" + tags + "wide.mkv");
    const std::vector<SoftwareSurface> parts = Parts(dir, {"sdr.mkv", "hlg.mkv", "pq.mkv", "wide.mkv"});
    const double saturation = MeanSaturation(parts[0]);
    struct Case {
        const char* file;
        double psnr; // at least, against the SDR original
    } const cases[] = {{"hlg.mkv", 26}, {"pq.mkv", 24}, {"wide.mkv", 26}};
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].file);
        EXPECT_GE(Psnr(parts[i + 1], parts[0]), cases[i].psnr);
        EXPECT_NEAR(MeanSaturation(parts[i + 1]) / saturation, 1.0, 0.15);
    }
}

// The join says which clips it tone-maps; a clip whose colour tags are reserved values
// is joined as an untagged one.
TEST_F(PhoneMediaTest, TheJoinNamesHdrClipsAndTakesNonsenseTagsAsUntagged) {
    WQ_REQUIRE_TOOL();
    const std::string bars = "-f lavfi -i smptehdbars=size=320x240:rate=25:duration=1 ";
    Ffmpeg(dir, bars + "-vf zscale=tin=bt709:min=bt709:pin=bt709:npl=203:t=arib-std-b67:m=bt2020nc:p=bt2020,"
                       "format=yuv420p10le -color_primaries bt2020 -color_trc arib-std-b67 -colorspace bt2020nc "
                       "-c:v ffv1 hlg.mkv");
    Ffmpeg(dir, bars + "-pix_fmt yuv420p -c:v libx264 -qp 0 plain.mp4");
    Ffmpeg(dir, "-i plain.mp4 -c copy -bsf:v h264_metadata=colour_primaries=3:transfer_characteristics=3:"
                "matrix_coefficients=3 nonsense.mp4");
    const Result result =
        RunTool({"join", "hlg.mkv", "nonsense.mp4", "--duration", "200", "--no-sound", "--out", "x.mp4"}, dir);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.err.find("wqtrans: \"hlg.mkv\" is HDR (HLG): tone-mapped to SDR\n"), std::string::npos)
        << result.err;
    EXPECT_EQ(result.err.find("nonsense"), std::string::npos) << result.err;
    const std::vector<SoftwareSurface> parts = Parts(dir, {"plain.mp4", "nonsense.mp4"});
    EXPECT_EQ(Differs(parts[1], parts[0]), "");
}

// A copy of a clip with a Dolby Vision configuration record saying profile 8 and its
// base layer's compatibility, as phones write it beside the HEVC stream.
bool WithDolbyVision(const std::string& from, const std::string& to, uint8_t compatibility) {
    size_t size = 0;
    AVDOVIDecoderConfigurationRecord* dovi = av_dovi_alloc(&size);
    dovi->dv_version_major = 1;
    dovi->dv_profile = 8;
    dovi->dv_level = 4;
    dovi->rpu_present_flag = 1;
    dovi->bl_present_flag = 1;
    dovi->dv_bl_signal_compatibility_id = compatibility;
    return jointest::WithSideData(from, to, AV_PKT_DATA_DOVI_CONF, reinterpret_cast<uint8_t*>(dovi), size, true);
}

// A phone's Dolby Vision profile 8.4 clip is HLG underneath: joined as HLG even where
// its HEVC stream is tagged as SDR BT.2020.
TEST_F(PhoneMediaTest, DolbyVisionProfile84JoinsAsHlg) {
    const std::string bars = "-f lavfi -i smptehdbars=size=320x240:rate=25:duration=1 ";
    Ffmpeg(dir, bars + "-pix_fmt yuv444p -color_primaries bt709 -color_trc bt709 -colorspace bt709 -c:v ffv1 sdr.mkv");
    Ffmpeg(dir, bars + "-vf zscale=tin=bt709:min=bt709:pin=bt709:npl=203:t=arib-std-b67:m=bt2020nc:p=bt2020,"
                       "format=yuv444p10le -c:v libx265 -x265-params lossless=1:log-level=error -color_primaries "
                       "bt2020 -color_trc bt2020-10 -colorspace bt2020nc base.mp4");
    ASSERT_TRUE(WithDolbyVision(dir / "base.mp4", dir / "phone.mp4", 4));
    const std::vector<SoftwareSurface> parts = Parts(dir, {"sdr.mkv", "base.mp4", "phone.mp4"});
    EXPECT_GE(Psnr(parts[2], parts[0]), 26);
    EXPECT_LT(Psnr(parts[1], parts[0]), 20); // the same pictures taken as SDR
}

// Damaged and hostile HEIF files end in one line, from render and from join alike.
TEST_F(PhoneMediaTest, HostileHeifFilesAreRefusedInOneLine) {
    WQ_REQUIRE_TOOL();
    if (!HaveHeifEnc()) {
        GTEST_SKIP() << "heif-enc was not found (Debian: libheif-examples)";
    }
    Ffmpeg(dir, "-f lavfi -i testsrc2=size=64x48 -frames:v 1 small.png");
    Shell(dir, "heif-enc -q 80 small.png -o small.heic >/dev/null");
    const std::string heic = tooltest::ReadText(dir / "small.heic");
    std::ofstream(dir / "cut.heic", std::ios::binary) << heic.substr(0, heic.size() / 2);
    // Every picture's stored size claimed as 40000 x 40000, as a grid of that size says.
    std::string huge = heic;
    for (size_t at = huge.find("ispe"); at != std::string::npos; at = huge.find("ispe", at + 4)) {
        huge.replace(at + 8, 8, std::string("\0\0\x9c\x40\0\0\x9c\x40", 8));
    }
    std::ofstream(dir / "grid.heic", std::ios::binary) << huge;
    std::string sequence = heic;
    sequence.replace(8, 4, "msf1");
    std::ofstream(dir / "sequence.heic", std::ios::binary) << sequence;
    struct Bad {
        const char* file;
        const char* render; // what render says after "cannot read picture "FILE": "
        const char* join;   // and what join says
    } const cases[] = {
        {"cut.heic", "bad HEIF data", "\"cut.heic\" is damaged: "},
        {"grid.heic", "it is 40000x40000 pixels", "\"grid.heic\" is over the pixel budget: 40000x40000 pixels"},
        {"sequence.heic", "a HEIF or AVIF image sequence is not a single picture",
         "\"sequence.heic\": a HEIF or AVIF image sequence"},
    };
    for (const Bad& bad : cases) {
        SCOPED_TRACE(bad.file);
        Result result = RunTool({"render", "Fade", "--from", bad.file, "--out", "x.gif"}, dir);
        EXPECT_EQ(result.status, 1);
        EXPECT_NE(result.err.find(std::string("cannot read picture \"") + bad.file + "\": " + bad.render),
                  std::string::npos)
            << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
        result = RunTool({"join", "small.heic", bad.file, "--out", "x.mp4"}, dir);
        EXPECT_EQ(result.status, 1);
        EXPECT_NE(result.err.find(bad.join), std::string::npos) << result.err;
        EXPECT_FALSE(std::filesystem::exists(dir / "x.mp4"));
    }
}

} // namespace
} // namespace wqtrans::join
