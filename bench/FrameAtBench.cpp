// The frame at any moment, per transition with its default block: the native side of
// the browser preview's comparison (scripts/web --bench times the same frames in
// Chromium) and of the Python module's (python/bench.py), and the frame at several
// moments of long runs beside a memcpy.
#include <string>
#include <utility>
#include <vector>

#include "bench/Measure.h"
#include "bench/Reference.h"
#include "host/FrameRenderer.h"
#include "host/PixelFormat.h"
#include "module/Types.h"

namespace {

constexpr int32_t kWidth = 1280;
constexpr int32_t kHeight = 720;

// The two pictures that web/bench.mjs hands the browser build, and python/bench.py
// builds with NumPy, from the same formulas.
wqtrans::SoftwareSurface Pattern(int32_t width, int32_t height, bool second) {
    wqtrans::SoftwareSurface picture(width, height);
    for (uint32_t i = 0; i < static_cast<uint32_t>(width * height); ++i) {
        picture.Pixels()[i] = 0xFF000000u | (second ? (i * 40503u) & 0xFFFFFFu : (i * 2654435761u) >> 8);
    }
    return picture;
}

// One transition's frame at `elapsedMs` of a one-second run, again and again into one
// output: the native side of the browser's comparison (1280 x 720 at 500 ms) and of the
// Python module's (1920 x 1080 at 333 ms).
// With `triples`, the three pictures are 3-byte pixels drawn where they lie, as the
// Python module draws RGB arrays.
void BM_FrameAt(benchmark::State& state, const char* code, int32_t width, int32_t height, uint32_t elapsedMs,
                bool triples) {
    wqtrans::SoftwareSurface oldWords = Pattern(width, height, false);
    wqtrans::SoftwareSurface newWords = Pattern(width, height, true);
    wqtrans::SoftwareSurface outWords(width, height);
    const std::size_t bytes = 3 * static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    std::vector<uint8_t> oldBytes(bytes), newBytes(bytes), outBytes(bytes);
    wqtrans::TriplesFromWords(oldWords.Pixels(), oldBytes.data(), bytes / 3);
    wqtrans::TriplesFromWords(newWords.Pixels(), newBytes.data(), bytes / 3);
    wqtrans::SoftwareSurface oldView = wqtrans::SoftwareSurface::OverTriples(width, height, oldBytes.data());
    wqtrans::SoftwareSurface newView = wqtrans::SoftwareSurface::OverTriples(width, height, newBytes.data());
    wqtrans::SoftwareSurface outView = wqtrans::SoftwareSurface::OverTriples(width, height, outBytes.data());
    wqtrans::SoftwareSurface& oldFrame = triples ? oldView : oldWords;
    wqtrans::SoftwareSurface& newFrame = triples ? newView : newWords;
    wqtrans::SoftwareSurface& out = triples ? outView : outWords;
    const wqtrans::FrameRequest request{wqtrans::MakeId(code[0], code[1], code[2], code[3]), {}, 1, 0, 1000, elapsedMs};
    if (!wqtrans::RenderFrameAt(request, oldFrame, newFrame, out)) {
        state.SkipWithError("the frame renderer refused the request");
        return;
    }
    // Frame after frame with nothing in between, as the page draws them: no reference
    // copy from memory between the calls to empty the cache.
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

// The frame at a share of a run of `durationMs` at width x height and 60 frames a
// second, the last frame time before the moment for the replayed transitions: what a
// seeking host pays at any moment, beside a memcpy of one frame from memory. The
// summary at the end of a run (bench/Main.cpp) gives each transition's worst moment.
void BM_FrameAtMoment(benchmark::State& state, const char* code, int32_t width, int32_t height, uint32_t durationMs,
                      uint32_t percent) {
    wqtrans::SoftwareSurface oldFrame(width, height, 0xFF204060u);
    wqtrans::SoftwareSurface newFrame(width, height, 0xFFC0A080u);
    wqtrans::SoftwareSurface out(width, height);
    wqtrans::FrameRequest request{wqtrans::MakeId(code[0], code[1], code[2], code[3]),        {}, 1, 0, durationMs,
                                  static_cast<uint32_t>(uint64_t{durationMs} * percent / 100)};
    request.frameRateNum = 60;
    wqtrans::Measure(state, width, height, 1, [&] { wqtrans::RenderFrameAt(request, oldFrame, newFrame, out); });
}

constexpr const char* kCodes[] = {"FADE", "BAND", "DOOR", "MOSA", "SCRL", "ZIGZ", "ZOOM",
                                  "SE00", "SE10", "SE12", "SE03", "SE05", "SE06", "SE01",
                                  "SE07", "SE09", "SE13", "SE08", "SE02", "SE04", "SE11"};

// The transitions in index order (registered before the module's registry exists).
const int registered = [] {
    for (const char* code : kCodes) {
        benchmark::RegisterBenchmark(("BM_FrameAt/" + std::string(code)).c_str(), BM_FrameAt, code, kWidth, kHeight,
                                     500u, false)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("BM_FrameAt1080/" + std::string(code)).c_str(), BM_FrameAt, code, 1920, 1080,
                                     333u, false)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("BM_FrameAt1080Triples/" + std::string(code)).c_str(), BM_FrameAt, code, 1920,
                                     1080, 333u, true)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
    }
    for (const auto& [width, height] : {std::pair{1920, 1080}, std::pair{3840, 2160}}) {
        for (uint32_t durationMs : {1000u, 10000u}) {
            for (uint32_t percent : {10u, 50u, 99u}) {
                for (const char* code : kCodes) {
                    const std::string name = "FrameAtMoment/" + std::string(code) + "/" + std::to_string(width) + "x" +
                                             std::to_string(height) + "/" + std::to_string(durationMs) + "ms/" +
                                             std::to_string(percent) + "%";
                    benchmark::RegisterBenchmark(name.c_str(), BM_FrameAtMoment, code, width, height, durationMs,
                                                 percent)
                        ->UseManualTime()
                        ->Unit(benchmark::kMillisecond);
                }
            }
        }
    }
    return 0;
}();

} // namespace
