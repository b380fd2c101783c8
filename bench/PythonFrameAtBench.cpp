// The frame at any moment at 1920 x 1080, a third of the way through a one-second
// run, per transition with its default block, into one reused output: the native side
// of python/bench.py, which times the Python module's frame_at on the same pictures.
#include <string>

#include "bench/Reference.h"
#include "host/FrameRenderer.h"
#include "module/Types.h"

namespace {

constexpr int32_t kWidth = 1920;
constexpr int32_t kHeight = 1080;

// The pictures python/bench.py builds with NumPy from the same formulas.
wqtrans::SoftwareSurface Pattern(bool second) {
    wqtrans::SoftwareSurface picture(kWidth, kHeight);
    for (uint32_t i = 0; i < static_cast<uint32_t>(kWidth * kHeight); ++i) {
        picture.Pixels()[i] = 0xFF000000u | (second ? (i * 40503u) & 0xFFFFFFu : (i * 2654435761u) >> 8);
    }
    return picture;
}

void BM_FrameAt1080(benchmark::State& state, const char* code) {
    wqtrans::SoftwareSurface oldFrame = Pattern(false);
    wqtrans::SoftwareSurface newFrame = Pattern(true);
    wqtrans::SoftwareSurface out(kWidth, kHeight);
    const wqtrans::FrameRequest request{wqtrans::MakeId(code[0], code[1], code[2], code[3]), {}, 1, 0, 1000, 333};
    if (!wqtrans::RenderFrameAt(request, oldFrame, newFrame, out)) {
        state.SkipWithError("the frame renderer refused the request");
        return;
    }
    double ns = 0;
    int64_t calls = 0;
    for (auto _ : state) {
        const double t0 = wqtrans::bench::ThreadCpuNs();
        wqtrans::RenderFrameAt(request, oldFrame, newFrame, out);
        benchmark::ClobberMemory();
        const double t = wqtrans::bench::ThreadCpuNs() - t0;
        ns += t;
        ++calls;
        state.SetIterationTime(t * 1e-9);
    }
    state.counters["ns_per_call"] = ns / static_cast<double>(calls > 0 ? calls : 1);
}

const int registered = [] {
    for (const char* code : {"FADE", "BAND", "DOOR", "MOSA", "SCRL", "ZIGZ", "ZOOM", "SE00", "SE10", "SE12", "SE03",
                             "SE05", "SE06", "SE01", "SE07", "SE09", "SE13", "SE08", "SE02", "SE04", "SE11"}) {
        benchmark::RegisterBenchmark(("BM_FrameAt1080/" + std::string(code)).c_str(), BM_FrameAt1080, code)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
    }
    return 0;
}();

} // namespace
