// One frei0r plugin update at 1920 x 1080 per transition, halfway through its run, as a
// multiple of one frame's memcpy timed in the same iterations (the x_memcpy counter).
#ifdef WQTRANS_FREI0R_DIR
extern "C" {
#include <frei0r.h>
}
#include <dlfcn.h>

#include <cstring>
#include <string>
#include <vector>

#include "bench/Measure.h"

namespace {

constexpr unsigned kWidth = 1920;
constexpr unsigned kHeight = 1080;
constexpr size_t kPixels = size_t{kWidth} * kHeight;

void BM_Frei0rUpdate(benchmark::State& state, const std::string& name) {
    void* handle = dlopen((std::string(WQTRANS_FREI0R_DIR) + "/wqtrans_" + name + ".so").c_str(), RTLD_NOW);
    if (handle == nullptr) {
        state.SkipWithError(dlerror());
        return;
    }
    auto construct = reinterpret_cast<f0r_instance_t (*)(unsigned, unsigned)>(dlsym(handle, "f0r_construct"));
    auto destruct = reinterpret_cast<void (*)(f0r_instance_t)>(dlsym(handle, "f0r_destruct"));
    auto set = reinterpret_cast<void (*)(f0r_instance_t, f0r_param_t, int)>(dlsym(handle, "f0r_set_param_value"));
    auto update2 = reinterpret_cast<void (*)(f0r_instance_t, double, const uint32_t*, const uint32_t*, const uint32_t*,
                                             uint32_t*)>(dlsym(handle, "f0r_update2"));
    std::vector<uint32_t> a(kPixels), b(kPixels), out(kPixels);
    for (size_t i = 0; i < kPixels; ++i) {
        a[i] = 0xFF000000u | static_cast<uint32_t>(i * 2654435761u >> 8);
        b[i] = 0xFF000000u | static_cast<uint32_t>(i * 40503u);
    }
    f0r_instance_t instance = construct(kWidth, kHeight);
    double progress = 0.5;
    set(instance, &progress, 0);
    update2(instance, 0, a.data(), b.data(), nullptr, out.data()); // the panel's block is made once
    wqtrans::Measure(state, kWidth, kHeight, 1, [&] { update2(instance, 0, a.data(), b.data(), nullptr, out.data()); });
    destruct(instance);
    dlclose(handle);
}

const int registered = [] {
    for (const char* name :
         {"fade",  "bands", "door",   "mosaic",   "scrolling", "zigzag", "zoom",    "advanced_scrolling",
          "back",  "cell",  "line",   "open",     "push",      "square", "stretch", "stretch_2",
          "trame", "turn",  "turn_2", "zigzag_2", "zoom_2"}) {
        benchmark::RegisterBenchmark(("BM_Frei0rUpdate/" + std::string(name)).c_str(), BM_Frei0rUpdate, name)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
    }
    return 0;
}();

} // namespace

#endif // WQTRANS_FREI0R_DIR
