// One transition frame at 1920x1080 inside libobs (OpenGL; under Xvfb, Mesa's
// llvmpipe), ours beside OBS's own fade and luma wipe in the same run, and the parts of
// ours: reading the two scenes back, the frame renderer's drawing, the upload, and four
// frame copies in memory for scale. Each frame is rendered as OBS renders a channel's
// source and then read back, which waits for the GPU to finish it; Sync/readback is
// that wait and read alone, to subtract. Times are wall-clock (the GPU's work is on
// other threads); mean_ms and p95_ms are per frame.
//   tests/obs/xvfb.sh OBS_PLUGIN_DIR OBS_DATA_DIR build/release/bench/wqtrans_obs_bench
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "host/FrameRenderer.h"
#include "module/Exports.h"
#include "module/Types.h"
#include "tests/obs/Libobs.h"

namespace {

using namespace wqtrans::obstest;

constexpr uint32_t kWidth = 1920, kHeight = 1080;
constexpr size_t kBytes = size_t{kWidth} * kHeight * 4;

Libobs libobs;
Source sceneA, sceneB;

// Times `body` once per iteration and reports the mean and the 95th percentile.
void Timed(benchmark::State& state, const std::function<void()>& body) {
    std::vector<double> ms;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        body();
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - t0;
        state.SetIterationTime(took.count());
        ms.push_back(took.count() * 1e3);
    }
    std::sort(ms.begin(), ms.end());
    double sum = 0;
    for (const double m : ms) {
        sum += m;
    }
    state.counters["mean_ms"] = ms.empty() ? 0 : sum / static_cast<double>(ms.size());
    state.counters["p95_ms"] = ms.empty() ? 0 : ms[std::min(ms.size() - 1, ms.size() * 95 / 100)];
}

// A render target and a staging surface at 1920x1080, made in the graphics context.
struct Target {
    gs_texrender_t* render = nullptr;
    gs_stagesurf_t* stage = nullptr;
    std::vector<uint8_t> bytes = std::vector<uint8_t>(kBytes);
    Target() {
        obs_enter_graphics();
        render = gs_texrender_create(GS_RGBA, GS_ZS_NONE);
        stage = gs_stagesurface_create(kWidth, kHeight, GS_RGBA);
        obs_leave_graphics();
    }
    ~Target() {
        obs_enter_graphics();
        gs_stagesurface_destroy(stage);
        gs_texrender_destroy(render);
        obs_leave_graphics();
    }
    void ReadBack() { ReadTexture(gs_texrender_get_texture(render), stage, kWidth, kHeight, 4, bytes.data()); }
};

// The transition halfway through a manual run from scene A to scene B.
Source Halfway(const char* id) {
    Source transition(obs_source_create_private(id, id, nullptr));
    obs_transition_set(transition.get(), sceneA.get());
    obs_set_output_source(0, transition.get());
    WaitTicks(2);
    obs_transition_set_manual_torque(transition.get(), 0.0f, 0.0f);
    obs_transition_start(transition.get(), OBS_TRANSITION_MODE_MANUAL, 0, sceneB.get());
    obs_transition_set_manual_time(transition.get(), 0.5f);
    WaitTicks(3);
    // Off the channel, so that the video thread does not draw it at the same time.
    obs_set_output_source(0, nullptr);
    return transition;
}

void BM_Frame(benchmark::State& state, const char* id) {
    Source transition = Halfway(id);
    if (obs_transition_get_time(transition.get()) != 0.5f) {
        state.SkipWithError("the transition did not reach progress 0.5");
        return;
    }
    Target target;
    Timed(state, [&] {
        obs_enter_graphics();
        RenderInto(target.render, transition.get(), kWidth, kHeight);
        target.ReadBack();
        obs_leave_graphics();
    });
    obs_transition_clear(transition.get());
}
BENCHMARK_CAPTURE(BM_Frame, fade, "fade_transition")->UseManualTime()->MinTime(6.0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Frame, luma_wipe, "wipe_transition")->UseManualTime()->MinTime(6.0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Frame, wqtrans_door, "wqtrans_door")->UseManualTime()->MinTime(6.0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Frame, wqtrans_zoom, "wqtrans_zoom")->UseManualTime()->MinTime(6.0)->Unit(benchmark::kMillisecond);

// The wait for the GPU and the read-back that every frame above ends with.
void BM_SyncReadback(benchmark::State& state) {
    Target target;
    Timed(state, [&] {
        obs_enter_graphics();
        gs_texrender_reset(target.render);
        if (gs_texrender_begin(target.render, kWidth, kHeight)) {
            vec4 clear{};
            gs_clear(GS_CLEAR_COLOR, &clear, 0.0f, 0);
            gs_texrender_end(target.render);
        }
        target.ReadBack();
        obs_leave_graphics();
    });
}
BENCHMARK(BM_SyncReadback)->Name("Sync/readback")->UseManualTime()->MinTime(2.0)->Unit(benchmark::kMillisecond);

// Our frame's parts: the two scenes read back (rendered once, then staged, mapped and
// copied out as the module does), the frame renderer's drawing, and the upload of
// the picture drawn into the frame (ending with the same wait and read-back).
void BM_PartReadback(benchmark::State& state) {
    Target a, b;
    obs_enter_graphics();
    RenderInto(a.render, sceneA.get(), kWidth, kHeight);
    RenderInto(b.render, sceneB.get(), kWidth, kHeight);
    obs_leave_graphics();
    Timed(state, [&] {
        obs_enter_graphics();
        a.ReadBack();
        b.ReadBack();
        obs_leave_graphics();
    });
}
BENCHMARK(BM_PartReadback)
    ->Name("Part/readback_two_scenes")
    ->UseManualTime()
    ->MinTime(2.0)
    ->Unit(benchmark::kMillisecond);

void BM_PartDraw(benchmark::State& state) {
    Target a, b;
    obs_enter_graphics();
    RenderInto(a.render, sceneA.get(), kWidth, kHeight);
    RenderInto(b.render, sceneB.get(), kWidth, kHeight);
    a.ReadBack();
    b.ReadBack();
    obs_leave_graphics();
    std::vector<uint32_t> out(size_t{kWidth} * kHeight);
    auto oldFrame =
        wqtrans::SoftwareSurface::ReadOnlyOver(kWidth, kHeight, reinterpret_cast<uint32_t*>(a.bytes.data()));
    auto newFrame =
        wqtrans::SoftwareSurface::ReadOnlyOver(kWidth, kHeight, reinterpret_cast<uint32_t*>(b.bytes.data()));
    auto picture = wqtrans::SoftwareSurface::Over(kWidth, kHeight, out.data());
    wqtrans::FrameRequest request;
    request.id = static_cast<uint32_t>(state.range(0));
    request.elapsedMs = 500;
    request.frameRateNum = 10;
    Timed(state, [&] { wqtrans::RenderFrameAt(request, oldFrame, newFrame, picture); });
}
BENCHMARK(BM_PartDraw)
    ->Name("Part/frame_renderer")
    ->ArgName("id")
    ->Arg(wqtrans::MakeId('D', 'O', 'O', 'R'))
    ->Arg(wqtrans::MakeId('Z', 'O', 'O', 'M'))
    ->UseManualTime()
    ->MinTime(2.0)
    ->Unit(benchmark::kMillisecond);

void BM_PartUpload(benchmark::State& state) {
    Target target;
    std::vector<uint8_t> picture(kBytes, 0x80);
    obs_enter_graphics();
    gs_texture_t* texture = gs_texture_create(kWidth, kHeight, GS_RGBA, 1, nullptr, GS_DYNAMIC);
    obs_leave_graphics();
    Timed(state, [&] {
        obs_enter_graphics();
        gs_texture_set_image(texture, picture.data(), kWidth * 4, false);
        gs_texrender_reset(target.render);
        if (gs_texrender_begin(target.render, kWidth, kHeight)) {
            gs_ortho(0.0f, static_cast<float>(kWidth), 0.0f, static_cast<float>(kHeight), -100.0f, 100.0f);
            gs_effect_t* effect = obs_get_base_effect(OBS_EFFECT_DEFAULT);
            gs_effect_set_texture(gs_effect_get_param_by_name(effect, "image"), texture);
            while (gs_effect_loop(effect, "Draw")) {
                gs_draw_sprite(texture, 0, kWidth, kHeight);
            }
            gs_texrender_end(target.render);
        }
        target.ReadBack();
        obs_leave_graphics();
    });
    obs_enter_graphics();
    gs_texture_destroy(texture);
    obs_leave_graphics();
}
BENCHMARK(BM_PartUpload)->Name("Part/upload_and_draw")->UseManualTime()->MinTime(2.0)->Unit(benchmark::kMillisecond);

void BM_FourCopies(benchmark::State& state) {
    std::vector<uint8_t> from(kBytes, 1), to(kBytes);
    Timed(state, [&] {
        for (int i = 0; i < 4; ++i) {
            std::memcpy(to.data(), from.data(), kBytes);
            benchmark::ClobberMemory();
        }
    });
}
BENCHMARK(BM_FourCopies)
    ->Name("Memory/four_frame_copies")
    ->UseManualTime()
    ->MinTime(2.0)
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s OBS_PLUGIN_DIR OBS_DATA_DIR OUR_PLUGIN_DIR [benchmark options]\n", argv[0]);
        return 2;
    }
    libobs.obsPluginDir = argv[1];
    libobs.obsDataDir = argv[2];
    libobs.ourPluginDir = argv[3];
    const std::string error = libobs.Start(kWidth, kHeight, 10);
    if (!error.empty()) {
        std::fprintf(stderr, "libobs: %s\n", error.c_str());
        return 1;
    }
    const std::filesystem::path work = std::filesystem::temp_directory_path() / "wqtrans-obs-bench";
    std::filesystem::create_directories(work);
    sceneA = ImageSource("a", WritePicture((work / "a.png").string(), 0, kWidth, kHeight));
    sceneB = ImageSource("b", WritePicture((work / "b.png").string(), 1, kWidth, kHeight));
    benchmark::RunSpecifiedBenchmarks();
    sceneA.reset();
    sceneB.reset();
    libobs.Stop();
    std::filesystem::remove_all(work);
    return 0;
}
