// The reference surface's drawing calls and Fade's step, each at 640 x 480 and
// 1920 x 1080, set beside a plain memcpy of one frame timed in the same iterations.
// Counters, in thread CPU time: ns_per_call; memcpy_ns, the frame memcpy; x_memcpy, an
// iteration's drawing over its memcpy (for the one-pixel copies, a batch of 4096 calls).
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench/Measure.h"
#include "host/SoftwareSurface.h"
#include "tests/support/TestClock.h"
#include "transitions/FadeTransition.h"

namespace wqtrans {
namespace {

int32_t W(const benchmark::State& state) { return static_cast<int32_t>(state.range(0)); }
int32_t H(const benchmark::State& state) { return static_cast<int32_t>(state.range(1)); }

// The reference beside itself: its ratio shows how steady the machine is.
void BM_Memcpy(benchmark::State& state) {
    const std::size_t n = static_cast<std::size_t>(W(state)) * H(state);
    std::vector<uint32_t> a(n, 0x12345678u), b(n, 0u);
    Measure(state, W(state), H(state), 1, [&] { std::memcpy(b.data(), a.data(), n * sizeof(uint32_t)); });
}

void BM_CopyAll(benchmark::State& state) {
    SoftwareSurface src(W(state), H(state), 0xFF102030), dst(W(state), H(state));
    HostSurface* s = &src;
    Measure(state, W(state), H(state), 1, [&] { s->CopyAll(&dst); });
}

void BM_CopyRectFrame(benchmark::State& state) {
    SoftwareSurface src(W(state), H(state), 0xFF102030), dst(W(state), H(state));
    HostSurface* s = &src;
    Measure(state, W(state), H(state), 1, [&] { s->CopyRect(&dst, 0, 0, 0, 0, W(state), H(state), 0, 0, 0, 2); });
}

// One pixel per call through the interface, every other pixel of each row in turn, as
// the per-pixel sweeps of Trame walk the frame.
void BM_CopyRect1x1(benchmark::State& state) {
    SoftwareSurface src(W(state), H(state), 0xFF102030), dst(W(state), H(state));
    HostSurface* s = &src;
    HostSurface* d = &dst;
    benchmark::DoNotOptimize(s);
    const int32_t w = W(state), h = H(state);
    constexpr int64_t kCalls = 4096;
    int32_t x = 0, y = 0;
    Measure(state, w, h, kCalls, [&] {
        for (int64_t i = 0; i < kCalls; ++i) {
            s->CopyRect(d, x, y, x, y, 1, 1, 0, 0, 0, 2);
            x += 2;
            if (x >= w) {
                x = 0;
                y = y + 1 == h ? 0 : y + 1;
            }
        }
    });
}

// The floor under the 1 x 1 copy in the same run: a virtual call with an almost empty
// body (EndDraw with no draw open), compiled in the surface library so it cannot be inlined.
void BM_VirtualCallFloor(benchmark::State& state) {
    SoftwareSurface src(W(state), H(state));
    HostSurface* s = &src;
    benchmark::DoNotOptimize(s);
    constexpr int64_t kCalls = 4096;
    Measure(state, W(state), H(state), kCalls, [&] {
        for (int64_t i = 0; i < kCalls; ++i) {
            benchmark::DoNotOptimize(s->EndDraw());
        }
    });
}

void BM_DrawAtBlend(benchmark::State& state) {
    SoftwareSurface src(W(state), H(state), 0xFF102030), dst(W(state), H(state), 0xFF405060);
    HostSurface* s = &src;
    Measure(state, W(state), H(state), 1, [&] { s->DrawAt(&dst, 0, 0, 0, 1, 64, 0); });
}

// The top-left quarter of the frame stretched 2x over the whole frame.
void BM_StretchRect2x(benchmark::State& state) {
    SoftwareSurface src(W(state), H(state), 0xFF102030), dst(W(state), H(state));
    HostSurface* s = &src;
    const int32_t w = W(state), h = H(state);
    Measure(state, w, h, 1, [&] { s->StretchRect(&dst, 0, 0, w, h, 0, 0, w / 2, h / 2, 0, 0, 0, 4); });
}

// Fade halfway: the new frame copied, the old frame blended over it.
void BM_FadeStep(benchmark::State& state) {
    SoftwareSurface oldFrame(W(state), H(state), 0xFF102030), newFrame(W(state), H(state), 0xFFA0B0C0),
        dst(W(state), H(state));
    test::TestClock clock(0);
    FadeTransition fade;
    fade.Begin(1000);
    clock.Set(500);
    Measure(state, W(state), H(state), 1, [&] { fade.Step(&dst, &oldFrame, &newFrame, 0, nullptr); });
}

#define WQTRANS_SIZES ->Args({640, 480})->Args({1920, 1080})->UseManualTime()->Unit(benchmark::kMicrosecond)
BENCHMARK(BM_Memcpy) WQTRANS_SIZES;
BENCHMARK(BM_CopyAll) WQTRANS_SIZES;
BENCHMARK(BM_CopyRectFrame) WQTRANS_SIZES;
BENCHMARK(BM_CopyRect1x1) WQTRANS_SIZES;
BENCHMARK(BM_VirtualCallFloor)->Args({640, 480})->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DrawAtBlend) WQTRANS_SIZES;
BENCHMARK(BM_StretchRect2x) WQTRANS_SIZES;
BENCHMARK(BM_FadeStep) WQTRANS_SIZES;

} // namespace
} // namespace wqtrans
