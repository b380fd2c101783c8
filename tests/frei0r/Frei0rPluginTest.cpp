// The built plugins called as a frei0r host calls them: seeking in any order, recycled
// output buffers, and bad input.
extern "C" {
#include <frei0r.h>
}
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "support/Frames.h"

namespace wqtrans::test {
namespace {

constexpr uint32_t kStale = 0x5A5A5A5Au; // what a recycled buffer holds; no tagged pixel has it

struct Plugin {
    explicit Plugin(const std::string& name) {
        handle = dlopen((std::string(WQTRANS_FREI0R_DIR) + "/wqtrans_" + name + ".so").c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            ADD_FAILURE() << dlerror();
            return;
        }
        init = reinterpret_cast<decltype(init)>(dlsym(handle, "f0r_init"));
        info = reinterpret_cast<decltype(info)>(dlsym(handle, "f0r_get_plugin_info"));
        paramInfo = reinterpret_cast<decltype(paramInfo)>(dlsym(handle, "f0r_get_param_info"));
        construct = reinterpret_cast<decltype(construct)>(dlsym(handle, "f0r_construct"));
        destruct = reinterpret_cast<decltype(destruct)>(dlsym(handle, "f0r_destruct"));
        set = reinterpret_cast<decltype(set)>(dlsym(handle, "f0r_set_param_value"));
        get = reinterpret_cast<decltype(get)>(dlsym(handle, "f0r_get_param_value"));
        update2 = reinterpret_cast<decltype(update2)>(dlsym(handle, "f0r_update2"));
        init();
    }
    ~Plugin() {
        if (handle != nullptr) {
            dlclose(handle);
        }
    }
    void Set(f0r_instance_t instance, int index, double value) { set(instance, &value, index); }
    // The output at `progress` in a buffer full of stale pixels.
    std::vector<uint32_t> At(f0r_instance_t instance, const std::vector<uint32_t>& a, const std::vector<uint32_t>& b,
                             double progress) {
        std::vector<uint32_t> out(a.size(), kStale);
        Set(instance, 0, progress);
        update2(instance, 0.0, a.data(), b.data(), nullptr, out.data());
        return out;
    }

    void* handle = nullptr;
    int (*init)() = nullptr;
    void (*info)(f0r_plugin_info_t*) = nullptr;
    void (*paramInfo)(f0r_param_info_t*, int) = nullptr;
    f0r_instance_t (*construct)(unsigned, unsigned) = nullptr;
    void (*destruct)(f0r_instance_t) = nullptr;
    void (*set)(f0r_instance_t, f0r_param_t, int) = nullptr;
    void (*get)(f0r_instance_t, f0r_param_t, int) = nullptr;
    void (*update2)(f0r_instance_t, double, const uint32_t*, const uint32_t*, const uint32_t*, uint32_t*) = nullptr;
};

std::vector<uint32_t> Tagged(int32_t width, int32_t height, uint32_t tag) {
    SoftwareSurface surface(width, height);
    TagFrame(surface, tag);
    return {surface.Pixels(), surface.Pixels() + width * height};
}

const char* const kPlugins[] = {
    "fade",  "bands", "door",   "mosaic",   "scrolling", "zigzag", "zoom",    "advanced_scrolling",
    "back",  "cell",  "line",   "open",     "push",      "square", "stretch", "stretch_2",
    "trame", "turn",  "turn_2", "zigzag_2", "zoom_2"};

class Frei0rPluginTest : public ::testing::TestWithParam<const char*> {};

// Every plugin: a mixer2 of RGBA8888 that writes every pixel, with the same picture at
// a moment whatever was asked before (forwards, backwards, repeated, skipped).
TEST_P(Frei0rPluginTest, SeekingInAnyOrderGivesTheSamePictures) {
    Plugin plugin(GetParam());
    ASSERT_NE(plugin.handle, nullptr);
    f0r_plugin_info_t info{};
    plugin.info(&info);
    EXPECT_EQ(info.plugin_type, F0R_PLUGIN_TYPE_MIXER2);
    EXPECT_EQ(info.color_model, F0R_COLOR_MODEL_RGBA8888);
    const std::vector<uint32_t> a = Tagged(48, 32, kOldTag);
    const std::vector<uint32_t> b = Tagged(48, 32, kNewTag);
    f0r_instance_t instance = plugin.construct(48, 32);
    std::map<double, std::vector<uint32_t>> first;
    const double orders[][7] = {{0, 0.1, 0.3, 0.5, 0.7, 0.9, 1},
                                {1, 0.9, 0.7, 0.5, 0.3, 0.1, 0},
                                {0.5, 0.5, 0.1, 0.9, 0.1, 1, 0},
                                {0.7, 0, 0.3, 0.3, 1, 0.9, 0.5}};
    for (const auto& order : orders) {
        for (double progress : order) {
            const std::vector<uint32_t> out = plugin.At(instance, a, b, progress);
            EXPECT_EQ(std::count(out.begin(), out.end(), kStale), 0) << GetParam() << " at " << progress;
            const auto [it, fresh] = first.emplace(progress, out);
            EXPECT_TRUE(fresh || it->second == out) << GetParam() << " at " << progress;
        }
    }
    EXPECT_EQ(first[1], b);
    plugin.destruct(instance);
}

INSTANTIATE_TEST_SUITE_P(All, Frei0rPluginTest, ::testing::ValuesIn(kPlugins));

// Bad values give a defined picture: progress below 0 or NaN is the start, above 1 the
// second input; out-of-range and NaN settings are clamped or ignored.
TEST(Frei0rPluginInput, BadValuesGiveDefinedPictures) {
    for (const char* name : {"bands", "mosaic", "turn", "stretch_2"}) {
        Plugin plugin(name);
        f0r_plugin_info_t info{};
        plugin.info(&info);
        const std::vector<uint32_t> a = Tagged(33, 17, kOldTag);
        const std::vector<uint32_t> b = Tagged(33, 17, kNewTag);
        f0r_instance_t instance = plugin.construct(33, 17);
        const double nan = std::numeric_limits<double>::quiet_NaN();
        const double inf = std::numeric_limits<double>::infinity();
        for (int index = 1; index < info.num_params; ++index) {
            for (double value : {nan, -inf, inf, -3.0, 1e300}) {
                plugin.Set(instance, index, value);
                const std::vector<uint32_t> out = plugin.At(instance, a, b, 0.5);
                EXPECT_EQ(std::count(out.begin(), out.end(), kStale), 0) << name << " parameter " << index;
            }
        }
        const std::vector<uint32_t> start = plugin.At(instance, a, b, 0);
        EXPECT_EQ(plugin.At(instance, a, b, nan), start) << name;
        EXPECT_EQ(plugin.At(instance, a, b, -1), start) << name;
        EXPECT_EQ(plugin.At(instance, a, b, 7), b) << name;
        // Null and unknown parameters, null buffers and instances are ignored.
        plugin.set(instance, nullptr, 0);
        plugin.get(instance, nullptr, 0);
        plugin.Set(instance, -1, 0.5);
        plugin.Set(instance, 999, 0.5);
        plugin.paramInfo(nullptr, 0);
        f0r_param_info_t param{};
        plugin.paramInfo(&param, 999);
        plugin.update2(nullptr, 0, a.data(), b.data(), nullptr, nullptr);
        std::vector<uint32_t> out(a.size(), kStale);
        plugin.update2(instance, 0, nullptr, b.data(), nullptr, out.data());
        EXPECT_EQ(out, b) << "a missing input is the other one";
        plugin.destruct(instance);
    }
}

// Instances of no pixels or of more than the reference surface takes, and buffers larger
// than the instance: nothing is written outside the instance's frame.
TEST(Frei0rPluginInput, SizesOutsideTheInstance) {
    Plugin plugin("door");
    EXPECT_EQ(plugin.construct(70000, 70000), nullptr);
    f0r_instance_t empty = plugin.construct(0, 0);
    std::vector<uint32_t> out(16, kStale);
    const std::vector<uint32_t> a = Tagged(8, 8, kOldTag);
    const std::vector<uint32_t> b = Tagged(8, 8, kNewTag);
    plugin.update2(empty, 0, a.data(), b.data(), nullptr, out.data());
    EXPECT_EQ(std::count(out.begin(), out.end(), kStale), 16);
    plugin.destruct(empty);
    f0r_instance_t small = plugin.construct(4, 2);
    std::vector<uint32_t> large(64, kStale);
    plugin.Set(small, 0, 0.5);
    plugin.update2(small, 0, a.data(), b.data(), nullptr, large.data());
    EXPECT_EQ(std::count(large.begin() + 8, large.end(), kStale), 56);
    EXPECT_EQ(std::count(large.begin(), large.begin() + 8, kStale), 0);
    plugin.destruct(small);
}

} // namespace
} // namespace wqtrans::test
