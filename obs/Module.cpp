// The OBS Studio module wqtrans-obs: the 21 transitions as OBS scene transitions, one
// obs_source_info each (ids wqtrans_door and so on), registered from the module's own
// list in its order.
//
// Each frame is a read-back, a call and an upload: OBS renders the two scenes into
// textures, both are read back to memory, the frame renderer draws the picture at
// OBS's progress, and the picture is uploaded and drawn as it is. The scene textures
// are GS_RGBA, which OpenGL keeps as sRGB: they are read and drawn with no sRGB
// decoding and the framebuffer's conversion off, so the bytes reach the canvas
// unchanged. The renderer takes them in any channel order (the transitions copy,
// stretch and blend with one weight for all channels).
//
// Scenes that OBS renders in a 16-bit float format (HDR canvases, HDR sources) have no
// 8-bit pictures to give the module: they go through OBS's own fade, with one warning
// in the log per transition.
#include <obs-module.h>
#include <util/platform.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "host/FrameRenderer.h"
#include "host/PanelLayout.h"
#include "host/RunTraits.h"
#include "module/Exports.h"
#include "obs/RunOptions.h"
#include "obs/Shuffle.h"
#include "obs/Timeline.h"

OBS_DECLARE_MODULE()

MODULE_EXPORT const char* obs_module_description(void) {
    return "The Standard transitions: 21 animated scene transitions";
}

namespace wqtrans::obs {

namespace {

constexpr const char* kSeedKey = "seed";

// One transition as OBS sees it.
struct Kind {
    uint32_t id = 0;
    std::string sourceId; // wqtrans_door
    std::string name;     // the transition's own name
    std::string label;    // the name in OBS's lists, "Door (wqtrans)": OBS has a Fade, a Swipe... of its own
    std::vector<PanelField> fields;
    std::vector<std::string> keys; // the settings key of each field
    bool seeded = false;           // whether its pictures depend on the random generator's seed
    bool random = false;           // "wqtrans Random": one of the 21 at each scene change
    obs_source_info info{};
};

// The kinds live from the module's load to the end of the process: OBS keeps
// pointers to their strings and type data.
std::vector<std::unique_ptr<Kind>>& Kinds() {
    static std::vector<std::unique_ptr<Kind>> kinds;
    return kinds;
}

// Panels and the module's parameter blocks are the process's: one block is made at a
// time.
std::mutex& PanelLock() {
    static std::mutex lock;
    return lock;
}

std::string Slug(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (std::isalnum(static_cast<unsigned char>(c)) != 0) {
            out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        } else if (!out.empty() && out.back() != '_') {
            out += '_';
        }
    }
    while (!out.empty() && out.back() == '_') {
        out.pop_back();
    }
    return out;
}

std::string NameOf(int32_t index) {
    char16_t buffer[64] = {};
    GetTransName(index, buffer, 64);
    std::string name;
    for (const char16_t* c = buffer; *c != 0; ++c) {
        name += static_cast<char>(*c < 0x80 ? *c : '?');
    }
    return name;
}

// The instance of a transition.
struct Transition {
    obs_source_t* source = nullptr;
    const Kind* kind = nullptr;

    // Settings and run, set from OBS's threads and read by the graphics thread.
    std::mutex lock;
    uint32_t id = 0; // the transition drawn: the kind's own, or Random's pick for the run
    std::vector<uint8_t> block;
    uint32_t seed = 1;
    MotionCurve ease;
    bool reverse = false;
    RunClock clock;
    std::unique_ptr<Shuffle> shuffle; // Random's order, with the seed and choice it came from
    long long shuffleSeed = -1;
    std::vector<bool> shuffleChoice;
    // Read by the audio thread for every sample.
    std::atomic<AudioFadeStyle> audioFadeStyle{AudioFadeStyle::CrossFade};

    // The graphics thread's own.
    uint32_t width = 0, height = 0;
    gs_color_format stageFormat = GS_UNKNOWN;
    gs_stagesurf_t* stage[2] = {nullptr, nullptr};
    gs_texture_t* picture = nullptr;
    std::vector<uint32_t> pixels[3]; // old, new, the frame
    gs_effect_t* fade = nullptr;
    bool fadeLoaded = false;
    bool warned = false;
};

void ReleaseGraphics(Transition& tr) {
    for (gs_stagesurf_t*& stage : tr.stage) {
        gs_stagesurface_destroy(stage);
        stage = nullptr;
    }
    gs_texture_destroy(tr.picture);
    tr.picture = nullptr;
    tr.width = tr.height = 0;
}

// Staging surfaces and the picture texture at the scenes' size and format.
bool EnsureGraphics(Transition& tr, uint32_t cx, uint32_t cy, gs_color_format format) {
    if (tr.width == cx && tr.height == cy && tr.stageFormat == format && tr.picture != nullptr) {
        return true;
    }
    ReleaseGraphics(tr);
    tr.stage[0] = gs_stagesurface_create(cx, cy, format);
    tr.stage[1] = gs_stagesurface_create(cx, cy, format);
    tr.picture = gs_texture_create(cx, cy, format, 1, nullptr, GS_DYNAMIC);
    if (tr.stage[0] == nullptr || tr.stage[1] == nullptr || tr.picture == nullptr) {
        ReleaseGraphics(tr);
        return false;
    }
    tr.width = cx;
    tr.height = cy;
    tr.stageFormat = format;
    return true;
}

// The scene's pixels, rows packed; transparent black for a missing scene.
bool ReadBack(Transition& tr, int which, gs_texture_t* texture, std::vector<uint32_t>& out) {
    out.assign(size_t{tr.width} * tr.height, 0);
    if (texture == nullptr) {
        return true;
    }
    gs_stage_texture(tr.stage[which], texture);
    uint8_t* data = nullptr;
    uint32_t linesize = 0;
    if (!gs_stagesurface_map(tr.stage[which], &data, &linesize)) {
        return false;
    }
    const size_t row = size_t{tr.width} * 4;
    for (uint32_t y = 0; y < tr.height; ++y) {
        std::memcpy(out.data() + size_t{y} * tr.width, data + size_t{y} * linesize, row);
    }
    gs_stagesurface_unmap(tr.stage[which]);
    return true;
}

bool EightBit(gs_color_format format) {
    return format == GS_RGBA || format == GS_BGRA || format == GS_RGBA_UNORM || format == GS_BGRA_UNORM;
}

// What the two scene textures allow: the module's pictures need both in one 8-bit
// format at the transition's size (a missing scene is transparent).
enum class Scenes { Pictures, Float, Mismatched };

Scenes Check(gs_texture_t* a, gs_texture_t* b, uint32_t cx, uint32_t cy, gs_color_format& format) {
    format = GS_RGBA;
    bool first = true;
    for (gs_texture_t* texture : {a, b}) {
        if (texture == nullptr) {
            continue;
        }
        const gs_color_format f = gs_texture_get_color_format(texture);
        if (!EightBit(f)) {
            return Scenes::Float;
        }
        if ((!first && f != format) || gs_texture_get_width(texture) != cx || gs_texture_get_height(texture) != cy) {
            return Scenes::Mismatched;
        }
        format = f;
        first = false;
    }
    return Scenes::Pictures;
}

// OBS's own fade (obs-transitions' fade_transition.effect), drawn as its fade
// transition draws it; without that module, the nearer scene.
void DrawFade(Transition& tr, gs_texture_t* a, gs_texture_t* b, float t, uint32_t cx, uint32_t cy) {
    if (!tr.fadeLoaded) {
        tr.fadeLoaded = true;
        if (obs_module_t* transitions = obs_get_module("obs-transitions")) {
            if (char* file = obs_find_module_file(transitions, "fade_transition.effect")) {
                tr.fade = gs_effect_create_from_file(file, nullptr);
                bfree(file);
            }
        }
    }
    const bool previous = gs_framebuffer_srgb_enabled();
    gs_enable_framebuffer_srgb(true);
    if (tr.fade != nullptr && (a != nullptr || b != nullptr)) {
        gs_eparam_t* texA = gs_effect_get_param_by_name(tr.fade, "tex_a");
        gs_eparam_t* texB = gs_effect_get_param_by_name(tr.fade, "tex_b");
        const char* technique = "FadeLinear";
        if (a == nullptr || b == nullptr) {
            technique = "FadeSingle";
            gs_effect_set_texture_srgb(texA, a != nullptr ? a : b);
            t = a != nullptr ? 1.0f - t : t;
        } else if (gs_get_color_space() == GS_CS_SRGB) {
            technique = "Fade";
            gs_effect_set_texture(texA, a);
            gs_effect_set_texture(texB, b);
        } else {
            gs_effect_set_texture_srgb(texA, a);
            gs_effect_set_texture_srgb(texB, b);
        }
        gs_effect_set_float(gs_effect_get_param_by_name(tr.fade, "fade_val"), t);
        while (gs_effect_loop(tr.fade, technique)) {
            gs_draw_sprite(nullptr, 0, cx, cy);
        }
    } else if (gs_texture_t* nearer = t < 0.5f ? a : b) {
        gs_effect_t* effect = obs_get_base_effect(OBS_EFFECT_DEFAULT);
        gs_effect_set_texture_srgb(gs_effect_get_param_by_name(effect, "image"), nearer);
        while (gs_effect_loop(effect, "Draw")) {
            gs_draw_sprite(nearer, 0, cx, cy);
        }
    }
    gs_enable_framebuffer_srgb(previous);
}

void DrawFrame(void* data, gs_texture_t* a, gs_texture_t* b, float t, uint32_t cx, uint32_t cy) {
    auto& tr = *static_cast<Transition*>(data);
    gs_color_format format = GS_RGBA;
    const Scenes scenes = Check(a, b, cx, cy, format);
    if (scenes != Scenes::Pictures) {
        if (!tr.warned) {
            tr.warned = true;
            blog(LOG_WARNING, "[wqtrans-obs] '%s': %s; %s is drawn as OBS's fade", obs_source_get_name(tr.source),
                 scenes == Scenes::Float ? "the scenes are rendered in a 16-bit float format (HDR)"
                                         : "the scenes' textures differ in size or format",
                 tr.kind->name.c_str());
        }
        DrawFade(tr, a, b, t, cx, cy);
        return;
    }
    if (!EnsureGraphics(tr, cx, cy, format) || !ReadBack(tr, 0, a, tr.pixels[0]) || !ReadBack(tr, 1, b, tr.pixels[1])) {
        DrawFade(tr, a, b, t, cx, cy);
        return;
    }
    FrameRequest request;
    {
        const std::lock_guard<std::mutex> hold(tr.lock);
        request.id = tr.id;
        request.block = tr.block;
        request.seed = tr.seed;
        request.ease = tr.ease;
        request.reverse = tr.reverse;
        request.durationMs = tr.clock.DurationMs(t, obs_get_video_frame_time());
    }
    request.elapsedMs = ElapsedMs(t, request.durationMs);
    obs_video_info video{};
    if (obs_get_video_info(&video) && video.fps_num > 0 && video.fps_den > 0) {
        request.frameRateNum = video.fps_num;
        request.frameRateDen = video.fps_den;
    }
    const auto w = static_cast<int32_t>(cx), h = static_cast<int32_t>(cy);
    tr.pixels[2].resize(size_t{cx} * cy);
    SoftwareSurface oldFrame = SoftwareSurface::ReadOnlyOver(w, h, tr.pixels[0].data());
    SoftwareSurface newFrame = SoftwareSurface::ReadOnlyOver(w, h, tr.pixels[1].data());
    SoftwareSurface out = SoftwareSurface::Over(w, h, tr.pixels[2].data());
    if (!RenderFrameAt(request, oldFrame, newFrame, out)) {
        tr.pixels[2] = t < 1.0f ? tr.pixels[0] : tr.pixels[1];
    }
    gs_texture_set_image(tr.picture, reinterpret_cast<const uint8_t*>(tr.pixels[2].data()), cx * 4, false);

    const bool previous = gs_framebuffer_srgb_enabled();
    gs_enable_framebuffer_srgb(false);
    gs_effect_t* effect = obs_get_base_effect(OBS_EFFECT_DEFAULT);
    gs_effect_set_texture(gs_effect_get_param_by_name(effect, "image"), tr.picture);
    while (gs_effect_loop(effect, "Draw")) {
        gs_draw_sprite(tr.picture, 0, cx, cy);
    }
    gs_enable_framebuffer_srgb(previous);
}

const char* GetName(void* typeData) { return static_cast<const Kind*>(typeData)->label.c_str(); }

void UpdateRandom(Transition& tr, obs_data_t* settings);

void Update(void* data, obs_data_t* settings) {
    auto& tr = *static_cast<Transition*>(data);
    const RunOptions options = ReadRunOptions(settings);
    if (!options.easeError.empty()) {
        blog(LOG_WARNING, "[wqtrans-obs] '%s': %s; the motion is linear", obs_source_get_name(tr.source),
             options.easeError.c_str());
    }
    tr.audioFadeStyle = options.audioFadeStyle;
    {
        const std::lock_guard<std::mutex> hold(tr.lock);
        tr.ease = options.ease;
        tr.reverse = options.reverse;
    }
    if (tr.kind->random) {
        UpdateRandom(tr, settings);
        return;
    }
    const Kind& kind = *tr.kind;
    std::vector<int32_t> values;
    for (size_t i = 0; i < kind.fields.size(); ++i) {
        const PanelField& f = kind.fields[i];
        const char* key = kind.keys[i].c_str();
        const long long value = f.kind == PanelField::Kind::Switch ? (obs_data_get_bool(settings, key) ? 1 : 0)
                                                                   : obs_data_get_int(settings, key);
        values.push_back(static_cast<int32_t>(std::clamp<long long>(value, f.low, f.high)));
    }
    std::vector<uint8_t> block;
    if (!kind.fields.empty()) {
        const std::lock_guard<std::mutex> hold(PanelLock());
        block = PanelBlock(kind.id, kind.fields, values);
    }
    const long long seed = kind.seeded ? obs_data_get_int(settings, kSeedKey) : 1;
    const std::lock_guard<std::mutex> hold(tr.lock);
    tr.block = std::move(block);
    tr.seed = static_cast<uint32_t>(std::clamp<long long>(seed, 0, UINT32_MAX));
}

void* Create(obs_data_t* settings, obs_source_t* source) {
    auto* tr = new Transition;
    tr->source = source;
    tr->kind = static_cast<const Kind*>(obs_source_get_type_data(source));
    tr->id = tr->kind->id;
    Update(tr, settings);
    return tr;
}

void Destroy(void* data) {
    auto* tr = static_cast<Transition*>(data);
    obs_enter_graphics();
    ReleaseGraphics(*tr);
    gs_effect_destroy(tr->fade);
    obs_leave_graphics();
    delete tr;
}

void Render(void* data, gs_effect_t* /*effect*/) {
    auto& tr = *static_cast<Transition*>(data);
    obs_transition_video_render2(tr.source, DrawFrame, nullptr);
}

// The sound of each scene, by the audio fade style (cross-fade as OBS's own transitions
// by default).
float MixA(void* data, float t) {
    return OldSceneVolume(static_cast<Transition*>(data)->audioFadeStyle.load(std::memory_order_relaxed), t);
}
float MixB(void* data, float t) {
    return NewSceneVolume(static_cast<Transition*>(data)->audioFadeStyle.load(std::memory_order_relaxed), t);
}

bool RenderAudio(void* data, uint64_t* tsOut, obs_source_audio_mix* audio, uint32_t mixers, size_t channels,
                 size_t sampleRate) {
    auto& tr = *static_cast<Transition*>(data);
    return obs_transition_audio_render(tr.source, tsOut, audio, mixers, channels, sampleRate, MixA, MixB);
}

gs_color_space ColorSpace(void* data, size_t count, const gs_color_space* preferred) {
    auto& tr = *static_cast<Transition*>(data);
    const gs_color_space space = obs_transition_video_get_color_space(tr.source);
    for (size_t i = 0; i < count; ++i) {
        if (preferred[i] == space) {
            return space;
        }
    }
    return count > 0 ? preferred[count - 1] : space;
}

// OBS calls this inside obs_transition_start once the run's mode is set and before
// its start time is: a manual run's time reads 0 there, an automatic run's the end of
// the one before.
void Start(void* data) {
    auto& tr = *static_cast<Transition*>(data);
    const float t = obs_transition_get_time(tr.source);
    const bool manual = t == 0.0f;
    const std::lock_guard<std::mutex> hold(tr.lock);
    tr.clock.Start(os_gettime_ns(), manual);
    // OBS starts a run again to the scene it is going to (a second click) without
    // starting its time again: Random keeps its pick then.
    if (tr.shuffle && !(t > 0.0f && t < 1.0f)) {
        // Random: the next in its order, with a fresh instance's settings.
        const int pick = tr.shuffle->Next();
        if (pick >= 0 && pick < GetTransCount()) {
            tr.id = GetTransID(pick);
            tr.block.clear();
            tr.seed = 1;
        }
    }
}

void RandomDefaults(obs_data_t* settings);
obs_properties_t* RandomProperties();

void Defaults(void* typeData, obs_data_t* settings) {
    const Kind& kind = *static_cast<const Kind*>(typeData);
    if (kind.random) {
        RandomDefaults(settings);
        return;
    }
    for (size_t i = 0; i < kind.fields.size(); ++i) {
        const PanelField& f = kind.fields[i];
        if (f.kind == PanelField::Kind::Switch) {
            obs_data_set_default_bool(settings, kind.keys[i].c_str(), f.initial != 0);
        } else {
            obs_data_set_default_int(settings, kind.keys[i].c_str(), f.initial);
        }
    }
    if (kind.seeded) {
        obs_data_set_default_int(settings, kSeedKey, 1);
    }
    SetRunOptionDefaults(settings);
}

obs_properties_t* Properties(void* /*data*/, void* typeData) {
    const Kind& kind = *static_cast<const Kind*>(typeData);
    if (kind.random) {
        return RandomProperties();
    }
    obs_properties_t* props = obs_properties_create();
    for (size_t i = 0; i < kind.fields.size(); ++i) {
        const PanelField& f = kind.fields[i];
        const char* key = kind.keys[i].c_str();
        switch (f.kind) {
        case PanelField::Kind::Choice: {
            obs_property_t* list =
                obs_properties_add_list(props, key, f.name.c_str(), OBS_COMBO_TYPE_LIST, OBS_COMBO_FORMAT_INT);
            for (size_t c = 0; c < f.choices.size(); ++c) {
                obs_property_list_add_int(list, f.choices[c].c_str(), static_cast<long long>(c));
            }
            break;
        }
        case PanelField::Kind::Switch:
            obs_properties_add_bool(props, key, f.name.c_str());
            break;
        case PanelField::Kind::Number:
            obs_properties_add_int_slider(props, key, f.name.c_str(), f.low, f.high, 1);
            break;
        }
    }
    if (kind.seeded) {
        obs_properties_add_int(props, kSeedKey, "Seed", 0, INT_MAX, 1);
    }
    AddRunOptionProperties(props);
    return props;
}

void Register(Kind& kind) {
    obs_source_info& info = kind.info;
    info.id = kind.sourceId.c_str();
    info.type = OBS_SOURCE_TYPE_TRANSITION;
    info.type_data = &kind;
    info.get_name = GetName;
    info.create = Create;
    info.destroy = Destroy;
    info.update = Update;
    info.video_render = Render;
    info.audio_render = RenderAudio;
    info.video_get_color_space = ColorSpace;
    info.transition_start = Start;
    info.get_defaults2 = Defaults;
    info.get_properties2 = Properties;
    obs_register_source(&info);
}

// --- "wqtrans Random": one of the chosen transitions at each scene change, in an order
// that its seed gives (the order starts again when the seed or the choice changes, and
// when OBS starts). Each is played with a fresh instance's settings; the check boxes,
// keyed by the transitions' source ids, choose which.

Kind& RandomKind() {
    static Kind kind;
    return kind;
}

void RandomDefaults(obs_data_t* settings) {
    obs_data_set_default_int(settings, kSeedKey, 1);
    for (const auto& kind : Kinds()) {
        obs_data_set_default_bool(settings, kind->sourceId.c_str(), true);
    }
    SetRunOptionDefaults(settings);
}

obs_properties_t* RandomProperties() {
    obs_properties_t* props = obs_properties_create();
    obs_properties_add_int(props, kSeedKey, "Seed", 0, INT_MAX, 1);
    obs_properties_t* choice = obs_properties_create();
    for (const auto& kind : Kinds()) {
        obs_properties_add_bool(choice, kind->sourceId.c_str(), kind->name.c_str());
    }
    obs_properties_add_group(props, "transitions", "Play these (none checked: all)", OBS_GROUP_NORMAL, choice);
    AddRunOptionProperties(props);
    return props;
}

void UpdateRandom(Transition& tr, obs_data_t* settings) {
    std::vector<bool> choice;
    for (const auto& kind : Kinds()) {
        choice.push_back(obs_data_get_bool(settings, kind->sourceId.c_str()));
    }
    const long long seed = std::clamp<long long>(obs_data_get_int(settings, kSeedKey), 0, UINT32_MAX);
    const std::lock_guard<std::mutex> hold(tr.lock);
    if (!tr.shuffle || seed != tr.shuffleSeed || choice != tr.shuffleChoice) {
        tr.shuffle = std::make_unique<Shuffle>(static_cast<uint32_t>(seed), choice);
        tr.shuffleSeed = seed;
        tr.shuffleChoice = std::move(choice);
    }
}

} // namespace

} // namespace wqtrans::obs

bool obs_module_load(void) {
    using namespace wqtrans::obs;
    auto& kinds = Kinds();
    if (!kinds.empty()) {
        return true;
    }
    for (int32_t index = 0; index < GetTransCount(); ++index) {
        auto kind = std::make_unique<Kind>();
        kind->id = GetTransID(index);
        kind->name = NameOf(index);
        kind->sourceId = "wqtrans_" + Slug(kind->name);
        kind->label = kind->name + " (wqtrans)";
        {
            const std::lock_guard<std::mutex> hold(PanelLock());
            kind->fields = wqtrans::ReadPanelLayout(kind->id);
        }
        for (const wqtrans::PanelField& field : kind->fields) {
            const std::string base = Slug(field.name).empty() ? "setting" : Slug(field.name);
            std::string key = base;
            for (int n = 2; key == kSeedKey || std::find(kind->keys.begin(), kind->keys.end(), key) != kind->keys.end();
                 ++n) {
                key = base + "_" + std::to_string(n);
            }
            kind->keys.push_back(key);
        }
        {
            const std::lock_guard<std::mutex> hold(PanelLock());
            kind->seeded = DependsOnSeed(kind->id, kind->fields);
        }
        kinds.push_back(std::move(kind));
    }
    for (auto& kind : kinds) {
        Register(*kind);
    }
    Kind& random = RandomKind();
    random.name = "wqtrans Random";
    random.label = random.name;
    random.sourceId = "wqtrans_random";
    random.random = true;
    Register(random);
    blog(LOG_INFO, "[wqtrans-obs] %zu transitions registered, and wqtrans Random", kinds.size());
    return true;
}
