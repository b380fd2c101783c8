// libobs started headless for the OBS module's tests and benchmark: on the X display
// of DISPLAY (an Xvfb of their own, see xvfb.sh) with OpenGL, only the modules named
// opened (loading every module aborts without a QApplication), video ticks counted,
// and pictures read back by rendering a source into a texture of our own and staging it.
#pragma once

#include <obs-module.h>
#include <obs-nix-platform.h>
#include <obs.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "host/SoftwareSurface.h"

// Xlib's two calls libobs needs (Xlib.h's macros, None and Bool, break GoogleTest).
extern "C" {
struct _XDisplay;
_XDisplay* XOpenDisplay(const char* name);
int XCloseDisplay(_XDisplay* display);
}

namespace wqtrans::obstest {

using Pixels = std::vector<uint32_t>;

inline std::atomic<uint64_t> ticks{0};
inline void OnTick(void* /*param*/, float /*seconds*/) { ++ticks; }

// Waits for n more video ticks (10 s at most).
inline void WaitTicks(uint64_t n) {
    const uint64_t target = ticks + n;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (ticks < target && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

inline bool ResetVideo(uint32_t width, uint32_t height, uint32_t fps) {
    obs_video_info ovi{};
    ovi.graphics_module = "libobs-opengl";
    ovi.fps_num = fps;
    ovi.fps_den = 1;
    ovi.base_width = ovi.output_width = width;
    ovi.base_height = ovi.output_height = height;
    ovi.output_format = VIDEO_FORMAT_BGRA;
    ovi.gpu_conversion = true;
    ovi.colorspace = VIDEO_CS_SRGB;
    ovi.range = VIDEO_RANGE_FULL;
    ovi.scale_type = OBS_SCALE_BICUBIC;
    return obs_reset_video(&ovi) == OBS_VIDEO_SUCCESS;
}

struct Libobs {
    std::string obsPluginDir, obsDataDir, ourPluginDir;
    _XDisplay* display = nullptr;

    // "" once libobs runs with the modules open, else what failed.
    std::string Start(uint32_t width, uint32_t height, uint32_t fps) {
        display = XOpenDisplay(nullptr);
        if (display == nullptr) {
            return std::string("no X display (DISPLAY=") + (getenv("DISPLAY") ? getenv("DISPLAY") : "") + ")";
        }
        obs_set_nix_platform(OBS_NIX_PLATFORM_X11_EGL);
        obs_set_nix_platform_display(display);
        if (!obs_startup("en-US", nullptr, nullptr)) {
            return "obs_startup failed";
        }
        if (!ResetVideo(width, height, fps)) {
            return "libobs could not start OpenGL";
        }
        obs_audio_info audio{48000, SPEAKERS_STEREO};
        if (!obs_reset_audio(&audio)) {
            return "libobs could not start its audio";
        }
        for (const char* name : {"image-source", "obs-transitions"}) {
            if (!Open(obsPluginDir + "/" + name + ".so", obsDataDir + "/" + name)) {
                return std::string("could not load ") + name;
            }
        }
        if (!Open(ourPluginDir + "/wqtrans-obs.so", ourPluginDir)) {
            return "could not load " + ourPluginDir + "/wqtrans-obs.so";
        }
        obs_add_tick_callback(OnTick, nullptr);
        return "";
    }

    void Stop() {
        obs_remove_tick_callback(OnTick, nullptr);
        obs_shutdown();
        if (display != nullptr) {
            XCloseDisplay(display);
        }
    }

    static bool Open(const std::string& binary, const std::string& data) {
        obs_module_t* module = nullptr;
        return obs_open_module(&module, binary.c_str(), data.c_str()) == MODULE_SUCCESS && obs_init_module(module);
    }
};

// Reads a rendered texture of width x height back into `bytes`.
inline bool ReadTexture(gs_texture_t* texture, gs_stagesurf_t* stage, uint32_t width, uint32_t height,
                        size_t bytesPerPixel, uint8_t* bytes) {
    gs_stage_texture(stage, texture);
    uint8_t* data = nullptr;
    uint32_t linesize = 0;
    if (!gs_stagesurface_map(stage, &data, &linesize)) {
        return false;
    }
    for (uint32_t y = 0; y < height; ++y) {
        std::memcpy(bytes + size_t{y} * width * bytesPerPixel, data + size_t{y} * linesize, width * bytesPerPixel);
    }
    gs_stagesurface_unmap(stage);
    return true;
}

// Renders `source` as OBS renders a channel's source into `target`, width x height.
inline bool RenderInto(gs_texrender_t* target, obs_source_t* source, uint32_t width, uint32_t height,
                       gs_color_space space = GS_CS_SRGB) {
    gs_texrender_reset(target);
    if (!gs_texrender_begin_with_color_space(target, width, height, space)) {
        return false;
    }
    vec4 clear{};
    gs_clear(GS_CLEAR_COLOR, &clear, 0.0f, 0);
    gs_ortho(0.0f, static_cast<float>(width), 0.0f, static_cast<float>(height), -100.0f, 100.0f);
    gs_blend_state_push();
    gs_blend_function(GS_BLEND_ONE, GS_BLEND_INVSRCALPHA);
    obs_source_video_render(source);
    gs_blend_state_pop();
    gs_texrender_end(target);
    return true;
}

// What `source` draws at width x height, as 32-bit words in the texture's byte order
// (pairs of words per pixel for a float picture).
inline Pixels Capture(obs_source_t* source, uint32_t width, uint32_t height, gs_color_space space = GS_CS_SRGB) {
    const gs_color_format format = space == GS_CS_SRGB ? GS_RGBA : GS_RGBA16F;
    const size_t bytesPerPixel = format == GS_RGBA ? 4 : 8;
    Pixels words(size_t{width} * height * bytesPerPixel / 4);
    obs_enter_graphics();
    gs_texrender_t* target = gs_texrender_create(format, GS_ZS_NONE);
    gs_stagesurf_t* stage = gs_stagesurface_create(width, height, format);
    if (RenderInto(target, source, width, height, space)) {
        ReadTexture(gs_texrender_get_texture(target), stage, width, height, bytesPerPixel,
                    reinterpret_cast<uint8_t*>(words.data()));
    }
    gs_stagesurface_destroy(stage);
    gs_texrender_destroy(target);
    obs_leave_graphics();
    return words;
}

struct SourceDeleter {
    void operator()(obs_source_t* source) const { obs_source_release(source); }
};
using Source = std::unique_ptr<obs_source_t, SourceDeleter>;

inline Source ImageSource(const std::string& name, const std::string& file) {
    obs_data_t* settings = obs_data_create();
    obs_data_set_string(settings, "file", file.c_str());
    Source source(obs_source_create_private("image_source", name.c_str(), settings));
    obs_data_release(settings);
    return source;
}

// A picture whose every pixel tells its frame and position in mid-tones (0 and 255
// would hide an sRGB round trip), written as a PNG for image-source; "" on failure.
inline std::string WritePicture(const std::string& path, int32_t frame, uint32_t width, uint32_t height) {
    SoftwareSurface picture(static_cast<int32_t>(width), static_cast<int32_t>(height));
    for (int32_t y = 0; y < picture.Height(); ++y) {
        for (int32_t x = 0; x < picture.Width(); ++x) {
            const auto r = static_cast<uint32_t>(40 + (x * 3 + frame * 70) % 170);
            const auto g = static_cast<uint32_t>(40 + (y * 5 + frame * 30) % 170);
            const auto b = static_cast<uint32_t>(frame == 0 ? 90 + (x + y) % 60 : 160 + (x ^ y) % 50);
            picture.SetPixel(x, y, 0xFF000000u | r << 16 | g << 8 | b);
        }
    }
    return picture.SavePng(path) ? path : "";
}

} // namespace wqtrans::obstest
