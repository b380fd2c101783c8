// Whole runs of every transition on the reference surface, at 1920 x 1080 and
// 3840 x 2160: a run of 1000 ms stepped at 60 frames a second (61 steps), each step
// followed by a plain memcpy of one frame from memory (bench::FrameMemcpy) timed on its
// own, so that both see the same load. One iteration is one whole run. Counters, in thread CPU time:
// step_ms, the mean step; memcpy_ms, the mean frame memcpy; x_memcpy, the mean step over
// the mean memcpy; run_x_memcpy, a whole run over one memcpy. Besides the 21 with their
// default settings: Mosaic with a spot width of 0 (one cell per pixel) and Trame's other
// two patterns (one 1 x 1 copy per pixel over a run).
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench/Reference.h"
#include "host/SoftwareSurface.h"
#include "module/Registry.h"
#include "platform/Platform.h"
#include "tests/support/TestClock.h"
#include "transitions/MosaicTransition.h"
#include "transitions/TrameTransition.h"

namespace wqtrans {
namespace {

using bench::ThreadCpuNs;

constexpr uint32_t kDuration = 1000;
constexpr uint32_t kFrames = 60; // steps at k * 1000 / 60 ms, k = 0 to 60

// Registry index order.
constexpr const char* kNames[kTransitionCount] = {
    "Fade",  "Bands", "Door",  "Mosaic",  "Scrolling", "Zigzag", "Zoom",    "AdvancedScrolling",
    "Back",  "Cell",  "Line",  "Open",    "Push",      "Square", "Stretch", "Stretch2",
    "Trame", "Turn",  "Turn2", "ZigZag2", "Zoom2"};

// A frame whose pixels differ from their neighbours, so that no key colour or run of
// equal pixels makes a drawing call cheaper than it is on real pictures.
void Paint(SoftwareSurface& surface, uint32_t seed) {
    uint32_t* p = surface.Pixels();
    const std::size_t count = static_cast<std::size_t>(surface.Width()) * surface.Height();
    for (std::size_t i = 0; i < count; ++i) {
        p[i] = 0xFF000000u | ((static_cast<uint32_t>(i) * 2654435761u + seed) >> 8);
    }
}

void MeasureRuns(benchmark::State& state, const std::function<Transition*()>& make) {
    const auto w = static_cast<int32_t>(state.range(0));
    const auto h = static_cast<int32_t>(state.range(1));
    std::unique_ptr<Transition> transition(make());
    if (transition == nullptr) {
        state.SkipWithError("no memory for the transition");
        return;
    }
    test::TestClock clock(0);
    SoftwareSurface dest(w, h), oldFrame(w, h), newFrame(w, h);
    Paint(oldFrame, 0x1234u);
    Paint(newFrame, 0xABCDu);
    const std::size_t count = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
    bench::FrameMemcpy frameMemcpy(count);
    double stepNs = 0;
    double memcpyNs = 0;
    int64_t steps = 0;
    for (auto _ : state) {
        oldFrame.CopyAll(&dest);
        crt::srand(1);
        clock.Set(0);
        transition->Begin(kDuration);
        for (uint32_t k = 0; k <= kFrames; ++k) {
            clock.Set(k * kDuration / kFrames);
            const double t0 = ThreadCpuNs();
            transition->Step(&dest, &oldFrame, &newFrame, 0, nullptr);
            benchmark::ClobberMemory();
            const double t1 = ThreadCpuNs();
            memcpyNs += frameMemcpy.Run();
            stepNs += t1 - t0;
            ++steps;
        }
        transition->End();
    }
    const double n = static_cast<double>(std::max<int64_t>(1, steps));
    const double runs = n / (kFrames + 1);
    state.counters["step_ms"] = stepNs / n / 1e6;
    state.counters["memcpy_ms"] = memcpyNs / n / 1e6;
    state.counters["x_memcpy"] = stepNs / std::max(1.0, memcpyNs);
    state.counters["run_x_memcpy"] = stepNs / runs / std::max(1.0, memcpyNs / n);
}

void Register(const std::string& name, std::function<Transition*()> make) {
    benchmark::RegisterBenchmark(("Run/" + name).c_str(), [make](benchmark::State& state) { MeasureRuns(state, make); })
        ->Args({1920, 1080})
        ->Args({3840, 2160})
        ->Iterations(3)
        ->Unit(benchmark::kMillisecond);
}

const bool kRegistered = [] {
    for (int32_t i = 0; i < kTransitionCount; ++i) {
        Register(kNames[i], RegistryTable()[static_cast<std::size_t>(i)].make);
    }
    Register("Mosaic/spot0", [] {
        auto* mosaic = new MosaicTransition();
        mosaic->spotWidth = 0;
        return mosaic;
    });
    for (int32_t pattern = 0; pattern <= 1; ++pattern) {
        Register("Trame/pattern" + std::to_string(pattern), [pattern] {
            auto* trame = new TrameTransition();
            trame->pattern = pattern;
            return trame;
        });
    }
    return true;
}();

} // namespace
} // namespace wqtrans
