// What every wqtrans transition in OBS offers besides its own settings, after them in
// its properties: how the sound passes from one scene to the other.
#pragma once

#include <obs-module.h>

#include "obs/Sound.h"

namespace wqtrans::obs {

struct RunOptions {
    AudioFadeStyle audioFadeStyle = AudioFadeStyle::CrossFade;
};

RunOptions ReadRunOptions(obs_data_t* settings);
void SetRunOptionDefaults(obs_data_t* settings);
void AddRunOptionProperties(obs_properties_t* props);

} // namespace wqtrans::obs
