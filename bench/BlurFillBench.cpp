// The blurred fill of FitMode::Blur (host/BlurFill.h) around a contained picture: a
// 16:9 picture in a 1080 x 1920 portrait frame (bands above and below) and a 9:16 one
// in a 1920 x 1080 frame (bands left and right), each beside a memcpy of a 1920 x 1080
// frame from memory (bench::FrameMemcpy, timed by Measure), about what the fill should
// cost.
// Counters as in SurfaceBench.cpp: ns_per_call, memcpy_ns and x_memcpy.
#include <cstdint>

#include <benchmark/benchmark.h>

#include "bench/Measure.h"
#include "host/BlurFill.h"
#include "host/Fit.h"
#include "host/SoftwareSurface.h"

namespace wqtrans {
namespace {

// args: the frame's width and height, the picture's width and height.
void BM_BlurBehind(benchmark::State& state) {
    const auto w = static_cast<int32_t>(state.range(0));
    const auto h = static_cast<int32_t>(state.range(1));
    const FitRect shown =
        PlaceFitted(static_cast<int32_t>(state.range(2)), static_cast<int32_t>(state.range(3)), w, h, FitMode::Blur).to;
    SoftwareSurface frame(w, h);
    // A picture with detail in every channel, so that no pass sees flat data.
    for (int32_t y = shown.y; y < shown.y + shown.height; ++y) {
        for (int32_t x = shown.x; x < shown.x + shown.width; ++x) {
            frame.SetPixel(x, y,
                           0xFF000000u | static_cast<uint32_t>(x * 7 % 256) << 16 |
                               static_cast<uint32_t>(y * 5 % 256) << 8 | static_cast<uint32_t>((x + y) % 256));
        }
    }
    Measure(state, 1920, 1080, 1, [&] { BlurBehind(frame, shown); });
}

BENCHMARK(BM_BlurBehind)
    ->Args({1080, 1920, 1920, 1080})
    ->Args({1920, 1080, 1080, 1920})
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace wqtrans
