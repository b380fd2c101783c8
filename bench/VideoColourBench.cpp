// The colour conversion of HDR video frames to SDR BT.709 words (join/VideoColour) at
// 1920 x 1080, beside libswscale's plain conversion of an SDR BT.709 frame to BGRA,
// what the join does with every other clip. The conversion has no branches on the
// pixels' values, so the frames' content (a pattern over every code) does not change
// its time. Counters as in Measure.h.
#include <cstdint>
#include <vector>

#include <benchmark/benchmark.h>

extern "C" {
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

#include "bench/Measure.h"
#include "join/VideoColour.h"

namespace {

constexpr int32_t kWidth = 1920;
constexpr int32_t kHeight = 1080;

// A frame of `format` with its three planes filled with a pattern over their codes.
AVFrame* PatternFrame(AVPixelFormat format, int levels, AVColorPrimaries primaries,
                      AVColorTransferCharacteristic transfer, AVColorSpace matrix) {
    AVFrame* frame = av_frame_alloc();
    frame->format = format;
    frame->width = kWidth;
    frame->height = kHeight;
    if (av_frame_get_buffer(frame, 0) < 0) {
        av_frame_free(&frame);
        return nullptr;
    }
    frame->color_primaries = primaries;
    frame->color_trc = transfer;
    frame->colorspace = matrix;
    frame->color_range = AVCOL_RANGE_MPEG;
    const int wide = levels > 256 ? 2 : 1;
    for (int p = 0; p < 3; ++p) {
        const int w = p == 0 ? kWidth : kWidth / 2, h = p == 0 ? kHeight : kHeight / 2;
        for (int y = 0; y < h; ++y) {
            uint8_t* row = frame->data[p] + static_cast<ptrdiff_t>(y) * frame->linesize[p];
            for (int x = 0; x < w; ++x) {
                const int code = levels / 16 + (x * 7 + y * 13 + p * 100) % (levels * 27 / 32);
                if (wide == 2) {
                    reinterpret_cast<uint16_t*>(row)[x] = static_cast<uint16_t>(code);
                } else {
                    row[x] = static_cast<uint8_t>(code);
                }
            }
        }
    }
    return frame;
}

void BM_Colour(benchmark::State& state, AVColorTransferCharacteristic transfer, int isaLevel) {
    AVFrame* frame = PatternFrame(AV_PIX_FMT_YUV420P10LE, 1024, AVCOL_PRI_BT2020, transfer, AVCOL_SPC_BT2020_NCL);
    std::vector<uint32_t> out(static_cast<size_t>(kWidth) * kHeight);
    wqtrans::join::VideoColour colour;
    colour.LimitInstructions(isaLevel);
    colour.Convert(frame, out.data(), kWidth); // the tables, built once
    wqtrans::Measure(state, kWidth, kHeight, 1, [&] { colour.Convert(frame, out.data(), kWidth); });
    av_frame_free(&frame);
}

// The SDR path: libswscale from yuv420p BT.709 to BGRA at the same size, with the
// colour details and filter join/Source.cpp sets.
void BM_ColourSwscaleSdr(benchmark::State& state) {
    AVFrame* frame = PatternFrame(AV_PIX_FMT_YUV420P, 256, AVCOL_PRI_BT709, AVCOL_TRC_BT709, AVCOL_SPC_BT709);
    std::vector<uint32_t> out(static_cast<size_t>(kWidth) * kHeight);
    SwsContext* scaler = sws_getContext(kWidth, kHeight, AV_PIX_FMT_YUV420P, kWidth, kHeight, AV_PIX_FMT_BGRA,
                                        SWS_BICUBIC, nullptr, nullptr, nullptr);
    sws_setColorspaceDetails(scaler, sws_getCoefficients(SWS_CS_ITU709), 0, sws_getCoefficients(SWS_CS_DEFAULT), 1, 0,
                             1 << 16, 1 << 16);
    uint8_t* planes[4] = {reinterpret_cast<uint8_t*>(out.data())};
    const int strides[4] = {kWidth * 4};
    wqtrans::Measure(state, kWidth, kHeight, 1,
                     [&] { sws_scale(scaler, frame->data, frame->linesize, 0, kHeight, planes, strides); });
    sws_freeContext(scaler);
    av_frame_free(&frame);
}

} // namespace

#define WQTRANS_COLOUR ->UseManualTime()->Unit(benchmark::kMicrosecond)
// The best the processor runs (AVX-512 or AVX2), then AVX2 and SSE2 alone.
BENCHMARK_CAPTURE(BM_Colour, Hlg, AVCOL_TRC_ARIB_STD_B67, 4) WQTRANS_COLOUR;
BENCHMARK_CAPTURE(BM_Colour, Pq, AVCOL_TRC_SMPTE2084, 4) WQTRANS_COLOUR;
BENCHMARK_CAPTURE(BM_Colour, HlgAvx2, AVCOL_TRC_ARIB_STD_B67, 3) WQTRANS_COLOUR;
BENCHMARK_CAPTURE(BM_Colour, HlgSse2, AVCOL_TRC_ARIB_STD_B67, 1) WQTRANS_COLOUR;
BENCHMARK(BM_ColourSwscaleSdr) WQTRANS_COLOUR;
