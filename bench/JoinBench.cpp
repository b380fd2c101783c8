// `wqtrans join` of ten 1080p clips against a join of two: wall time, frames a second
// and the peak memory of the tool's process (from wait4's rusage), to show that memory
// stays the same whatever the number and length of the inputs. The clips (2 s of
// 1920x1080 H.264 with AAC at 30 fps each, made once with the ffmpeg program) are kept in
// $TMPDIR/wqtrans-bench-join.
//   build/release/bench/wqtrans_bench --benchmark_filter=Join
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/tools/PeakKib.h"

namespace wqtrans {
namespace {

std::string Clip() {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "wqtrans-bench-join";
    const std::string clip = (dir / "clip1080.mp4").string();
    if (!std::filesystem::exists(clip)) {
        std::filesystem::create_directories(dir);
        const std::string make = "ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=1920x1080:rate=30:duration=2 "
                                 "-f lavfi -i sine=duration=2 -c:v libx264 -preset fast -c:a aac -shortest " +
                                 clip + ".tmp.mp4 && mv " + clip + ".tmp.mp4 " + clip;
        if (std::system(make.c_str()) != 0) {
            return "";
        }
    }
    return clip;
}

void BM_JoinPeakMemory(benchmark::State& state) {
    const std::string clip = Clip();
    if (clip.empty()) {
        state.SkipWithError("ffmpeg could not make the clips");
        return;
    }
    const auto clips = static_cast<int>(state.range(0));
    std::vector<std::string> args = {"join"};
    for (int i = 0; i < clips; ++i) {
        args.push_back(clip);
    }
    const std::string out = (std::filesystem::temp_directory_path() / "wqtrans-bench-join" / "joined.mp4").string();
    for (const std::string& arg : {std::string("-q"), std::string("--out"), out}) {
        args.push_back(arg);
    }
    long peakKib = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const long peak = tooltest::PeakKib(WQTRANS_TOOL_PATH, args);
        if (peak < 0) {
            state.SkipWithError("the join failed");
            return;
        }
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        peakKib = std::max(peakKib, peak);
    }
    // 60 frames a clip, less the 30 that each 1 s cut shares.
    const double frames = 60.0 * clips - 30.0 * (clips - 1);
    state.counters["peak_MiB"] = static_cast<double>(peakKib) / 1024.0;
    state.counters["frames_per_s"] = benchmark::Counter(frames, benchmark::Counter::kIsIterationInvariantRate);
}

BENCHMARK(BM_JoinPeakMemory)->Arg(2)->Arg(10)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);

} // namespace
} // namespace wqtrans
