// A frei0r mixer2 plugin of one transition: the first input gives way to the second as
// the `progress` parameter goes from 0 to 1. Each shared object holds the whole module
// and names its transition with WqtransPluginId (frei0r loads one effect per object).
//
// Hosts seek, repeat moments and recycle output buffers, so every update draws the
// whole picture at its moment afresh through the frame renderer, straight into the
// host's output buffer. Neither MLT nor GStreamer tells a plugin its frame rate (nor
// can one `time` tell it, and an update never depends on the ones before), so the rate
// of the replay timeline is a parameter the host sets. frei0r's RGBA8888 pixels go
// through the module as they are: the transitions only copy, stretch and blend with one
// weight for all channels, which gives the same bytes in any channel order.
//
// The parameters: progress, duration and seed, then the panel's, then "frame rate",
// "ease" and "reverse", each group after the ones before it so that saved projects
// keep the indices they set parameters by.
extern "C" {
#include <frei0r.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <new>
#include <numeric>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "frei0r/PanelParams.h"
#include "host/FrameRenderer.h"
#include "module/Exports.h"

extern const char WqtransPluginId[5];

namespace wqtrans::frei0r {

namespace {

enum FixedParam { kProgress, kDuration, kSeed, kFixedParams };

// The parameters after the panel's, in this order.
enum TrailingParam { kFrameRate, kEase, kReverse, kTrailingParams };

// The largest frame rate is the tool's largest --fps.
constexpr double kMaxFrameRate = 240;

// The largest frame an instance takes, as the reference surface: 2^28 pixels.
constexpr uint64_t kMaxPixels = uint64_t{1} << 28;
constexpr double kMaxDurationSeconds = 3600;

struct Plugin {
    uint32_t id = 0;
    std::string name;        // "wqtrans Door"
    std::string explanation; // shown by hosts
    std::vector<PanelParam> panel;
};

const Plugin& ThePlugin() {
    static const Plugin plugin = [] {
        Plugin p;
        std::memcpy(&p.id, WqtransPluginId, 4);
        std::string title;
        for (int32_t i = 0; i < GetTransCount(); ++i) {
            if (GetTransID(i) == p.id) {
                char16_t buffer[64] = {};
                GetTransName(i, buffer, 64);
                for (const char16_t* c = buffer; *c != 0; ++c) {
                    title += static_cast<char>(*c < 0x80 ? *c : '?');
                }
            }
        }
        p.name = "wqtrans " + title;
        p.explanation = "\"" + title +
                        "\" from the Standard transitions: the first input gives way to the second as progress goes "
                        "from 0 to 1";
        p.panel = ReadPanelParams(p.id);
        return p;
    }();
    return plugin;
}

// Panels and the module's clock are the process's: one block is made at a time.
std::mutex& BlockLock() {
    static std::mutex lock;
    return lock;
}

struct Instance {
    uint32_t width = 0;
    uint32_t height = 0;
    double values[kFixedParams] = {0, 1, 1};
    double frameRate = 0;
    std::string easeText = "linear"; // as the host set it
    wqtrans::MotionCurve ease;       // linear when the text is no curve
    double reverse = 0;
    std::vector<double> panelValues;
    std::vector<double> blockValues; // the panel values `block` was made from
    std::vector<uint8_t> block;
    std::vector<uint32_t> inputCopies[2]; // inputs that share memory with the output
};

double Finite(double value, double fallback, double low, double high) {
    return std::isnan(value) ? fallback : std::clamp(value, low, high);
}

const std::vector<uint8_t>& BlockOf(Instance& instance) {
    if (instance.blockValues != instance.panelValues || (instance.block.empty() && !ThePlugin().panel.empty())) {
        const std::lock_guard<std::mutex> hold(BlockLock());
        instance.block = BlockFor(ThePlugin().id, ThePlugin().panel, instance.panelValues);
        instance.blockValues = instance.panelValues;
    }
    return instance.block;
}

// The frame rate as a fraction; {0, 1} when not given. The parameter is frames a second
// (MLT takes any number); 1 or less is the frame interval in seconds (GStreamer's
// properties stop at 1), the two readings agreeing at 1. NTSC rates typed to a few
// digits (29.97, 0.0333667) are taken as the exact N x 1000 / 1001.
std::pair<uint32_t, uint32_t> FrameRateOf(double value) {
    if (!(value > 0) || !std::isfinite(value)) {
        return {0, 1};
    }
    const double rate = std::clamp(value < 1 ? 1 / value : value, 1.0, kMaxFrameRate);
    const double ntsc = std::round(rate * 1.001);
    if (std::abs(rate - ntsc * 1000 / 1001) < 0.005 && std::abs(rate - std::round(rate)) > 0.005) {
        return {static_cast<uint32_t>(ntsc) * 1000, 1001};
    }
    const auto milli = static_cast<uint32_t>(std::lround(rate * 1000));
    const uint32_t common = std::gcd(milli, 1000u);
    return {milli / common, 1000 / common};
}

// An input whose pixels the output overlaps is read from a copy: the renderer starts by
// copying the first input into the output.
const uint32_t* Apart(Instance& instance, int which, const uint32_t* input, const uint32_t* out, size_t count) {
    const auto begin = reinterpret_cast<uintptr_t>(input);
    const auto outBegin = reinterpret_cast<uintptr_t>(out);
    const size_t bytes = count * sizeof(uint32_t);
    if (begin >= outBegin + bytes || outBegin >= begin + bytes) {
        return input;
    }
    instance.inputCopies[which].assign(input, input + count);
    return instance.inputCopies[which].data();
}

} // namespace

} // namespace wqtrans::frei0r

using namespace wqtrans::frei0r;

extern "C" {

int f0r_init() {
    ThePlugin();
    return 1;
}

void f0r_deinit() {}

void f0r_get_plugin_info(f0r_plugin_info_t* info) {
    if (info == nullptr) {
        return;
    }
    const Plugin& plugin = ThePlugin();
    info->name = plugin.name.c_str();
    info->author = "wqtrans";
    info->plugin_type = F0R_PLUGIN_TYPE_MIXER2;
    info->color_model = F0R_COLOR_MODEL_RGBA8888;
    info->frei0r_version = FREI0R_MAJOR_VERSION;
    info->major_version = 0;
    info->minor_version = 1;
    info->num_params = kFixedParams + static_cast<int>(plugin.panel.size()) + kTrailingParams;
    info->explanation = plugin.explanation.c_str();
}

void f0r_get_param_info(f0r_param_info_t* info, int index) {
    if (info == nullptr || index < 0) {
        return;
    }
    static const f0r_param_info_t fixed[kFixedParams] = {
        {"progress", F0R_PARAM_DOUBLE,
         "position in the transition, 0 (the first input) to 1 (the second); animate it from 0 to 1 over the "
         "transition's length"},
        {"duration", F0R_PARAM_DOUBLE,
         "the run's length in seconds that the transition sees, 0.001 to 3600 (GStreamer: up to 1); default 1"},
        {"seed", F0R_PARAM_DOUBLE,
         "seed of the transitions' random generator, a whole number 0 to 4294967295 (GStreamer: 0 or 1); default 1"},
    };
    static const f0r_param_info_t frameRate = {
        "frame rate", F0R_PARAM_DOUBLE,
        "the host's frames a second, 1 to 240 (29.97 for NTSC; MLT: 00:00:01.000 gives the profile's rate in whole "
        "frames), or up to 1 the frame interval in seconds (GStreamer: 0.0333333 for 30); 0 (default) counts as 25. "
        "The transitions that draw on their earlier steps are replayed at that rate"};
    static const std::string curves = [] {
        std::string names;
        for (const std::string& name : wqtrans::MotionCurve::Names()) {
            names += (names.empty() ? "" : ", ") + name;
        }
        return "motion curve that progress is mapped through: " + names +
               ", or cubic-bezier(x1,y1,x2,y2) as in CSS; default linear (a text that is no curve counts as linear)";
    }();
    static const f0r_param_info_t ease = {"ease", F0R_PARAM_STRING, curves.c_str()};
    static const f0r_param_info_t reverse = {
        "reverse", F0R_PARAM_BOOL,
        "the mirror run: still from the first input to the second, but the motion runs backwards (Door closes, "
        "Zoom shrinks)"};
    const std::vector<PanelParam>& panel = ThePlugin().panel;
    const size_t panelIndex = static_cast<size_t>(index - kFixedParams);
    if (index < kFixedParams) {
        *info = fixed[index];
    } else if (panelIndex < panel.size()) {
        const PanelParam& param = panel[panelIndex];
        info->name = param.name.c_str();
        info->type = param.kind == PanelParam::Kind::Switch ? F0R_PARAM_BOOL : F0R_PARAM_DOUBLE;
        info->explanation = param.explanation.c_str();
    } else if (panelIndex == panel.size() + kFrameRate) {
        *info = frameRate;
    } else if (panelIndex == panel.size() + kEase) {
        *info = ease;
    } else if (panelIndex == panel.size() + kReverse) {
        *info = reverse;
    }
}

f0r_instance_t f0r_construct(unsigned int width, unsigned int height) {
    if (uint64_t{width} * height > kMaxPixels) {
        return nullptr;
    }
    auto* instance = new (std::nothrow) Instance;
    if (instance == nullptr) {
        return nullptr;
    }
    instance->width = width;
    instance->height = height;
    for (const PanelParam& param : ThePlugin().panel) {
        instance->panelValues.push_back(param.initial);
    }
    return instance;
}

void f0r_destruct(f0r_instance_t instance) { delete static_cast<Instance*>(instance); }

void f0r_set_param_value(f0r_instance_t handle, f0r_param_t param, int index) {
    auto* instance = static_cast<Instance*>(handle);
    if (instance == nullptr || param == nullptr || index < 0) {
        return;
    }
    const size_t panelIndex = static_cast<size_t>(index - kFixedParams);
    const size_t panelSize = instance->panelValues.size();
    if (index >= kFixedParams && panelIndex == panelSize + kEase) {
        // A string parameter: `param` points to the host's char pointer.
        const char* text = *static_cast<const char* const*>(param);
        instance->easeText = text != nullptr ? text : "";
        instance->ease = wqtrans::MotionCurve::Parse(instance->easeText).value_or(wqtrans::MotionCurve{});
        return;
    }
    const double value = *static_cast<const double*>(param);
    if (index < kFixedParams) {
        instance->values[index] = value;
    } else if (panelIndex < panelSize) {
        // Out of range is clamped to what the panel allows when the block is made.
        instance->panelValues[panelIndex] = value;
    } else if (panelIndex == panelSize + kFrameRate) {
        instance->frameRate = value;
    } else if (panelIndex == panelSize + kReverse) {
        instance->reverse = value;
    }
}

void f0r_get_param_value(f0r_instance_t handle, f0r_param_t param, int index) {
    auto* instance = static_cast<Instance*>(handle);
    if (instance == nullptr || param == nullptr || index < 0) {
        return;
    }
    const size_t panelIndex = static_cast<size_t>(index - kFixedParams);
    const size_t panelSize = instance->panelValues.size();
    if (index < kFixedParams) {
        *static_cast<double*>(param) = instance->values[index];
    } else if (panelIndex < panelSize) {
        *static_cast<double*>(param) = instance->panelValues[panelIndex];
    } else if (panelIndex == panelSize + kFrameRate) {
        *static_cast<double*>(param) = instance->frameRate;
    } else if (panelIndex == panelSize + kEase) {
        // The instance's own text, valid until the next set.
        *static_cast<const char**>(param) = instance->easeText.c_str();
    } else if (panelIndex == panelSize + kReverse) {
        *static_cast<double*>(param) = instance->reverse;
    }
}

void f0r_update2(f0r_instance_t handle, double /*time*/, const uint32_t* first, const uint32_t* second,
                 const uint32_t* /*third*/, uint32_t* out) {
    auto* instance = static_cast<Instance*>(handle);
    if (instance == nullptr || out == nullptr || instance->width == 0 || instance->height == 0) {
        return;
    }
    const auto width = static_cast<int32_t>(instance->width);
    const auto height = static_cast<int32_t>(instance->height);
    const size_t count = size_t{instance->width} * instance->height;
    // A missing input is taken as the other one, or black.
    if (first == nullptr || second == nullptr) {
        const uint32_t* only = first != nullptr ? first : second;
        if (only == nullptr) {
            std::fill_n(out, count, 0xFF000000u);
        } else if (only != out) {
            std::memmove(out, only, count * sizeof(uint32_t));
        }
        return;
    }
    const uint32_t* const firstAsGiven = first;
    first = Apart(*instance, 0, first, out, count);
    second = second == firstAsGiven ? first : Apart(*instance, 1, second, out, count);
    const double* v = instance->values;
    const double progress = Finite(v[kProgress], 0, 0, 1);
    const auto durationMs =
        static_cast<uint32_t>(std::lround(Finite(v[kDuration], 1, 0.001, kMaxDurationSeconds) * 1000));
    wqtrans::FrameRequest request;
    request.id = ThePlugin().id;
    request.block = BlockOf(*instance);
    request.seed = static_cast<uint32_t>(std::llround(Finite(v[kSeed], 1, 0, 4294967295.0)));
    request.durationMs = durationMs;
    request.elapsedMs = static_cast<uint32_t>(std::lround(progress * durationMs));
    std::tie(request.frameRateNum, request.frameRateDen) = FrameRateOf(instance->frameRate);
    request.ease = instance->ease;
    // frei0r's booleans are doubles, true from 0.5.
    request.reverse = instance->reverse >= 0.5;
    wqtrans::SoftwareSurface oldFrame = wqtrans::SoftwareSurface::ReadOnlyOver(width, height, first);
    wqtrans::SoftwareSurface newFrame = wqtrans::SoftwareSurface::ReadOnlyOver(width, height, second);
    wqtrans::SoftwareSurface picture = wqtrans::SoftwareSurface::Over(width, height, out);
    if (!wqtrans::RenderFrameAt(request, oldFrame, newFrame, picture)) {
        std::memcpy(out, progress < 1 ? first : second, count * sizeof(uint32_t));
    }
}

void f0r_update(f0r_instance_t instance, double time, const uint32_t* in, uint32_t* out) {
    f0r_update2(instance, time, in, in, nullptr, out);
}

} // extern "C"
