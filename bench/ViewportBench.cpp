// The pan and zoom sampler (join/Viewport) drawing a 1920 x 1080 frame from a 4:3 photo:
// from the level the join pre-scales a 4000 x 3000 photo to (2200 x 1650, about 1.15 to
// 1 picture pixels per output pixel) and, for comparison, from the whole photo (about
// 2). The view zooms from 1.0 to 1.15 and drifts, changing at every call, as a motion
// path moves it. The sampler has no branches on the pixels' values, so the pictures'
// content (a pattern) does not change its time. Counters as in Measure.h.
#include <cstdint>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench/Measure.h"
#include "join/Viewport.h"

namespace {

constexpr int32_t kWidth = 1920;
constexpr int32_t kHeight = 1080;

void BM_View(benchmark::State& state, int32_t width, int32_t height, int isaLevel) {
    std::vector<uint32_t> picture(static_cast<size_t>(width) * height);
    for (size_t k = 0; k < picture.size(); ++k) {
        picture[k] = 0xFF000000u | static_cast<uint32_t>(k * 2654435761u >> 8);
    }
    std::vector<uint32_t> out(static_cast<size_t>(kWidth) * kHeight);
    int call = 0;
    wqtrans::Measure(state, kWidth, kHeight, 1, [&] {
        // 100 calls from zoom 1.0 to 1.15 and back, the view 16:9 and drifting right and down.
        const int phase = call % 200;
        const double t = (phase < 100 ? phase : 199 - phase) / 99.0;
        const double viewWidth = width / (1 + 0.15 * t), viewHeight = viewWidth * 9 / 16;
        const wqtrans::join::ViewRect view{(width - viewWidth) * t, (height - viewHeight) * (0.3 + 0.4 * t), viewWidth,
                                           viewHeight};
        wqtrans::join::detail::DrawViewLimited(isaLevel, picture.data(), width, height, static_cast<size_t>(width),
                                               view, out.data(), kWidth, kHeight, kWidth);
        ++call;
    });
}

} // namespace

#define WQTRANS_VIEW ->UseManualTime()->Unit(benchmark::kMicrosecond)
// The best the processor runs (AVX2), then SSE2 alone; the photo itself.
BENCHMARK_CAPTURE(BM_View, Level2200, 2200, 1650, 3) WQTRANS_VIEW;
BENCHMARK_CAPTURE(BM_View, Level2200Sse2, 2200, 1650, 1) WQTRANS_VIEW;
BENCHMARK_CAPTURE(BM_View, Photo4000, 4000, 3000, 3) WQTRANS_VIEW;
