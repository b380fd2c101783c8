// The colour conversion of HDR and wide-gamut frames: what their tags make of them, the
// fast conversion beside its exact form on every path the processor has, pixel formats
// against one another, highlights, and SDR pictures taken through HLG, PQ and wide
// gamuts (by the ffmpeg program's zscale) and back.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <set>
#include <stdexcept>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libavutil/mastering_display_metadata.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include "join/VideoColour.h"
#include "tests/join/TestMedia.h"

namespace wqtrans::join {
namespace {

struct FrameFree {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
using Frame = std::unique_ptr<AVFrame, FrameFree>;

// Tags stored as numbers, so that nonsense ones are never made as enums.
template <typename Enum> void SetTag(Enum& field, int value) { std::memcpy(&field, &value, sizeof value); }

Frame NewFrame(AVPixelFormat format, int width, int height, int primaries, int transfer,
               int matrix = AVCOL_SPC_BT2020_NCL, int range = AVCOL_RANGE_MPEG) {
    Frame frame(av_frame_alloc());
    frame->format = format;
    frame->width = width;
    frame->height = height;
    size_t sizes[4];
    ptrdiff_t strides[4];
    if (av_frame_get_buffer(frame.get(), 0) < 0) {
        throw std::runtime_error("no frame");
    }
    std::copy(frame->linesize, frame->linesize + 4, strides);
    av_image_fill_plane_sizes(sizes, format, height, strides);
    for (int p = 0; p < 4 && frame->data[p] != nullptr; ++p) {
        std::memset(frame->data[p], 0, sizes[p]); // av_write_image_line2 ors samples in
    }
    SetTag(frame->color_primaries, primaries);
    SetTag(frame->color_trc, transfer);
    SetTag(frame->colorspace, matrix);
    SetTag(frame->color_range, range);
    return frame;
}

const AVPixFmtDescriptor* Desc(const AVFrame* f) { return av_pix_fmt_desc_get(static_cast<AVPixelFormat>(f->format)); }

void Put(AVFrame* f, int c, int x, int y, uint16_t v) {
    av_write_image_line2(&v, f->data, f->linesize, Desc(f), x, y, c, 1, 2);
}

uint16_t Get(const AVFrame* f, int c, int x, int y) {
    uint16_t v = 0;
    av_read_image_line2(&v, const_cast<const uint8_t**>(f->data), f->linesize, Desc(f), x, y, c, 1, 0, 2);
    return v;
}

std::vector<uint32_t> Converted(const AVFrame* frame, int level = 4) {
    std::vector<uint32_t> out(static_cast<size_t>(frame->width) * frame->height);
    VideoColour colour;
    colour.LimitInstructions(level);
    colour.Convert(frame, out.data(), static_cast<size_t>(frame->width));
    return out;
}

int Channel(uint32_t word, int k) { return static_cast<int>(word >> (16 - 8 * k) & 0xFF); }

TEST(VideoColour, ClassifiesByTags) {
    const struct {
        int primaries, transfer;
        ColourKind kind;
        const char* name;
    } cases[] = {
        {AVCOL_PRI_BT709, AVCOL_TRC_BT709, ColourKind::Bt709, "BT.709"},
        {AVCOL_PRI_BT470BG, AVCOL_TRC_SMPTE170M, ColourKind::Bt709, "BT.601"},
        {AVCOL_PRI_UNSPECIFIED, AVCOL_TRC_UNSPECIFIED, ColourKind::Bt709, "BT.709"},
        {250, 250, ColourKind::Bt709, "BT.709"},
        {AVCOL_PRI_BT2020, AVCOL_TRC_BT2020_10, ColourKind::WideGamut, "BT.2020"},
        {AVCOL_PRI_BT2020, 250, ColourKind::WideGamut, "BT.2020"},
        {AVCOL_PRI_SMPTE432, AVCOL_TRC_IEC61966_2_1, ColourKind::WideGamut, "Display P3"},
        {AVCOL_PRI_SMPTE431, AVCOL_TRC_SMPTE428, ColourKind::WideGamut, "DCI-P3"},
        {AVCOL_PRI_BT2020, AVCOL_TRC_ARIB_STD_B67, ColourKind::Hlg, "HLG"},
        {AVCOL_PRI_BT709, AVCOL_TRC_ARIB_STD_B67, ColourKind::Hlg, "HLG"},
        {250, AVCOL_TRC_SMPTE2084, ColourKind::Pq, "PQ"},
    };
    for (const auto& c : cases) {
        const Frame frame = NewFrame(AV_PIX_FMT_YUV420P10LE, 2, 2, c.primaries, c.transfer, 250, 250);
        EXPECT_EQ(ClassifyColour(frame.get()), c.kind) << c.primaries << "/" << c.transfer;
        EXPECT_EQ(ColourName(frame.get()), c.name) << c.primaries << "/" << c.transfer;
    }
}

TEST(VideoColour, TakesThePqPeakFromSaneMetadata) {
    const struct {
        unsigned maxCll;  // 0: none
        double mastering; // 0: none; negative: given without luminance
        double peak;
    } cases[] = {{0, 0, 1000}, {4000, 0, 4000},  {0, 600, 600},      {20000, 0, 1000},
                 {1, 0, 1000}, {0, -4000, 1000}, {4000, 1000, 1000}, {2000, 10000, 2000}};
    for (const auto& c : cases) {
        const Frame frame = NewFrame(AV_PIX_FMT_YUV420P10LE, 2, 2, AVCOL_PRI_BT2020, AVCOL_TRC_SMPTE2084);
        if (c.maxCll != 0) {
            av_content_light_metadata_create_side_data(frame.get())->MaxCLL = c.maxCll;
        }
        if (c.mastering != 0) {
            AVMasteringDisplayMetadata* m = av_mastering_display_metadata_create_side_data(frame.get());
            m->max_luminance = av_d2q(std::abs(c.mastering), 100000);
            m->has_luminance = c.mastering > 0;
        }
        EXPECT_EQ(PqPeak(frame.get()), c.peak) << c.maxCll << " " << c.mastering;
    }
}

// Every combination of 24 levels of each component, converted at every instruction set
// this processor has, against the conversion in double precision.
TEST(VideoColour, FollowsTheExactConversion) {
    const struct {
        AVPixelFormat format;
        int primaries, transfer, range;
        unsigned maxCll;
        int worst; // codes: where a component near black after gamut mapping swings most
    } cases[] = {
        {AV_PIX_FMT_YUV444P10LE, AVCOL_PRI_BT2020, AVCOL_TRC_ARIB_STD_B67, AVCOL_RANGE_MPEG, 0, 3},
        {AV_PIX_FMT_YUV444P12LE, AVCOL_PRI_BT2020, AVCOL_TRC_SMPTE2084, AVCOL_RANGE_MPEG, 0, 2},
        {AV_PIX_FMT_YUV444P10LE, AVCOL_PRI_BT2020, AVCOL_TRC_SMPTE2084, AVCOL_RANGE_JPEG, 4000, 2},
        {AV_PIX_FMT_GBRP10LE, AVCOL_PRI_BT2020, AVCOL_TRC_ARIB_STD_B67, AVCOL_RANGE_JPEG, 0, 3},
        {AV_PIX_FMT_YUV444P, AVCOL_PRI_BT2020, AVCOL_TRC_BT2020_10, AVCOL_RANGE_MPEG, 0, 3},
        {AV_PIX_FMT_YUV444P10LE, AVCOL_PRI_SMPTE432, AVCOL_TRC_IEC61966_2_1, AVCOL_RANGE_MPEG, 0, 8},
        {AV_PIX_FMT_YUV444P10LE, AVCOL_PRI_SMPTE431, AVCOL_TRC_SMPTE428, AVCOL_RANGE_MPEG, 0, 3},
    };
    constexpr int kLevels = 24;
    for (const auto& c : cases) {
        Frame frame =
            NewFrame(c.format, kLevels * kLevels, kLevels, c.primaries, c.transfer, AVCOL_SPC_BT2020_NCL, c.range);
        if (c.maxCll != 0) {
            av_content_light_metadata_create_side_data(frame.get())->MaxCLL = c.maxCll;
        }
        const int top = (1 << Desc(frame.get())->comp[0].depth) - 1;
        for (int y = 0; y < kLevels; ++y) {
            for (int x = 0; x < kLevels * kLevels; ++x) {
                const int level[3] = {y, x % kLevels, x / kLevels};
                for (int k = 0; k < 3; ++k) {
                    Put(frame.get(), k, x, y, static_cast<uint16_t>(level[k] * top / (kLevels - 1)));
                }
            }
        }
        std::vector<uint32_t> exact;
        for (int y = 0; y < kLevels; ++y) {
            for (int x = 0; x < kLevels * kLevels; ++x) {
                exact.push_back(VideoColour::ConvertExactly(frame.get(), Get(frame.get(), 0, x, y),
                                                            Get(frame.get(), 1, x, y), Get(frame.get(), 2, x, y)));
            }
        }
        for (const int isa : {4, 3, 1}) {
            SCOPED_TRACE(std::string(Desc(frame.get())->name) + " " + ColourName(frame.get()) + " at level " +
                         std::to_string(isa));
            const std::vector<uint32_t> fast = Converted(frame.get(), isa);
            int worst = 0, offByMore = 0;
            for (size_t i = 0; i < fast.size(); ++i) {
                ASSERT_EQ(fast[i] >> 24, 0xFFu);
                for (int k = 0; k < 3; ++k) {
                    const int d = std::abs(Channel(fast[i], k) - Channel(exact[i], k));
                    worst = std::max(worst, d);
                    offByMore += d > 1;
                }
            }
            EXPECT_LE(worst, c.worst);
            EXPECT_LE(offByMore, kLevels * kLevels * kLevels * 3 / 1000); // 0.1% of components
        }
    }
}

// One HLG picture in the pixel formats taken: its luma a slope across, its chroma a
// zigzag across and a slope down, sited with the top-left luma so that the linear
// interpolation between samples is exact. Their words agree with the 16-bit 4:4:4 one's.
TEST(VideoColour, PixelFormatsAgree) {
    constexpr int kWidth = 97, kHeight = 63; // odd: the last chroma samples cover one pixel
    const auto level = [](int k, int x, int y) {
        // Chroma in a zigzag across, with its corners on the samples, and a slope down.
        const double zigzag = std::abs(x % 8 - 4) / 4.0 - 0.5;
        return k == 0 ? 0.3 + 0.6 * x / kWidth : 0.5 + (k == 1 ? 1 : -1) * (0.06 * zigzag + 0.02 * y / kHeight);
    };
    const auto make = [&](AVPixelFormat format) {
        Frame frame = NewFrame(format, kWidth, kHeight, AVCOL_PRI_BT2020, AVCOL_TRC_ARIB_STD_B67);
        frame->chroma_location = AVCHROMA_LOC_TOPLEFT;
        const AVPixFmtDescriptor* d = Desc(frame.get());
        const double unit = std::ldexp(1.0, d->comp[0].depth - 8);
        for (int k = 0; k < 3; ++k) {
            const int sx = k == 0 ? 0 : d->log2_chroma_w, sy = k == 0 ? 0 : d->log2_chroma_h;
            for (int y = 0; y < (kHeight + sy) >> sy; ++y) {
                for (int x = 0; x < (kWidth + sx) >> sx; ++x) {
                    const double v = k == 0 ? 16 + 219 * level(k, x, y) : 16 + 224 * level(k, x << sx, y << sy);
                    Put(frame.get(), k, x, y, static_cast<uint16_t>(std::lround(v * unit)));
                }
            }
        }
        return frame;
    };
    const std::vector<uint32_t> reference = Converted(make(AV_PIX_FMT_YUV444P16LE).get());
    for (const AVPixelFormat format : {AV_PIX_FMT_YUV420P, AV_PIX_FMT_NV12, AV_PIX_FMT_YUV420P10LE, AV_PIX_FMT_P010LE,
                                       AV_PIX_FMT_YUV422P10LE, AV_PIX_FMT_YUV444P10LE, AV_PIX_FMT_YUV420P12LE}) {
        SCOPED_TRACE(av_get_pix_fmt_name(format));
        const std::vector<uint32_t> words = Converted(make(format).get());
        // The steep top of HLG spreads a sample's rounding over codes: 8 bits, 6 codes.
        const int depth = av_pix_fmt_desc_get(format)->comp[0].depth;
        const int tolerance = depth == 8 ? 6 : depth == 10 ? 2 : 1;
        for (size_t i = 0; i < words.size(); ++i) {
            const int x = static_cast<int>(i % kWidth), y = static_cast<int>(i / kWidth);
            if (x >= kWidth - 2 || y >= kHeight - 2) {
                continue; // the last chroma samples stand alone
            }
            for (int k = 0; k < 3; ++k) {
                ASSERT_NEAR(Channel(words[i], k), Channel(reference[i], k), tolerance) << x << "," << y;
            }
        }
    }
}

// A grey ramp over every code: darker to brighter, reference white next to white, the
// highlights above it over several codes rather than cut, and past the peak white.
TEST(VideoColour, RollsHighlightsOff) {
    const struct {
        int transfer;
        unsigned maxCll;
        double whiteSignal, peakSignal; // of 203 cd/m² and of the peak
    } cases[] = {{AVCOL_TRC_ARIB_STD_B67, 0, 0.75, 1.0}, {AVCOL_TRC_SMPTE2084, 4000, 0.5835, 0.9032}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.transfer);
        Frame frame = NewFrame(AV_PIX_FMT_YUV444P10LE, 1024, 1, AVCOL_PRI_BT2020, c.transfer);
        if (c.maxCll != 0) {
            av_content_light_metadata_create_side_data(frame.get())->MaxCLL = c.maxCll;
        }
        for (int x = 0; x < 1024; ++x) {
            Put(frame.get(), 0, x, 0, static_cast<uint16_t>(x));
            Put(frame.get(), 1, x, 0, 512);
            Put(frame.get(), 2, x, 0, 512);
        }
        const std::vector<uint32_t> words = Converted(frame.get());
        const auto at = [&](double signal) {
            return Channel(words[static_cast<size_t>(std::lround(64 + 876 * signal))], 1);
        };
        std::set<int> highlights;
        for (int x = 1; x < 1024; ++x) {
            ASSERT_GE(Channel(words[x], 1), Channel(words[x - 1], 1)) << x;
            ASSERT_NEAR(Channel(words[x], 0), Channel(words[x], 1), 1) << x;
            if (x >= 64 + 876 * c.whiteSignal && x <= 64 + 876 * c.peakSignal) {
                highlights.insert(Channel(words[x], 1));
            }
        }
        EXPECT_GE(at(c.whiteSignal), 245);
        EXPECT_LT(at(c.whiteSignal), 253);
        EXPECT_LT(at(c.whiteSignal + 0.3 * (c.peakSignal - c.whiteSignal)), 255);
        EXPECT_EQ(at(c.peakSignal + 0.01), 255);
        EXPECT_EQ(Channel(words[1023], 1), 255);
        EXPECT_GE(highlights.size(), 5u);
    }
}

TEST(VideoColour, ConvertsFramesOfNonsenseTags) {
    Frame frame = NewFrame(AV_PIX_FMT_YUV420P10LE, 6, 4, 250, 250, 250, 250);
    SetTag(frame->chroma_location, 250);
    for (int k = 0; k < 3; ++k) {
        for (int y = 0; y < (k == 0 ? 4 : 2); ++y) {
            for (int x = 0; x < (k == 0 ? 6 : 3); ++x) {
                Put(frame.get(), k, x, y, k == 0 ? 503 : 512); // Y' 0.501
            }
        }
    }
    EXPECT_EQ(ClassifyColour(frame.get()), ColourKind::Bt709);
    for (const uint32_t word : Converted(frame.get())) {
        EXPECT_EQ(word, 0xFF808080u); // mid grey, as BT.709 SDR
    }
}

TEST(VideoColour, RefusesFormatsItCannotTake) {
    for (const AVPixelFormat format :
         {AV_PIX_FMT_RGBA, AV_PIX_FMT_YUVA420P, AV_PIX_FMT_GRAY10LE, AV_PIX_FMT_YUV420P10BE, AV_PIX_FMT_XYZ12LE,
          AV_PIX_FMT_PAL8, AV_PIX_FMT_YUV410P}) {
        const Frame frame = NewFrame(format, 8, 8, AVCOL_PRI_BT2020, AVCOL_TRC_ARIB_STD_B67);
        std::vector<uint32_t> out(64);
        VideoColour colour;
        try {
            colour.Convert(frame.get(), out.data(), 8);
            ADD_FAILURE() << av_get_pix_fmt_name(format) << " was taken";
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find(av_get_pix_fmt_name(format)), std::string::npos) << e.what();
        }
    }
}

Frame FromRaw(const std::string& bytes, AVPixelFormat format, int width, int height, int primaries, int transfer,
              int matrix) {
    Frame frame = NewFrame(format, width, height, primaries, transfer, matrix);
    const uint8_t* planes[4];
    int strides[4];
    av_image_fill_arrays(const_cast<uint8_t**>(planes), strides, reinterpret_cast<const uint8_t*>(bytes.data()), format,
                         width, height, 1);
    av_image_copy(frame->data, frame->linesize, planes, strides, format, width, height);
    return frame;
}

// SMPTE HD bars (ffmpeg's smptehdbars) in SDR BT.709, made HLG, PQ, BT.2020 SDR and Display
// P3 SDR, in 4:4:4 and 4:2:0, and converted back: PSNR against the original and the mean
// saturation ((max - min) / max) beside the original's.
TEST(VideoColour, BringsSdrBackFromHdrAndWideGamuts) {
    WQ_REQUIRE_FFMPEG();
    constexpr int kWidth = 480, kHeight = 270;
    jointest::Scratch dir;
    const std::string source = "-f lavfi -i smptehdbars=size=480x270:rate=1,format=gbrp -frames:v 1 ";
    const std::string zscale = "zscale=tin=bt709:pin=bt709:min=gbr:rin=full:r=limited:npl=203:";
    jointest::Ffmpeg(source + "-f rawvideo -pix_fmt rgb24", dir / "sdr.rgb");
    const std::string sdrBytes = tooltest::ReadText(dir / "sdr.rgb");
    const std::vector<uint8_t> sdr(sdrBytes.begin(), sdrBytes.end());
    ASSERT_EQ(sdr.size(), size_t{3} * kWidth * kHeight);
    const auto made = [&](const std::string& name, const std::string& to, const char* format, int primaries,
                          int transfer, int matrix) {
        jointest::Ffmpeg(source + "-vf '" + zscale + to + ",format=" + format + "' -f rawvideo", dir / name);
        return FromRaw(tooltest::ReadText(dir / name), av_get_pix_fmt(format), kWidth, kHeight, primaries, transfer,
                       matrix);
    };
    const struct {
        const char* what;
        Frame frame;
        double psnr, saturation; // at least, and within so much of the original's
    } cases[] = {
        {"HLG 4:4:4",
         made("hlg444", "t=arib-std-b67:p=bt2020:m=bt2020nc", "yuv444p10le", AVCOL_PRI_BT2020, AVCOL_TRC_ARIB_STD_B67,
              AVCOL_SPC_BT2020_NCL),
         34, 0.05},
        {"HLG 4:2:0",
         made("hlg420", "t=arib-std-b67:p=bt2020:m=bt2020nc", "yuv420p10le", AVCOL_PRI_BT2020, AVCOL_TRC_ARIB_STD_B67,
              AVCOL_SPC_BT2020_NCL),
         28, 0.06},
        {"PQ 4:4:4",
         made("pq444", "t=smpte2084:p=bt2020:m=bt2020nc", "yuv444p10le", AVCOL_PRI_BT2020, AVCOL_TRC_SMPTE2084,
              AVCOL_SPC_BT2020_NCL),
         34, 0.03},
        {"PQ 4:2:0",
         made("pq420", "t=smpte2084:p=bt2020:m=bt2020nc", "yuv420p10le", AVCOL_PRI_BT2020, AVCOL_TRC_SMPTE2084,
              AVCOL_SPC_BT2020_NCL),
         28.5, 0.04},
        {"BT.2020 SDR 4:2:0",
         made("sdr2020", "t=bt2020-10:p=bt2020:m=bt2020nc", "yuv420p10le", AVCOL_PRI_BT2020, AVCOL_TRC_BT2020_10,
              AVCOL_SPC_BT2020_NCL),
         29.5, 0.03},
        {"Display P3 4:4:4",
         made("p3", "t=iec61966-2-1:p=smpte432:m=bt709", "yuv444p10le", AVCOL_PRI_SMPTE432, AVCOL_TRC_IEC61966_2_1,
              AVCOL_SPC_BT709),
         38, 0.02},
    };
    const auto saturation = [](int r, int g, int b) {
        const int top = std::max({r, g, b});
        return top == 0 ? 0.0 : (top - std::min({r, g, b})) / static_cast<double>(top);
    };
    for (const auto& c : cases) {
        const std::vector<uint32_t> words = Converted(c.frame.get());
        double squares = 0, saturated = 0, original = 0;
        for (size_t i = 0; i < words.size(); ++i) {
            for (int k = 0; k < 3; ++k) {
                const double d = Channel(words[i], k) - sdr[3 * i + static_cast<size_t>(k)];
                squares += d * d;
            }
            saturated += saturation(Channel(words[i], 0), Channel(words[i], 1), Channel(words[i], 2));
            original += saturation(sdr[3 * i], sdr[3 * i + 1], sdr[3 * i + 2]);
        }
        const double psnr = 10 * std::log10(255.0 * 255.0 * 3 * static_cast<double>(words.size()) / squares);
        std::printf("%-18s PSNR %.2f dB, mean saturation %.4f against %.4f\n", c.what, psnr, saturated / words.size(),
                    original / words.size());
        EXPECT_GE(psnr, c.psnr) << c.what;
        EXPECT_NEAR(saturated / original, 1, c.saturation) << c.what;
    }
}

} // namespace
} // namespace wqtrans::join
