// What every wqtrans transition in OBS offers besides its own settings, after them in
// its properties: the motion curve and reverse (host/Motion.h, as in every host), and
// how the sound passes from one scene to the other.
#pragma once

#include <obs-module.h>

#include <string>

#include "host/Motion.h"
#include "obs/Sound.h"

namespace wqtrans::obs {

inline constexpr const char* kEaseKey = "ease";
inline constexpr const char* kReverseKey = "reverse";

struct RunOptions {
    MotionCurve ease;      // linear unless the settings name another curve
    bool reverse = false;  // the mirror run: the motion runs backwards
    std::string easeError; // why the settings' curve was refused (linear is used), or ""
    AudioFadeStyle audioFadeStyle = AudioFadeStyle::CrossFade;
};

RunOptions ReadRunOptions(obs_data_t* settings);
void SetRunOptionDefaults(obs_data_t* settings);
void AddRunOptionProperties(obs_properties_t* props);

} // namespace wqtrans::obs
