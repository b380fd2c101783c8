// How a transition's sound passes from the old scene to the new one: the volume of each
// scene's sound at progress t (0 to 1) of the run.
#pragma once

#include <algorithm>
#include <cmath>

namespace wqtrans::obs {

// The settings key and its values, as OBS's stinger saves its own choice.
inline constexpr const char* kAudioFadeStyleKey = "audio_fade_style";
enum class AudioFadeStyle : int {
    FadeOutThenIn = 0, // the old scene's sound fades out by half-way, the new one's fades in after
    CrossFade = 1,     // both at once over the whole run, as OBS's Fade
};

inline AudioFadeStyle AudioFadeStyleOf(long long value) {
    return value == static_cast<int>(AudioFadeStyle::FadeOutThenIn) ? AudioFadeStyle::FadeOutThenIn
                                                                    : AudioFadeStyle::CrossFade;
}

inline float Progress(float t) { return std::isnan(t) ? 0.0f : std::clamp(t, 0.0f, 1.0f); }

inline float OldSceneVolume(AudioFadeStyle style, float t) {
    t = Progress(t);
    return style == AudioFadeStyle::CrossFade ? 1.0f - t : std::max(0.0f, 1.0f - 2.0f * t);
}

inline float NewSceneVolume(AudioFadeStyle style, float t) {
    t = Progress(t);
    return style == AudioFadeStyle::CrossFade ? t : std::max(0.0f, 2.0f * t - 1.0f);
}

} // namespace wqtrans::obs
