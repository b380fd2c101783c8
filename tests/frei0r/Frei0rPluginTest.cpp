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

#include "host/FrameRenderer.h"
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

    // The index of the parameter named `name`, or -1.
    int ParamIndex(const std::string& name) {
        f0r_plugin_info_t about{};
        info(&about);
        for (int index = 0; index < about.num_params; ++index) {
            f0r_param_info_t param{};
            paramInfo(&param, index);
            if (param.name != nullptr && param.name == name) {
                return index;
            }
        }
        return -1;
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
            f0r_param_info_t param{};
            plugin.paramInfo(&param, index);
            for (double value : {nan, -inf, inf, -3.0, 1e300}) {
                if (param.type == F0R_PARAM_STRING) {
                    break; // the curve's text: Frei0rPluginMotion
                }
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

// The host's frame rate sets the steps of a replayed transition: frames a second, or
// up to 1 the frame interval in seconds; NTSC rates typed to a few digits are the exact
// N x 1000 / 1001; nothing usable is 25 frames a second.
TEST(Frei0rPluginFrameRate, ReplaysAtTheRateTheHostGives) {
    struct Case {
        double value;
        uint32_t num, den;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Case cases[] = {
        {0, 25, 1},
        {30, 30, 1},
        {1.0 / 30, 30, 1},
        {29.97, 30000, 1001},
        {0.0333667, 30000, 1001},
        {23.976, 24000, 1001},
        {59.94, 60000, 1001},
        {12.5, 25, 2},
        {1, 1, 1},
        {0.5, 2, 1},
        {1000, 240, 1},
        {0.001, 240, 1},
        {-30, 25, 1},
        {nan, 25, 1},
    };
    Plugin plugin("stretch_2");
    const int frameRate = plugin.ParamIndex("frame rate");
    ASSERT_GT(frameRate, 0);
    double initial = -1;
    f0r_instance_t instance = plugin.construct(48, 32);
    plugin.get(instance, &initial, frameRate);
    EXPECT_EQ(initial, 0);
    const std::vector<uint32_t> a = Tagged(48, 32, kOldTag);
    const std::vector<uint32_t> b = Tagged(48, 32, kNewTag);
    // At 900 ms of a 2 s run the frame times of 30 and 29.97 frames a second have drifted
    // apart enough to show in Stretch 2's trails.
    plugin.Set(instance, 1, 2);
    std::vector<uint32_t> at30;
    for (const Case& c : cases) {
        plugin.Set(instance, frameRate, c.value);
        const std::vector<uint32_t> got = plugin.At(instance, a, b, 0.45);
        std::vector<uint32_t> oldPixels = a, newPixels = b, want(a.size());
        SoftwareSurface oldFrame = SoftwareSurface::Over(48, 32, oldPixels.data());
        SoftwareSurface newFrame = SoftwareSurface::Over(48, 32, newPixels.data());
        SoftwareSurface out = SoftwareSurface::Over(48, 32, want.data());
        FrameRequest request;
        request.id = 0x39304553; // "SE09", Stretch 2
        request.durationMs = 2000;
        request.elapsedMs = 900;
        request.frameRateNum = c.num;
        request.frameRateDen = c.den;
        ASSERT_TRUE(RenderFrameAt(request, oldFrame, newFrame, out));
        EXPECT_EQ(got, want) << "frame rate " << c.value << ", expected " << c.num << "/" << c.den;
        if (c.num == 30 && c.den == 1) {
            at30 = got;
        } else if (c.num == 30000) {
            EXPECT_NE(got, at30) << "30 and 29.97 frames a second give one picture: the case cannot tell them apart";
        }
    }
    plugin.destruct(instance);
}

// An output buffer that shares memory with an input, in whole or in part, gives the
// picture of separate buffers: the host's inputs are read as they were.
TEST(Frei0rPluginInput, OutputOverlappingAnInput) {
    constexpr int32_t kWidth = 24, kHeight = 16;
    constexpr ptrdiff_t kCount = kWidth * kHeight;
    struct Case {
        const char* what;
        ptrdiff_t first, second, out; // offsets into one memory block; -1: no input
    };
    const Case cases[] = {
        {"output is the first input", 0, 2 * kCount, 0},
        {"output is the second input", 0, 2 * kCount, 2 * kCount},
        {"output starts a row into the first input", 0, 2 * kCount, kWidth},
        {"output ends a pixel into the first input", kCount, 3 * kCount, 1},
        {"output ends a pixel into the second input", 0, 2 * kCount, kCount + 1},
        {"both inputs overlap the output", 0, kCount, kCount / 2},
        {"both inputs are the output", kCount, kCount, kCount},
        {"the inputs overlap each other only", 0, kWidth, 2 * kCount},
        {"the only input overlaps the output", -1, kCount, kCount + 3},
        {"the only input is the output", kCount, -1, kCount},
    };
    for (const char* name : {"door", "stretch_2", "mosaic"}) {
        Plugin plugin(name);
        f0r_instance_t instance = plugin.construct(kWidth, kHeight);
        plugin.Set(instance, 0, 0.5);
        for (const Case& c : cases) {
            const std::vector<uint32_t> a = Tagged(kWidth, kHeight, kOldTag);
            const std::vector<uint32_t> b = Tagged(kWidth, kHeight, kNewTag);
            std::vector<uint32_t> want(kCount, kStale);
            plugin.update2(instance, 0, c.first < 0 ? nullptr : a.data(), c.second < 0 ? nullptr : b.data(), nullptr,
                           want.data());
            std::vector<uint32_t> memory(4 * kCount, kStale);
            // Where the inputs overlap each other, the second's pixels are the ones there.
            if (c.first >= 0) {
                std::copy(a.begin(), a.end(), memory.begin() + c.first);
            }
            if (c.second >= 0 && c.second != c.first) {
                std::copy(b.begin(), b.end(), memory.begin() + c.second);
            }
            const bool shared =
                c.first >= 0 && c.second >= 0 && c.first != c.second && std::abs(c.first - c.second) < kCount;
            if (shared || c.first == c.second) {
                const std::vector<uint32_t> first(memory.begin() + c.first, memory.begin() + c.first + kCount);
                const std::vector<uint32_t> second(memory.begin() + c.second, memory.begin() + c.second + kCount);
                want.assign(kCount, kStale);
                plugin.update2(instance, 0, first.data(), second.data(), nullptr, want.data());
            }
            plugin.update2(instance, 0, c.first < 0 ? nullptr : memory.data() + c.first,
                           c.second < 0 ? nullptr : memory.data() + c.second, nullptr, memory.data() + c.out);
            const std::vector<uint32_t> got(memory.begin() + c.out, memory.begin() + c.out + kCount);
            EXPECT_EQ(got, want) << name << ": " << c.what;
        }
        plugin.destruct(instance);
    }
}

// The curve and reverse reach the renderer; a text that is no curve (or none) is linear,
// and the host reads back the text it set.
TEST(Frei0rPluginMotion, EaseAndReverseReachTheRenderer) {
    constexpr int32_t w = 37, h = 23;
    Plugin plugin("stretch_2");
    const int ease = plugin.ParamIndex("ease"), reverse = plugin.ParamIndex("reverse");
    ASSERT_EQ(ease, plugin.ParamIndex("frame rate") + 1);
    ASSERT_EQ(reverse, ease + 1);
    f0r_instance_t instance = plugin.construct(w, h);
    const std::vector<uint32_t> a = Tagged(w, h, kOldTag);
    const std::vector<uint32_t> b = Tagged(w, h, kNewTag);
    auto set = [&](const char* text) { plugin.set(instance, &text, ease); };
    auto expected = [&](const char* text, bool reversed) {
        std::vector<uint32_t> oldPixels = a, newPixels = b, want(a.size());
        SoftwareSurface oldFrame = SoftwareSurface::Over(w, h, oldPixels.data());
        SoftwareSurface newFrame = SoftwareSurface::Over(w, h, newPixels.data());
        SoftwareSurface out = SoftwareSurface::Over(w, h, want.data());
        FrameRequest request{0x39304553, {}, 1, 0, 1000, 300}; // Stretch 2 at 300 ms
        request.ease = MotionCurve::Parse(text).value_or(MotionCurve{});
        request.reverse = reversed;
        EXPECT_TRUE(RenderFrameAt(request, oldFrame, newFrame, out));
        return want;
    };
    const char* text = nullptr;
    plugin.get(instance, &text, ease);
    EXPECT_STREQ(text, "linear");
    set("ease-in");
    EXPECT_EQ(plugin.At(instance, a, b, 0.3), expected("ease-in", false));
    plugin.Set(instance, reverse, 1);
    EXPECT_EQ(plugin.At(instance, a, b, 0.3), expected("ease-in", true));
    EXPECT_NE(expected("ease-in", true), expected("linear", true));
    set("cubic-bezier(0.5,1.5,0.5,1)");
    EXPECT_EQ(plugin.At(instance, a, b, 0.3), expected("linear", true));
    plugin.get(instance, &text, ease);
    EXPECT_STREQ(text, "cubic-bezier(0.5,1.5,0.5,1)");
    set(nullptr);
    plugin.Set(instance, reverse, 0);
    EXPECT_EQ(plugin.At(instance, a, b, 0.3), expected("linear", false));
    plugin.destruct(instance);
}

} // namespace
} // namespace wqtrans::test
