#include "obs/RunOptions.h"

namespace wqtrans::obs {

RunOptions ReadRunOptions(obs_data_t* settings) {
    RunOptions options;
    options.audioFadeStyle = AudioFadeStyleOf(obs_data_get_int(settings, kAudioFadeStyleKey));
    return options;
}

void SetRunOptionDefaults(obs_data_t* settings) {
    obs_data_set_default_int(settings, kAudioFadeStyleKey, static_cast<int>(AudioFadeStyle::CrossFade));
}

void AddRunOptionProperties(obs_properties_t* props) {
    obs_property_t* audio = obs_properties_add_list(props, kAudioFadeStyleKey, "Audio Fade Style", OBS_COMBO_TYPE_LIST,
                                                    OBS_COMBO_FORMAT_INT);
    obs_property_list_add_int(audio, "Crossfade", static_cast<int>(AudioFadeStyle::CrossFade));
    obs_property_list_add_int(audio, "Fade out to half-way, then fade in",
                              static_cast<int>(AudioFadeStyle::FadeOutThenIn));
}

} // namespace wqtrans::obs
