#include "join/AudioMix.h"

#include <algorithm>

extern "C" {
#include <libavutil/mathematics.h>
}

namespace wqtrans::join {

// Silence of the video's length, until the inputs' sound is mixed in.
struct AudioMix::State {
    AudioOptions options;
    int64_t total = 0;
};

AudioMix::AudioMix(const Timeline& timeline, const std::vector<AudioInput>&, const AudioOptions& options)
    : state(std::make_unique<State>()) {
    state->options = options;
    state->total = av_rescale(timeline.totalFrames, int64_t{options.sampleRate} * timeline.rate.den, timeline.rate.num);
}

AudioMix::~AudioMix() = default;

int AudioMix::SampleRate() const { return state->options.sampleRate; }
int AudioMix::Channels() const { return state->options.channels; }
int64_t AudioMix::TotalSamples() const { return state->total; }

void AudioMix::Read(float* out, size_t count) {
    std::fill_n(out, count * static_cast<size_t>(state->options.channels), 0.0f);
}

} // namespace wqtrans::join
