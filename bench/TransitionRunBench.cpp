// Whole runs of the per-pixel transitions at 1920 x 1080 on the reference surface:
// Trame (one 1 x 1 copy per pixel, about two million calls) and Mosaic with a spot
// width of 0 (one cell per pixel, each picked at random), each set beside a memcpy of
// one frame measured in the same run. Counters: run_ms, memcpy_ms and x_memcpy, the
// time of a whole run over the time of that memcpy, all in thread CPU time.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <vector>

#include <benchmark/benchmark.h>

#include "host/SoftwareSurface.h"
#include "tests/support/TestClock.h"
#include "transitions/MosaicTransition.h"
#include "transitions/TrameTransition.h"

namespace wqtrans {
namespace {

constexpr int32_t kWidth = 1920;
constexpr int32_t kHeight = 1080;
// A one-second run shown at 25 frames a second.
constexpr uint32_t kDuration = 1000;
constexpr uint32_t kFrame = 40;

double ThreadCpuNs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e9 + static_cast<double>(t.tv_nsec);
}

// The best of several frame-sized memcpy calls, in ns.
double FrameMemcpyNs() {
    const std::size_t pixels = static_cast<std::size_t>(kWidth) * kHeight;
    std::vector<uint32_t> from(pixels, 0x12345678u);
    std::vector<uint32_t> to(pixels, 0u);
    double best = 1e300;
    for (int i = 0; i < 16; ++i) {
        const double start = ThreadCpuNs();
        std::memcpy(to.data(), from.data(), pixels * sizeof(uint32_t));
        benchmark::ClobberMemory();
        best = std::min(best, ThreadCpuNs() - start);
    }
    return best;
}

// One whole run: Begin, a step every frame up to the end, End.
void WholeRun(Transition& transition, SoftwareSurface& dest, SoftwareSurface& oldFrame, SoftwareSurface& newFrame,
              test::TestClock& clock) {
    clock.Set(0);
    transition.Begin(kDuration);
    for (uint32_t t = 0;; t += kFrame) {
        clock.Set(std::min(t, kDuration));
        transition.Step(&dest, &oldFrame, &newFrame, 0, nullptr);
        if (t >= kDuration) {
            break;
        }
    }
    transition.End();
}

void MeasureRuns(benchmark::State& state, Transition& transition) {
    test::TestClock clock;
    SoftwareSurface dest(kWidth, kHeight, 0xFF000000u);
    SoftwareSurface oldFrame(kWidth, kHeight, 0xFF000000u);
    SoftwareSurface newFrame(kWidth, kHeight, 0xFFFFFFFFu);
    const double memcpyNs = FrameMemcpyNs();
    double runNs = 0;
    int64_t runs = 0;
    for (auto _ : state) {
        const double start = ThreadCpuNs();
        WholeRun(transition, dest, oldFrame, newFrame, clock);
        benchmark::ClobberMemory();
        runNs += ThreadCpuNs() - start;
        ++runs;
    }
    const double perRun = runNs / static_cast<double>(std::max<int64_t>(1, runs));
    state.counters["run_ms"] = perRun / 1e6;
    state.counters["memcpy_ms"] = memcpyNs / 1e6;
    state.counters["x_memcpy"] = perRun / memcpyNs;
}

void BM_TrameWholeRun(benchmark::State& state) {
    TrameTransition trame;
    trame.pattern = static_cast<int32_t>(state.range(0));
    MeasureRuns(state, trame);
}

void BM_MosaicWholeRunOneCellPerPixel(benchmark::State& state) {
    MosaicTransition mosaic;
    mosaic.spotWidth = 0;
    crt::srand(1);
    MeasureRuns(state, mosaic);
}

BENCHMARK(BM_TrameWholeRun)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_MosaicWholeRunOneCellPerPixel)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
} // namespace wqtrans
