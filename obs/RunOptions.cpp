#include "obs/RunOptions.h"

namespace wqtrans::obs {

RunOptions ReadRunOptions(obs_data_t* settings) {
    RunOptions options;
    const char* ease = obs_data_get_string(settings, kEaseKey);
    if (ease != nullptr && *ease != '\0') {
        if (const std::optional<MotionCurve> curve = MotionCurve::Parse(ease, &options.easeError)) {
            options.ease = *curve;
        }
    }
    options.reverse = obs_data_get_bool(settings, kReverseKey);
    options.audioFadeStyle = AudioFadeStyleOf(obs_data_get_int(settings, kAudioFadeStyleKey));
    return options;
}

void SetRunOptionDefaults(obs_data_t* settings) {
    obs_data_set_default_string(settings, kEaseKey, "linear");
    obs_data_set_default_bool(settings, kReverseKey, false);
    obs_data_set_default_int(settings, kAudioFadeStyleKey, static_cast<int>(AudioFadeStyle::CrossFade));
}

void AddRunOptionProperties(obs_properties_t* props) {
    // The named curves, and room to type cubic-bezier(x1, y1, x2, y2).
    obs_property_t* ease =
        obs_properties_add_list(props, kEaseKey, "Motion Curve", OBS_COMBO_TYPE_EDITABLE, OBS_COMBO_FORMAT_STRING);
    for (const std::string& name : MotionCurve::Names()) {
        obs_property_list_add_string(ease, name.c_str(), name.c_str());
    }
    obs_property_set_long_description(ease, "A named curve, or cubic-bezier(x1, y1, x2, y2) as CSS writes it");
    obs_properties_add_bool(props, kReverseKey, "Reverse (the motion runs backwards)");
    obs_property_t* audio = obs_properties_add_list(props, kAudioFadeStyleKey, "Audio Fade Style", OBS_COMBO_TYPE_LIST,
                                                    OBS_COMBO_FORMAT_INT);
    obs_property_list_add_int(audio, "Crossfade", static_cast<int>(AudioFadeStyle::CrossFade));
    obs_property_list_add_int(audio, "Fade out to half-way, then fade in",
                              static_cast<int>(AudioFadeStyle::FadeOutThenIn));
}

} // namespace wqtrans::obs
