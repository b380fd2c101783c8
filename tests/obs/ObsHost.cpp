// The OBS module inside libobs itself, headless: libobs runs on the X display the
// caller gives (an Xvfb of its own, see xvfb.sh) with Mesa's llvmpipe, opens only the
// modules it needs (image-source, obs-transitions and ours: loading every module
// aborts without a QApplication), and runs each transition as the output channel's
// transition in manual mode.
//
// Pictures are read by rendering a source into a texture of our own and staging it:
// the scenes alone before a run, then the transition at each progress, compared with
// the frame renderer's picture from the same two scenes, byte for byte.
//   wqtrans_obs_host OBS_PLUGIN_DIR OBS_DATA_DIR OUR_PLUGIN_DIR [gtest options]
#include <gtest/gtest.h>
#include <obs-module.h>
#include <obs-nix-platform.h>
#include <obs.h>
#include <util/base.h>
#include <util/platform.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "host/FrameRenderer.h"
#include "host/LumaMap.h"
#include "host/PanelLayout.h"
#include "module/Exports.h"
#include "obs/Sound.h"
#include "tests/obs/Libobs.h"

namespace {

using namespace std::chrono_literals;
using namespace wqtrans::obstest;

Libobs libobs;
std::string workDir;
constexpr uint32_t kFps = 60;

bool ResetVideo(uint32_t width, uint32_t height) { return wqtrans::obstest::ResetVideo(width, height, kFps); }

std::string WritePicture(const std::string& name, int32_t frame, uint32_t width, uint32_t height) {
    const std::string path = wqtrans::obstest::WritePicture(workDir + "/" + name + ".png", frame, width, height);
    EXPECT_NE(path, "");
    return path;
}

// --- The log, for the warnings the module gives.

std::mutex logLock;
std::vector<std::string> logLines;

void LogHandler(int level, const char* format, va_list args, void* /*param*/) {
    char line[4096];
    std::vsnprintf(line, sizeof line, format, args);
    if (level <= LOG_WARNING) {
        std::fprintf(stderr, "libobs: %s\n", line);
    }
    const std::lock_guard<std::mutex> hold(logLock);
    logLines.emplace_back(line);
}

size_t LogCount(const std::string& text) {
    const std::lock_guard<std::mutex> hold(logLock);
    size_t n = 0;
    for (const std::string& line : logLines) {
        n += line.find(text) != std::string::npos ? 1 : 0;
    }
    return n;
}

// --- Pictures.

// The frame renderer's picture from the two scenes as libobs drew them.
Pixels Expected(const wqtrans::FrameRequest& request, const Pixels& a, const Pixels& b, uint32_t width,
                uint32_t height) {
    Pixels first = a, second = b, out(a.size());
    const auto w = static_cast<int32_t>(width), h = static_cast<int32_t>(height);
    auto oldFrame = wqtrans::SoftwareSurface::Over(w, h, first.data());
    auto newFrame = wqtrans::SoftwareSurface::Over(w, h, second.data());
    auto picture = wqtrans::SoftwareSurface::Over(w, h, out.data());
    EXPECT_TRUE(wqtrans::RenderFrameAt(request, oldFrame, newFrame, picture));
    return out;
}

// The first differing pixel and how many differ, or "".
std::string Difference(const Pixels& expected, const Pixels& actual, uint32_t width) {
    if (expected.size() != actual.size()) {
        return "sizes differ";
    }
    size_t count = 0, first = 0;
    for (size_t i = 0; i < expected.size(); ++i) {
        if (expected[i] != actual[i] && count++ == 0) {
            first = i;
        }
    }
    if (count == 0) {
        return "";
    }
    char text[160];
    std::snprintf(text, sizeof text, "%zu pixels differ; the first at (%zu, %zu): expected %08x, libobs drew %08x",
                  count, first % width, first / width, expected[first], actual[first]);
    return text;
}

// The transition as the output channel's, showing `a`; the caller starts runs.
struct Stage {
    Source transition;
    Stage(const char* id, obs_source_t* a) : transition(obs_source_create_private(id, id, nullptr)) {
        obs_transition_set(transition.get(), a);
        obs_set_output_source(0, transition.get());
    }
    ~Stage() {
        obs_set_output_source(0, nullptr);
        obs_transition_clear(transition.get());
    }
    // Sets the manual run's progress and waits for the video tick that applies it.
    bool Show(float t) {
        obs_transition_set_manual_time(transition.get(), t);
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (obs_transition_get_time(transition.get()) != t && std::chrono::steady_clock::now() < deadline) {
            WaitTicks(1);
        }
        // libobs's tick holds the transition's textures for a moment after it moves the
        // progress; a picture drawn from this thread then would be the new scene alone
        // (OBS Studio draws on the tick's own thread and never meets it).
        std::this_thread::sleep_for(5ms);
        return obs_transition_get_time(transition.get()) == t;
    }
};

// --- The environment: libobs started once for all tests.

class LibobsEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        base_set_log_handler(LogHandler, nullptr);
        const std::string error = libobs.Start(160, 90, kFps);
        ASSERT_EQ(error, "");
    }
    void TearDown() override { libobs.Stop(); }
};

// The 21 (without wqtrans Random).
std::vector<std::string> TransitionIds() {
    std::vector<std::string> ids;
    const char* id = nullptr;
    for (size_t i = 0; obs_enum_transition_types(i, &id); ++i) {
        if (std::string(id).rfind("wqtrans_", 0) == 0 && std::string(id) != "wqtrans_random") {
            ids.emplace_back(id);
        }
    }
    return ids;
}

uint32_t FourCC(const std::string& sourceId) {
    // The module registers the transitions in its own order: the n-th wqtrans_ id is
    // transition n.
    const std::vector<std::string> ids = TransitionIds();
    for (size_t i = 0; i < ids.size(); ++i) {
        if (ids[i] == sourceId) {
            return GetTransID(static_cast<int32_t>(i));
        }
    }
    return 0;
}

// --- Registration and properties.

TEST(ObsModule, RegistersTheTwentyOneInTheModulesOrderWithTheirNames) {
    const std::vector<std::string> ids = TransitionIds();
    ASSERT_EQ(ids.size(), static_cast<size_t>(GetTransCount()));
    EXPECT_EQ(ids[2], "wqtrans_door");
    EXPECT_EQ(ids[7], "wqtrans_advanced_scrolling");
    EXPECT_EQ(ids[20], "wqtrans_zoom_2");
    for (size_t i = 0; i < ids.size(); ++i) {
        char16_t name[64] = {};
        GetTransName(static_cast<int32_t>(i), name, 64);
        // Told apart from OBS's own Fade and the others at a glance; the ids stay.
        EXPECT_EQ(obs_source_get_display_name(ids[i].c_str()),
                  std::string(name, name + std::char_traits<char16_t>::length(name)) + " (wqtrans)")
            << ids[i];
        // An unknown id would give a placeholder that draws nothing.
        Source tr(obs_source_create_private(ids[i].c_str(), "t", nullptr));
        ASSERT_NE(tr, nullptr);
        EXPECT_EQ(obs_source_get_type(tr.get()), OBS_SOURCE_TYPE_TRANSITION) << ids[i];
    }
}

// Each panel field is a property of OBS's matching kind with the panel's text, range
// or choices, and its default is the fresh instance's value.
TEST(ObsModule, PropertiesFollowThePanel) {
    int checked = 0;
    for (const std::string& id : TransitionIds()) {
        const std::vector<wqtrans::PanelField> fields = wqtrans::ReadPanelLayout(FourCC(id));
        obs_properties_t* props = obs_get_source_properties(id.c_str());
        obs_data_t* defaults = obs_get_source_defaults(id.c_str());
        obs_property_t* p = obs_properties_first(props);
        for (const wqtrans::PanelField& f : fields) {
            ASSERT_NE(p, nullptr) << id << ": no property for " << f.name;
            EXPECT_EQ(obs_property_description(p), f.name) << id;
            const char* key = obs_property_name(p);
            switch (f.kind) {
            case wqtrans::PanelField::Kind::Choice:
                ASSERT_EQ(obs_property_get_type(p), OBS_PROPERTY_LIST) << id << " " << f.name;
                ASSERT_EQ(obs_property_list_item_count(p), f.choices.size()) << id << " " << f.name;
                for (size_t c = 0; c < f.choices.size(); ++c) {
                    EXPECT_EQ(obs_property_list_item_name(p, c), f.choices[c]);
                    EXPECT_EQ(obs_property_list_item_int(p, c), static_cast<long long>(c));
                }
                break;
            case wqtrans::PanelField::Kind::Switch:
                EXPECT_EQ(obs_property_get_type(p), OBS_PROPERTY_BOOL) << id << " " << f.name;
                EXPECT_EQ(obs_data_get_bool(defaults, key), f.initial != 0) << id << " " << f.name;
                break;
            case wqtrans::PanelField::Kind::Number:
                ASSERT_EQ(obs_property_get_type(p), OBS_PROPERTY_INT) << id << " " << f.name;
                EXPECT_EQ(obs_property_int_type(p), OBS_NUMBER_SLIDER);
                EXPECT_EQ(obs_property_int_min(p), f.low) << id << " " << f.name;
                EXPECT_EQ(obs_property_int_max(p), f.high) << id << " " << f.name;
                break;
            }
            if (f.kind != wqtrans::PanelField::Kind::Switch) {
                EXPECT_EQ(obs_data_get_int(defaults, key), f.initial) << id << " " << f.name;
            }
            obs_property_next(&p);
            ++checked;
        }
        if (p != nullptr && std::string(obs_property_name(p)) == "seed") {
            EXPECT_EQ(obs_data_get_int(defaults, "seed"), 1);
            obs_property_next(&p);
        }
        // Then what every wqtrans transition offers: the motion curve (the named ones
        // listed, linear by default), reverse (off) and the sound's fade (a cross-fade).
        ASSERT_NE(p, nullptr) << id;
        EXPECT_STREQ(obs_property_name(p), "ease") << id;
        EXPECT_EQ(obs_property_list_type(p), OBS_COMBO_TYPE_EDITABLE);
        ASSERT_EQ(obs_property_list_item_count(p), wqtrans::MotionCurve::Names().size());
        EXPECT_EQ(obs_property_list_item_string(p, 2), wqtrans::MotionCurve::Names()[2]);
        EXPECT_STREQ(obs_data_get_string(defaults, "ease"), "linear") << id;
        obs_property_next(&p);
        ASSERT_NE(p, nullptr) << id;
        EXPECT_STREQ(obs_property_name(p), "reverse") << id;
        EXPECT_FALSE(obs_data_get_bool(defaults, "reverse")) << id;
        obs_property_next(&p);
        ASSERT_NE(p, nullptr) << id;
        EXPECT_STREQ(obs_property_name(p), "audio_fade_style") << id;
        EXPECT_EQ(obs_data_get_int(defaults, "audio_fade_style"), 1) << id;
        obs_property_next(&p);
        EXPECT_EQ(p, nullptr) << id << ": more properties than expected";
        obs_data_release(defaults);
        obs_properties_destroy(props);
    }
    EXPECT_GT(checked, 21);
    // Mosaic's pictures come from the random generator.
    obs_properties_t* mosaic = obs_get_source_properties("wqtrans_mosaic");
    EXPECT_NE(obs_properties_get(mosaic, "seed"), nullptr);
    obs_properties_destroy(mosaic);
}

// --- Pictures.

struct Size {
    uint32_t width, height;
};

class ObsPictures : public ::testing::TestWithParam<Size> {};

// Every transition at several moments of a manual run, at an even and an odd size:
// libobs's picture is the frame renderer's from the same scenes, byte for byte, with
// the default settings (a fresh instance's block), a manual run's duration and OBS's
// frame rate; at progress 1 it is the new scene.
TEST_P(ObsPictures, EveryTransitionIsTheFrameRenderersPicture) {
    const auto [w, h] = GetParam();
    ASSERT_TRUE(ResetVideo(w, h));
    const std::string tag = std::to_string(w) + "x" + std::to_string(h);
    Source a = ImageSource("a", WritePicture("a" + tag, 0, w, h));
    Source b = ImageSource("b", WritePicture("b" + tag, 1, w, h));
    ASSERT_EQ(obs_source_get_width(a.get()), w);
    for (const std::string& id : TransitionIds()) {
        SCOPED_TRACE(id + " at " + tag);
        Stage stage(id.c_str(), a.get());
        // The transition's size and placement follow its scene at the next tick.
        obs_transition_set(stage.transition.get(), b.get());
        WaitTicks(2);
        const Pixels newScene = Capture(stage.transition.get(), w, h);
        obs_transition_set(stage.transition.get(), a.get());
        WaitTicks(2);
        const Pixels oldScene = Capture(stage.transition.get(), w, h);
        ASSERT_NE(oldScene, newScene);
        obs_transition_set_manual_torque(stage.transition.get(), 0.0f, 0.0f);
        ASSERT_TRUE(obs_transition_start(stage.transition.get(), OBS_TRANSITION_MODE_MANUAL, 0, b.get()));
        for (const float t : {0.1f, 0.375f, 0.5f, 0.8f, 1.0f}) {
            ASSERT_TRUE(stage.Show(t)) << "progress " << t << " never showed";
            wqtrans::FrameRequest request;
            request.id = FourCC(id);
            request.durationMs = 1000;
            request.elapsedMs = static_cast<uint32_t>(std::lround(t * 1000.0));
            request.frameRateNum = kFps;
            const Pixels actual = Capture(stage.transition.get(), w, h);
            EXPECT_EQ(Difference(Expected(request, oldScene, newScene, w, h), actual, w), "") << "at progress " << t;
            if (t == 0.5f) {
                EXPECT_NE(actual, oldScene) << "halfway through, the old scene";
                EXPECT_NE(actual, newScene) << "halfway through, the new scene";
            }
            if (t == 1.0f) {
                EXPECT_EQ(Difference(newScene, actual, w), "") << "at progress 1";
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, ObsPictures, ::testing::Values(Size{160, 90}, Size{101, 67}), [](const auto& info) {
    return std::to_string(info.param.width) + "x" + std::to_string(info.param.height);
});

// --- OBS's own Luma Wipe with our maps.

// Door's 8-bit map of a 25-frame run in OBS's Luma Wipe (softness 0): at progress i / 25
// each pixel shows the scene the frame renderer shows at i x 40 ms, or turns new one
// frame later. OBS shows the new scene where level / 255 <= progress; the maps' 8-bit
// levels are MLT's (level x 256 within the frame's threshold), a little above i x 255 /
// 25 for some frames. The figure is recorded (and printed) as luma_wipe_late_pixels.
TEST(ObsLumaWipe, DoorsMapShowsTheRunOrTurnsPixelsNewAFrameLate) {
    constexpr uint32_t w = 160, h = 90, frames = 25;
    ASSERT_TRUE(ResetVideo(w, h));
    const uint32_t door = GetTransID(2);
    wqtrans::FrameRequest request;
    request.id = door;
    request.frameRateNum = frames;
    const wqtrans::RevealAnalysis analysis = wqtrans::AnalyseReveal(request, w, h, frames);
    ASSERT_TRUE(analysis.pure) << analysis.reason;
    const std::vector<uint8_t> png = wqtrans::EncodeGreyPng(wqtrans::LumaLevels(analysis, 8), w, h, 8);
    const std::string map = workDir + "/door-luma.png";
    FILE* file = std::fopen(map.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(std::fwrite(png.data(), 1, png.size(), file), png.size());
    std::fclose(file);

    Source a = ImageSource("luma-a", WritePicture("luma-a", 0, w, h));
    Source b = ImageSource("luma-b", WritePicture("luma-b", 1, w, h));
    Stage stage("wipe_transition", a.get());
    // The Luma Wipe reads "luma_wipes/" + the name from its module's data folder: the
    // way out of it reaches our map.
    obs_data_t* settings = obs_data_create();
    obs_data_set_string(settings, "luma_image", ("../../../../../../../../../.." + map).c_str());
    obs_data_set_double(settings, "luma_softness", 0.0);
    obs_data_set_bool(settings, "luma_invert", false);
    obs_source_update(stage.transition.get(), settings);
    obs_data_release(settings);
    obs_transition_set(stage.transition.get(), b.get());
    WaitTicks(2);
    const Pixels newScene = Capture(stage.transition.get(), w, h);
    obs_transition_set(stage.transition.get(), a.get());
    WaitTicks(2);
    const Pixels oldScene = Capture(stage.transition.get(), w, h);
    obs_transition_set_manual_torque(stage.transition.get(), 0.0f, 0.0f);
    ASSERT_TRUE(obs_transition_start(stage.transition.get(), OBS_TRANSITION_MODE_MANUAL, 0, b.get()));
    size_t late = 0, shownNew = 0;
    for (uint32_t i = 1; i < frames; ++i) {
        const float t = static_cast<float>(i) / frames;
        ASSERT_TRUE(stage.Show(t)) << "progress " << t << " never showed";
        const Pixels actual = Capture(stage.transition.get(), w, h);
        for (size_t p = 0; p < actual.size(); ++p) {
            ASSERT_TRUE(actual[p] == oldScene[p] || actual[p] == newScene[p]) << "frame " << i << " pixel " << p;
            const bool obsNew = actual[p] == newScene[p] && oldScene[p] != newScene[p];
            const bool runNew = analysis.firstNew[p] <= i;
            if (oldScene[p] == newScene[p]) {
                continue;
            }
            shownNew += runNew;
            if (obsNew != runNew) {
                // Only ever late, and by one frame.
                ASSERT_TRUE(runNew && analysis.firstNew[p] == i) << "frame " << i << " pixel " << p;
                ++late;
            }
        }
    }
    std::printf("OBS Luma Wipe with Door's 8-bit map, 25 frames at 160x90: %zu of %zu pixel-frames new in the run "
                "are new a frame late\n",
                late, shownNew);
    RecordProperty("luma_wipe_late_pixels", std::to_string(late) + " of " + std::to_string(shownNew));
}

// --- Failure paths and runs as OBS Studio makes them.

class ObsRuns : public ::testing::Test {
protected:
    static constexpr uint32_t w = 96, h = 54;
    void SetUp() override {
        ASSERT_TRUE(ResetVideo(w, h));
        a = ImageSource("a", WritePicture("runs-a", 0, w, h));
        b = ImageSource("b", WritePicture("runs-b", 1, w, h));
    }
    // The scenes as libobs draws them, and the transition started in manual mode (as
    // Studio Mode's T-bar starts it: with the transition's duration).
    void Begin(Stage& stage, uint32_t durationMs = 0) {
        obs_transition_set(stage.transition.get(), b.get());
        WaitTicks(2);
        newScene = Capture(stage.transition.get(), w, h);
        obs_transition_set(stage.transition.get(), a.get());
        WaitTicks(2);
        oldScene = Capture(stage.transition.get(), w, h);
        obs_transition_set_manual_torque(stage.transition.get(), 0.0f, 0.0f);
        ASSERT_TRUE(obs_transition_start(stage.transition.get(), OBS_TRANSITION_MODE_MANUAL, durationMs, b.get()));
    }
    // The frame renderer's picture at progress t of a manual run, with default settings.
    Pixels At(const std::string& id, float t) const {
        wqtrans::FrameRequest request;
        request.id = FourCC(id);
        request.durationMs = 1000;
        request.elapsedMs = static_cast<uint32_t>(std::lround(t * 1000.0));
        request.frameRateNum = kFps;
        return Expected(request, oldScene, newScene, w, h);
    }
    Source a, b;
    Pixels oldScene, newScene;
};

// Settings changed during a run show from the next frame on, as the panel set to the
// same values makes them; so does the seed of a random transition.
TEST_F(ObsRuns, SettingsChangedDuringARunShowOnTheNextFrame) {
    for (const std::string& id : TransitionIds()) {
        SCOPED_TRACE(id);
        const uint32_t fourCC = FourCC(id);
        const std::vector<wqtrans::PanelField> fields = wqtrans::ReadPanelLayout(fourCC);
        obs_properties_t* props = obs_get_source_properties(id.c_str());
        const bool seeded = obs_properties_get(props, "seed") != nullptr;
        obs_properties_destroy(props);
        if (fields.empty() && !seeded) {
            continue;
        }
        Stage stage(id.c_str(), a.get());
        Begin(stage);
        ASSERT_TRUE(stage.Show(0.5f));
        obs_data_t* settings = obs_data_create();
        std::vector<int32_t> values;
        obs_property_t* p = nullptr;
        props = obs_source_properties(stage.transition.get());
        p = obs_properties_first(props);
        for (const wqtrans::PanelField& f : fields) {
            // Every field away from its default: the last choice, the other state, the top of the range.
            const int32_t value = f.kind == wqtrans::PanelField::Kind::Switch ? 1 - f.initial
                                  : f.initial == f.high                       ? f.low
                                                                              : f.high;
            values.push_back(value);
            if (f.kind == wqtrans::PanelField::Kind::Switch) {
                obs_data_set_bool(settings, obs_property_name(p), value != 0);
            } else {
                obs_data_set_int(settings, obs_property_name(p), value);
            }
            obs_property_next(&p);
        }
        if (seeded) {
            obs_data_set_int(settings, "seed", 7);
        }
        obs_properties_destroy(props);
        // libobs applies a transition's settings at the next video tick, before it draws.
        obs_source_update(stage.transition.get(), settings);
        obs_data_release(settings);
        WaitTicks(2);

        wqtrans::FrameRequest request;
        request.id = fourCC;
        request.block = wqtrans::PanelBlock(fourCC, fields, values);
        request.seed = seeded ? 7 : 1;
        request.elapsedMs = 500;
        request.frameRateNum = kFps;
        const Pixels got = Capture(stage.transition.get(), w, h);
        EXPECT_EQ(Difference(Expected(request, oldScene, newScene, w, h), got, w), "");
    }
}

// --- Studio Mode's T-bar.

// OBS Studio's T-bar has 1024 steps; dragged, it starts a manual run with the
// transition's duration and sets the run's progress to the bar's position; released
// near the start it sets 0 (the change is cancelled), near the end 1 (the run ends).
constexpr float kTBarSteps = 1024.0f;

// Dragged forward, back, released at the start, dragged again and released at the
// end: every transition shows the picture at the bar's position, the old scene at 0
// and the new one once released at the end.
TEST_F(ObsRuns, TheTBarShowsThePictureAtItsPosition) {
    for (const std::string& id : TransitionIds()) {
        SCOPED_TRACE(id);
        Stage stage(id.c_str(), a.get());
        Begin(stage, 300);
        for (const int step : {717, 307, 0, 512, 1024}) {
            const float t = static_cast<float>(step) / kTBarSteps;
            ASSERT_TRUE(stage.Show(t)) << "the bar at " << step << " never showed";
            const Pixels actual = Capture(stage.transition.get(), w, h);
            const Pixels& expected = step == 0 ? oldScene : step == 1024 ? newScene : At(id, t);
            EXPECT_EQ(Difference(expected, actual, w), "") << "the bar at " << step;
        }
    }
}

// OBS Studio moves the run's progress towards the bar's position at a speed of its
// own (its torque 8, at least 0.05 a second): each frame on the way is the picture at
// that frame's progress, forward and back, for a transition that replays its steps.
TEST_F(ObsRuns, TheTBarsGlideShowsEachFramesProgress) {
    const std::string id = "wqtrans_turn_2";
    ASSERT_TRUE(wqtrans::ReplaysFromStart(FourCC(id)));
    Stage stage(id.c_str(), a.get());
    Begin(stage, 300);
    obs_transition_set_manual_torque(stage.transition.get(), 8.0f, 0.05f);
    int compared = 0;
    for (const float target : {0.9f, 0.2f}) {
        obs_transition_set_manual_time(stage.transition.get(), target);
        for (int tries = 0; tries < 300 && obs_transition_get_time(stage.transition.get()) != target; ++tries) {
            WaitTicks(1);
            std::this_thread::sleep_for(5ms); // past the tick's hold on the textures (Stage::Show)
            const uint64_t frame = obs_get_video_frame_time();
            const float t = obs_transition_get_time(stage.transition.get());
            const Pixels actual = Capture(stage.transition.get(), w, h);
            if (obs_get_video_frame_time() != frame || t == target || tries % 4 != 0) {
                continue; // a tick came between, the end of the glide, or a frame skipped to keep the test short
            }
            EXPECT_EQ(Difference(At(id, t), actual, w), "") << "at progress " << t;
            ++compared;
        }
        ASSERT_EQ(obs_transition_get_time(stage.transition.get()), target);
        EXPECT_EQ(Difference(At(id, target), Capture(stage.transition.get(), w, h), w), "");
    }
    EXPECT_GE(compared, 6);
}

// --- Motion curves and reverse.

// A curve and reverse set during a run show from the next frame, as the frame renderer
// draws them; a curve OBS cannot use (typed by hand) is linear, with a warning in the log.
TEST_F(ObsRuns, TheCurveAndReverseReachThePicture) {
    const struct {
        const char* id;
        const char* ease;
        bool reverse;
        bool refused;
    } cases[] = {
        {"wqtrans_door", "ease-in-out", false, false},
        {"wqtrans_zoom", "linear", true, false},
        {"wqtrans_stretch_2", "cubic-bezier(0.1, 0.7, 0.3, 1)", true, false},
        {"wqtrans_door", "cubic-bezier(0.5, 1.5, 0.5, -0.5)", false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.id) + " " + c.ease + (c.reverse ? " reversed" : ""));
        Stage stage(c.id, a.get());
        Begin(stage);
        ASSERT_TRUE(stage.Show(0.3f));
        const size_t warnings = LogCount("the motion is linear");
        obs_data_t* settings = obs_data_create();
        obs_data_set_string(settings, "ease", c.ease);
        obs_data_set_bool(settings, "reverse", c.reverse);
        obs_source_update(stage.transition.get(), settings);
        obs_data_release(settings);
        WaitTicks(2);
        std::this_thread::sleep_for(5ms);
        wqtrans::FrameRequest request;
        request.id = FourCC(c.id);
        request.elapsedMs = 300;
        request.frameRateNum = kFps;
        request.ease = c.refused ? wqtrans::MotionCurve() : *wqtrans::MotionCurve::Parse(c.ease);
        request.reverse = c.reverse;
        const Pixels actual = Capture(stage.transition.get(), w, h);
        EXPECT_EQ(Difference(Expected(request, oldScene, newScene, w, h), actual, w), "");
        if (!c.refused) {
            EXPECT_NE(actual, At(c.id, 0.3f)) << "the plain run's picture";
        }
        EXPECT_EQ(LogCount("the motion is linear") - warnings, c.refused ? 1u : 0u);
    }
}

// --- wqtrans Random.

class ObsRandom : public ObsRuns {
protected:
    // Each of the 21's picture half-way through a manual run, with default settings.
    void SetUp() override {
        ObsRuns::SetUp();
        Stage stage("wqtrans_random", a.get());
        Begin(stage);
        for (const std::string& id : TransitionIds()) {
            halfway.push_back(At(id, 0.5f));
        }
    }
    // Which of the 21 each of n scene changes plays, told by its picture half-way (-1:
    // none of them).
    std::vector<int> Played(obs_data_t* settings, int n) {
        Stage stage("wqtrans_random", a.get());
        obs_source_update(stage.transition.get(), settings);
        WaitTicks(2);
        std::vector<int> played;
        for (int i = 0; i < n; ++i) {
            obs_transition_set(stage.transition.get(), a.get());
            EXPECT_TRUE(obs_transition_start(stage.transition.get(), OBS_TRANSITION_MODE_MANUAL, 300, b.get()));
            EXPECT_TRUE(stage.Show(0.5f));
            const Pixels picture = Capture(stage.transition.get(), w, h);
            const auto found = std::find(halfway.begin(), halfway.end(), picture);
            played.push_back(found == halfway.end() ? -1 : static_cast<int>(found - halfway.begin()));
        }
        return played;
    }
    std::vector<Pixels> halfway;
};

// Its properties: the seed, a check box for each of the 21 (all checked), the sound.
TEST_F(ObsRandom, OffersASeedAndTheTwentyOneToChooseFrom) {
    EXPECT_STREQ(obs_source_get_display_name("wqtrans_random"), "wqtrans Random");
    obs_properties_t* props = obs_get_source_properties("wqtrans_random");
    obs_data_t* defaults = obs_get_source_defaults("wqtrans_random");
    EXPECT_EQ(obs_property_get_type(obs_properties_get(props, "seed")), OBS_PROPERTY_INT);
    EXPECT_EQ(obs_data_get_int(defaults, "seed"), 1);
    for (const std::string& id : TransitionIds()) {
        obs_property_t* box = obs_properties_get(props, id.c_str());
        ASSERT_NE(box, nullptr) << id;
        EXPECT_EQ(obs_property_get_type(box), OBS_PROPERTY_BOOL) << id;
        // Each by the transition's own name, as OBS lists it less the " (wqtrans)".
        EXPECT_EQ(obs_property_description(box) + std::string(" (wqtrans)"),
                  std::string(obs_source_get_display_name(id.c_str())));
        EXPECT_TRUE(obs_data_get_bool(defaults, id.c_str())) << id;
    }
    EXPECT_NE(obs_properties_get(props, "audio_fade_style"), nullptr);
    obs_data_release(defaults);
    obs_properties_destroy(props);
}

// One of the 21 at each scene change, with its default settings, never the same twice
// in a row; the same seed gives the same order in another instance (as after OBS is
// started again), another seed another.
TEST_F(ObsRandom, PlaysOneOfTheTwentyOneInTheOrderOfItsSeed) {
    obs_data_t* settings = obs_data_create();
    obs_data_set_int(settings, "seed", 5);
    const std::vector<int> first = Played(settings, 10);
    for (size_t i = 0; i < first.size(); ++i) {
        EXPECT_GE(first[i], 0) << "scene change " << i << " is none of the 21 with their default settings";
        if (i > 0) {
            EXPECT_NE(first[i], first[i - 1]) << "scene change " << i;
        }
    }
    EXPECT_EQ(Played(settings, 10), first);
    obs_data_set_int(settings, "seed", 6);
    EXPECT_NE(Played(settings, 10), first);
    obs_data_release(settings);
}

// Only the chosen ones: Door and Zoom take turns.
TEST_F(ObsRandom, PlaysOnlyTheChosenOnes) {
    obs_data_t* settings = obs_data_create();
    for (const std::string& id : TransitionIds()) {
        obs_data_set_bool(settings, id.c_str(), id == "wqtrans_door" || id == "wqtrans_zoom");
    }
    const std::vector<int> played = Played(settings, 6);
    obs_data_release(settings);
    const int door = 2, zoom = 6;
    ASSERT_TRUE(played[0] == door || played[0] == zoom) << played[0];
    for (size_t i = 0; i < played.size(); ++i) {
        EXPECT_EQ(played[i], i % 2 == 0 ? played[0] : door + zoom - played[0]) << "scene change " << i;
    }
}

// An automatic run takes the duration OBS runs it for: 600 ms here, measured from
// OBS's progress and frame times.
TEST_F(ObsRuns, AnAutomaticRunTakesOBSsDuration) {
    Stage stage("wqtrans_door", a.get());
    Begin(stage);
    obs_transition_set(stage.transition.get(), a.get());
    WaitTicks(2);
    ASSERT_TRUE(obs_transition_start(stage.transition.get(), OBS_TRANSITION_MODE_AUTO, 600, b.get()));
    int compared = 0;
    for (int tries = 0; tries < 200 && compared < 3; ++tries) {
        WaitTicks(1);
        const uint64_t frame = obs_get_video_frame_time();
        const float t = obs_transition_get_time(stage.transition.get());
        if (t < 0.2f || t > 0.9f) {
            continue;
        }
        const Pixels actual = Capture(stage.transition.get(), w, h);
        if (obs_get_video_frame_time() != frame) {
            continue; // a tick came between: the picture may be of the next frame
        }
        wqtrans::FrameRequest request;
        request.id = FourCC("wqtrans_door");
        request.durationMs = 600;
        request.elapsedMs = static_cast<uint32_t>(std::lround(t * 600.0));
        request.frameRateNum = kFps;
        EXPECT_EQ(Difference(Expected(request, oldScene, newScene, w, h), actual, w), "") << "at progress " << t;
        ++compared;
    }
    EXPECT_EQ(compared, 3) << "too few frames between 20% and 90% of the run";
}

// A canvas resized during a run (the scenes keep their size), to a small odd size,
// is drawn without a crash, never as a black frame.
TEST_F(ObsRuns, ACanvasResizedDuringARunKeepsDrawing) {
    Stage stage("wqtrans_zoom", a.get());
    Begin(stage);
    ASSERT_TRUE(stage.Show(0.3f));
    for (const Size size : {Size{61, 33}, Size{9, 7}, Size{w, h}}) {
        ASSERT_TRUE(ResetVideo(size.width, size.height));
        ASSERT_TRUE(stage.Show(0.3f + 0.1f * static_cast<float>(size.width % 3)));
        WaitTicks(2);
        const Pixels picture = Capture(stage.transition.get(), size.width, size.height);
        EXPECT_NE(std::count(picture.begin(), picture.end(), 0u), static_cast<long>(picture.size()))
            << size.width << "x" << size.height;
    }
}

// A scene that OBS renders in a 16-bit float format: OBS's fade, one warning.
const char* HdrName(void*) { return "HDR colour"; }
void* HdrCreate(obs_data_t*, obs_source_t* source) { return source; }
void HdrDestroy(void*) {}
uint32_t HdrSize(void*) { return 32; }
void HdrRender(void*, gs_effect_t*) {
    gs_effect_t* solid = obs_get_base_effect(OBS_EFFECT_SOLID);
    vec4 colour;
    vec4_set(&colour, 2.0f, 0.5f, 0.25f, 1.0f); // past SDR white: only a float picture holds it
    gs_effect_set_vec4(gs_effect_get_param_by_name(solid, "color"), &colour);
    while (gs_effect_loop(solid, "Solid")) {
        gs_draw_sprite(nullptr, 0, 32, 32);
    }
}
gs_color_space HdrSpace(void*, size_t, const gs_color_space*) { return GS_CS_709_EXTENDED; }

TEST_F(ObsRuns, FloatScenesGoThroughOBSsFadeWithOneWarning) {
    obs_source_info info{};
    info.id = "wqtrans_test_hdr";
    info.type = OBS_SOURCE_TYPE_INPUT;
    info.output_flags = OBS_SOURCE_VIDEO | OBS_SOURCE_CUSTOM_DRAW;
    info.get_name = HdrName;
    info.create = HdrCreate;
    info.destroy = HdrDestroy;
    info.get_width = HdrSize;
    info.get_height = HdrSize;
    info.video_render = HdrRender;
    info.video_get_color_space = HdrSpace;
    obs_register_source(&info);
    Source hdr(obs_source_create_private("wqtrans_test_hdr", "hdr", nullptr));
    Stage stage("wqtrans_door", hdr.get());
    obs_transition_set_manual_torque(stage.transition.get(), 0.0f, 0.0f);
    ASSERT_TRUE(obs_transition_start(stage.transition.get(), OBS_TRANSITION_MODE_MANUAL, 0, b.get()));
    ASSERT_TRUE(stage.Show(0.5f));
    const size_t before = LogCount("16-bit float");
    for (int frame = 0; frame < 3; ++frame) {
        const Pixels picture = Capture(stage.transition.get(), 32, 32, GS_CS_709_EXTENDED);
        // Half floats: red 2 faded halfway with the other scene is well above 0.
        uint16_t red = 0;
        std::memcpy(&red, picture.data(), 2);
        EXPECT_GT(red, 0x3800u) << "red is below 0.5 (a black frame?)";
    }
    EXPECT_EQ(LogCount("16-bit float") - before, 1u);
}

// --- Sound: the cross-fade of OBS's own transitions.

// A source that plays a constant level, stereo, in real time.
struct Tone {
    obs_source_t* source;
    float level;
    std::atomic<bool> running{true};
    std::thread thread;
    Tone(obs_source_t* source, float level) : source(source), level(level) {
        thread = std::thread([this] {
            constexpr uint32_t frames = 480; // 10 ms
            std::vector<float> samples(frames, this->level);
            uint64_t next = os_gettime_ns();
            while (running) {
                obs_source_audio audio{};
                audio.data[0] = reinterpret_cast<const uint8_t*>(samples.data());
                audio.data[1] = reinterpret_cast<const uint8_t*>(samples.data());
                audio.frames = frames;
                audio.speakers = SPEAKERS_STEREO;
                audio.format = AUDIO_FORMAT_FLOAT_PLANAR;
                audio.samples_per_sec = 48000;
                audio.timestamp = next;
                obs_source_output_audio(this->source, &audio);
                next += 10'000'000;
                const uint64_t now = os_gettime_ns();
                if (next > now) {
                    std::this_thread::sleep_for(std::chrono::nanoseconds(next - now));
                }
            }
        });
    }
    ~Tone() {
        running = false;
        thread.join();
    }
};

const char* ToneName(void*) { return "tone"; }
void* ToneCreate(obs_data_t* settings, obs_source_t* source) {
    return new Tone(source, static_cast<float>(obs_data_get_double(settings, "level")));
}
void ToneDestroy(void* data) { delete static_cast<Tone*>(data); }

std::mutex heardLock;
std::vector<float> heard;
void Listen(void*, size_t, audio_data* data) {
    const std::lock_guard<std::mutex> hold(heardLock);
    const auto* left = reinterpret_cast<const float*>(data->data[0]);
    heard.insert(heard.end(), left, left + data->frames);
}

// The level the output channel plays now: the median of what the mix gives over half a
// second, once it has settled.
float Level() {
    std::this_thread::sleep_for(1500ms);
    {
        const std::lock_guard<std::mutex> hold(heardLock);
        heard.clear();
    }
    std::this_thread::sleep_for(500ms);
    const std::lock_guard<std::mutex> hold(heardLock);
    std::vector<float> samples = heard;
    if (samples.empty()) {
        return -1;
    }
    std::nth_element(samples.begin(), samples.begin() + samples.size() / 2, samples.end());
    return samples[samples.size() / 2];
}

// Two tones, 0.5 and 0.25, as the old and the new scene, and the output channel heard.
class ObsSound : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static bool registered = false;
        if (!registered) {
            registered = true;
            obs_source_info info{};
            info.id = "wqtrans_test_tone";
            info.type = OBS_SOURCE_TYPE_INPUT;
            info.output_flags = OBS_SOURCE_AUDIO;
            info.get_name = ToneName;
            info.create = ToneCreate;
            info.destroy = ToneDestroy;
            obs_register_source(&info);
        }
        for (int i = 0; i < 2; ++i) {
            obs_data_t* settings = obs_data_create();
            obs_data_set_double(settings, "level", i == 0 ? 0.5 : 0.25);
            tones[i].reset(obs_source_create_private("wqtrans_test_tone", i == 0 ? "a" : "b", settings));
            obs_data_release(settings);
        }
        obs_add_raw_audio_callback(0, nullptr, Listen, nullptr);
    }
    static void TearDownTestSuite() {
        obs_remove_raw_audio_callback(0, Listen, nullptr);
        tones[0].reset();
        tones[1].reset();
    }
    // `transitionId` held at progress t of a manual run from the first tone to the second.
    static float LevelThrough(const char* transitionId, float t, obs_data_t* settings = nullptr) {
        Stage stage(transitionId, tones[0].get());
        if (settings != nullptr) {
            obs_source_update(stage.transition.get(), settings);
        }
        obs_transition_set_manual_torque(stage.transition.get(), 0.0f, 0.0f);
        EXPECT_TRUE(obs_transition_start(stage.transition.get(), OBS_TRANSITION_MODE_MANUAL, 0, tones[1].get()));
        EXPECT_TRUE(stage.Show(t));
        return Level();
    }
    static inline Source tones[2];
};

// A quarter of the way through, three quarters of the old scene's sound and a quarter
// of the new one's, as through OBS's Fade.
TEST_F(ObsSound, CrossFadesAsOBSsFadeDoes) {
    const float ours = LevelThrough("wqtrans_door", 0.25f);
    const float fade = LevelThrough("fade_transition", 0.25f);
    EXPECT_NEAR(ours, 0.5f * 0.75f + 0.25f * 0.25f, 1e-4f);
    EXPECT_NEAR(ours, fade, 1e-6f);
}

// Each audio fade style at a quarter and three quarters of the run: a cross-fade mixes
// both all along; fade out then in has only the old scene's sound, at half its level,
// at a quarter, and only the new one's at three quarters.
TEST_F(ObsSound, FollowsTheAudioFadeStyle) {
    using wqtrans::obs::AudioFadeStyle;
    const struct {
        AudioFadeStyle style;
        float t, level;
    } cases[] = {
        {AudioFadeStyle::CrossFade, 0.75f, 0.5f * 0.25f + 0.25f * 0.75f},
        {AudioFadeStyle::FadeOutThenIn, 0.25f, 0.5f * 0.5f},
        {AudioFadeStyle::FadeOutThenIn, 0.75f, 0.25f * 0.5f},
    };
    for (const auto& c : cases) {
        obs_data_t* settings = obs_data_create();
        obs_data_set_int(settings, wqtrans::obs::kAudioFadeStyleKey, static_cast<int>(c.style));
        EXPECT_NEAR(LevelThrough("wqtrans_zoom", c.t, settings), c.level, 1e-4f)
            << "style " << static_cast<int>(c.style) << " at " << c.t;
        obs_data_release(settings);
    }
}

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s OBS_PLUGIN_DIR OBS_DATA_DIR OUR_PLUGIN_DIR [gtest options]\n", argv[0]);
        return 2;
    }
    libobs.obsPluginDir = argv[1];
    libobs.obsDataDir = argv[2];
    libobs.ourPluginDir = argv[3];
    char pattern[] = "/tmp/wqtrans-obs-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        return 2;
    }
    workDir = pattern;
    ::testing::AddGlobalTestEnvironment(new LibobsEnvironment);
    const int result = RUN_ALL_TESTS();
    std::filesystem::remove_all(workDir);
    return result;
}
