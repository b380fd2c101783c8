// The sound of a join: every input's sound, decoded and resampled (libswresample) to one
// rate and layout, laid where its input lies on the timeline, cross-faded at each cut
// over the transition's frames; pictures and silent clips give silence. A music track
// can lie under the whole video, instead of or mixed with the inputs' sound, cut or
// looped to the video's length and faded out at its end.
//
// Placement: output frame f starts at sample f x sampleRate x den / num (rounded), so
// that no sample drifts however long the video. Input i is heard over its segment's
// samples only, from its own time AudioInput::inUs on; its gain is 1 but at the cuts,
// where it fades in (the cut before it) or out (the cut after it) with AudioFade over
// the cut's samples. The sum is clipped to [-1, 1].
//
// Levels: the inputs' sound as it is (a mono source on both channels at its own level).
// Music alone (mixMusic false) plays at its own level; mixed under the inputs' sound it
// plays at musicLevel (0.25 by default: 12 dB down, a bed under voices that does not
// drown them). Either way it fades out linearly over the last musicFadeMs of the video
// (all of it when the video is shorter), and plays again from its start when it ends
// before the video does.
//
// Bounded: only the inputs being heard hold a decoder, and each holds a frame or two of
// decoded sound ahead of what was read. A damaged packet amid good ones gives a short
// silence, as players do; a hole in an input's timestamps is silence too.
//
// Input time: an input's own time 0 is the start of its container (AVFormatContext's
// start_time), for its sound as for its pictures, so that what the container keeps in
// sync stays in sync.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "join/Timeline.h"

namespace wqtrans::join {

// How the two sounds meet at a cut: equal power (sin/cos gains, no dip in loudness for
// unrelated sounds), linear gains, or the first faded out over the cut's first half and
// the second faded in over its second half.
enum class AudioFade { EqualPower, Linear, OutIn };

struct AudioInput {
    std::string path; // the file whose sound the input plays; empty for silence (a picture)
    int64_t inUs = 0; // the input's own time at its segment's first frame (a part's start)
};

struct AudioOptions {
    int sampleRate = 48000;
    int channels = 2; // 1 or 2
    AudioFade fade = AudioFade::EqualPower;
    std::string music;           // --audio: a file whose sound lies under the whole video; empty for none
    bool mixMusic = false;       // false: the music replaces the inputs' sound; true: both, mixed
    uint32_t musicFadeMs = 2000; // the music's fade-out at the video's end
    float musicLevel = 0.25f;    // the music's gain when mixed with the inputs' sound
};

class AudioMix {
public:
    // Opens every input's sound (and the music) and checks that it can be decoded: a
    // JoinError naming the file otherwise. The inputs' files are not opened when music
    // replaces their sound. Throws a JoinError too for channels other than 1 or 2, or a
    // rate outside 8000 to 192000.
    AudioMix(const Timeline& timeline, const std::vector<AudioInput>& inputs, const AudioOptions& options);
    ~AudioMix();
    AudioMix(const AudioMix&) = delete;
    AudioMix& operator=(const AudioMix&) = delete;

    int SampleRate() const;
    int Channels() const;
    // The video's length in samples: the timeline's frames at its rate.
    int64_t TotalSamples() const;
    // The next `count` samples of every channel, interleaved floats in [-1, 1], from the
    // video's start on; past TotalSamples, silence.
    void Read(float* out, size_t count);

private:
    struct State;
    std::unique_ptr<State> state;
};

} // namespace wqtrans::join
