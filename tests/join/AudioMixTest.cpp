// The sound of a join: each input heard over its segment from its own time on, the
// cross-fade's levels at each cut, resampling to the mix's rate and layout, music under
// the video, and files whose sound cannot be decoded.
//
// The inputs are made with the ffmpeg program: constant levels in float PCM (exact
// through the mix) on one channel each, so that the left channel shows one sound and
// the right the other; tones where a resampler is at work.
#include <gmock/gmock.h>

#include <cmath>
#include <fstream>
#include <memory>

#include "join/AudioMix.h"
#include "join/JoinError.h"
#include "join/TestMedia.h"

namespace wqtrans::join {
namespace {

using jointest::Ffmpeg;
using jointest::Scratch;

// Sound of constant levels, 48 kHz float PCM: "0.5|0" is 0.5 on the left, 0 on the right.
void Levels(const std::string& levels, double seconds, const std::string& out) {
    Ffmpeg("-f lavfi -i 'aevalsrc=" + levels + ":s=48000:d=" + std::to_string(seconds) + "' -c:a pcm_f32le", out);
}

class AudioMixTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!jointest::HaveFfmpeg()) {
            return;
        }
        dir = new Scratch;
        Levels("0.5|0", 3, Left());
        Levels("0|0.5", 3, Right());
    }
    static void TearDownTestSuite() {
        delete dir;
        dir = nullptr;
    }
    void SetUp() override { WQ_REQUIRE_FFMPEG(); }

    static std::string Left() { return *dir / "left.wav"; }
    static std::string Right() { return *dir / "right.wav"; }

    // The whole mix and a little past it, read in pieces of an odd size that no frame
    // or codec frame shares.
    static std::vector<float> ReadAll(AudioMix& mix, int64_t past = 1000) {
        const size_t channels = static_cast<size_t>(mix.Channels());
        std::vector<float> samples(static_cast<size_t>(mix.TotalSamples() + past) * channels);
        const size_t piece = 1601;
        for (size_t at = 0; at < samples.size() / channels; at += piece) {
            mix.Read(samples.data() + at * channels, std::min(piece, samples.size() / channels - at));
        }
        return samples;
    }

    static inline Scratch* dir = nullptr;
};

float At(const std::vector<float>& samples, int64_t sample, int channel) {
    return samples.at(static_cast<size_t>(sample) * 2 + static_cast<size_t>(channel));
}

// Two 3 s inputs with a 1 s cut at 30 fps: frames 0-89 and 60-149, the cut over
// frames 60-89, samples 96000 to 144000.
TEST_F(AudioMixTest, CrossFadeLevelsAcrossTheCut) {
    struct Case {
        AudioFade fade;
        double x;  // into the cut
        float out; // the first input's gain
        float in;  // the second's
    };
    const Case cases[] = {
        {AudioFade::EqualPower, 0.25, 0.92388f, 0.38268f},
        {AudioFade::EqualPower, 0.5, 0.70711f, 0.70711f},
        {AudioFade::EqualPower, 0.75, 0.38268f, 0.92388f},
        {AudioFade::Linear, 0.25, 0.75f, 0.25f},
        {AudioFade::Linear, 0.5, 0.5f, 0.5f},
        {AudioFade::Linear, 0.75, 0.25f, 0.75f},
        {AudioFade::OutIn, 0.25, 0.5f, 0.0f},
        {AudioFade::OutIn, 0.5, 0.0f, 0.0f},
        {AudioFade::OutIn, 0.75, 0.0f, 0.5f},
    };
    const Timeline timeline = PlanTimeline({3000000, 3000000}, {1000}, {30, 1});
    for (const Case& c : cases) {
        AudioOptions options;
        options.fade = c.fade;
        AudioMix mix(timeline, {{Left()}, {Right()}}, options);
        ASSERT_EQ(mix.TotalSamples(), 240000);
        const std::vector<float> samples = ReadAll(mix);
        const auto sample = 96000 + static_cast<int64_t>(c.x * 48000);
        SCOPED_TRACE(testing::Message() << "fade " << static_cast<int>(c.fade) << " at " << c.x);
        EXPECT_NEAR(At(samples, sample, 0), 0.5f * c.out, 1e-4);
        EXPECT_NEAR(At(samples, sample, 1), 0.5f * c.in, 1e-4);
        // Each alone outside the cut, and silence past the video's end.
        EXPECT_EQ(At(samples, 95999, 0), 0.5f);
        EXPECT_EQ(At(samples, 95999, 1), 0.0f);
        EXPECT_EQ(At(samples, 144000, 0), 0.0f);
        EXPECT_EQ(At(samples, 144000, 1), 0.5f);
        EXPECT_EQ(At(samples, 239999, 1), 0.5f);
        EXPECT_EQ(At(samples, 240000, 1), 0.0f);
    }
}

// A tone that starts at 3 s of its file's own time, at the file's rate and channels,
// heard from `inUs` on: it starts where it should on the mix's 48 kHz at 30000/1001
// fps, at its own level on both channels (mono too).
TEST_F(AudioMixTest, ResampledToTheMixsRateAndLayoutInPlace) {
    struct Case {
        int rate;
        const char* channels; // a tone on one channel, or on both
        int64_t inUs;
    };
    const Case cases[] = {{44100, "mono", 0}, {48000, "stereo", 0}, {44100, "stereo", 2500000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rate << " Hz " << c.channels << " from " << c.inUs << " us");
        const std::string tone = "0.5*sin(2*PI*1000*t)*gte(t\\,3)";
        const std::string path = *dir / ("tone" + std::to_string(c.rate) + c.channels + ".flac");
        Ffmpeg("-f lavfi -i 'aevalsrc=" + tone + (std::string(c.channels) == "stereo" ? "|" + tone : "") +
                   ":s=" + std::to_string(c.rate) + ":d=4'",
               path);
        const Timeline timeline = PlanTimeline({4000000 - c.inUs}, {}, {30000, 1001});
        AudioMix mix(timeline, {{path, c.inUs}}, {});
        // 120 frames (4 s at 30000/1001 fps, rounded) are 192192 samples.
        ASSERT_EQ(mix.TotalSamples(), 4000000 - c.inUs == 4000000 ? 192192 : 72072);
        const std::vector<float> samples = ReadAll(mix);
        const int64_t onset = (3000000 - c.inUs) * 48 / 1000;
        int64_t first = -1;
        float peak[2] = {0, 0};
        for (int64_t s = 0; s < mix.TotalSamples(); ++s) {
            if (first < 0 && std::fabs(At(samples, s, 0)) > 0.05f) {
                first = s;
            }
            for (int channel = 0; channel < 2; ++channel) {
                peak[channel] = std::max(peak[channel], std::fabs(At(samples, s, channel)));
            }
        }
        // The first sample above 0.05 is the tone's second, give or take the
        // resampler's filter.
        EXPECT_NEAR(first, onset + 1, 4);
        EXPECT_NEAR(peak[0], 0.5f, 0.01f);
        EXPECT_NEAR(peak[1], 0.5f, 0.01f);
    }
}

// The second input's sound starts 0.5 s after its pictures (the container keeps them
// so): silence until then, where the first input (a picture, or a clip without sound)
// gives none either.
TEST_F(AudioMixTest, SoundStartingAfterItsPicturesStartsLateInTheMix) {
    const std::string late = *dir / "late.mkv";
    Ffmpeg("-f lavfi -i color=black:s=16x16:r=30:d=2 -itsoffset 0.5 -f lavfi -i 'aevalsrc=0|0.5:s=48000:d=1.5' "
           "-c:v ffv1 -c:a pcm_f32le",
           late);
    const std::string mute = *dir / "mute.mkv";
    Ffmpeg("-f lavfi -i color=black:s=16x16:r=30:d=2 -c:v ffv1", mute);
    // 2 s each with a 1 s cut: the clip starts at frame 30 (sample 48000), its sound
    // at sample 72000, halfway through the cut.
    const Timeline timeline = PlanTimeline({2000000, 2000000}, {1000}, {30, 1});
    for (const std::string& first : {std::string(), mute}) {
        SCOPED_TRACE(first.empty() ? "after a picture" : "after a clip without sound");
        AudioMix mix(timeline, {{first}, {late}}, {});
        const std::vector<float> samples = ReadAll(mix);
        for (int64_t s = 0; s < 72000; ++s) {
            ASSERT_EQ(At(samples, s, 1), 0.0f) << "at sample " << s;
        }
        EXPECT_NEAR(At(samples, 72000, 1), 0.5f * 0.70711f, 1e-4);
        EXPECT_EQ(At(samples, 96000, 1), 0.5f);
        EXPECT_EQ(At(samples, 143999, 1), 0.5f);
        for (int64_t s = 0; s < mix.TotalSamples(); ++s) {
            ASSERT_EQ(At(samples, s, 0), 0.0f) << "at sample " << s;
        }
    }
}

// Music of 1 s (0.2 on the left for half a second, then 0.4) under a 3 s video of a
// clip (0.5 on the right) and a picture: looped, cut at the video's end and faded out
// over its last second; alone, or under the clip's sound at the mix level.
TEST_F(AudioMixTest, MusicLoopedCutAndFadedAloneOrMixed) {
    const std::string music = *dir / "music.wav";
    Ffmpeg("-f lavfi -i 'aevalsrc=0.2+0.2*gte(t\\,0.5)|0:s=48000:d=1' -c:a pcm_f32le", music);
    const Timeline timeline = PlanTimeline({2000000, 1500000}, {500}, {30, 1});
    for (const bool mixed : {false, true}) {
        SCOPED_TRACE(mixed ? "mixed" : "alone");
        AudioOptions options;
        options.music = music;
        options.mixMusic = mixed;
        options.musicFadeMs = 1000;
        AudioMix mix(timeline, {{Right()}, {}}, options);
        ASSERT_EQ(mix.TotalSamples(), 144000);
        const std::vector<float> samples = ReadAll(mix);
        const float level = mixed ? options.musicLevel : 1.0f;
        const struct {
            double seconds;
            float music;
        } points[] = {{0.25, 0.2f}, {0.75, 0.4f},         {1.25, 0.2f},
                      {1.75, 0.4f}, {2.25, 0.2f * 0.75f}, {2.75, 0.4f * 0.25f}};
        for (const auto& point : points) {
            EXPECT_NEAR(At(samples, static_cast<int64_t>(point.seconds * 48000), 0), level * point.music, 1e-4)
                << "at " << point.seconds << " s";
        }
        EXPECT_EQ(At(samples, 12000, 1), mixed ? 0.5f : 0.0f);
        EXPECT_EQ(At(samples, 120000, 1), 0.0f); // the picture
        EXPECT_EQ(At(samples, 144000, 0), 0.0f);
    }
}

TEST_F(AudioMixTest, SoundThatCannotBeDecodedStopsTheMixNamingTheFile) {
    const std::string text = *dir / "notes.mp4";
    std::ofstream(text) << "not a clip\n";
    const std::string flac = *dir / "good.mkv";
    Ffmpeg("-f lavfi -i 'aevalsrc=0.5*sin(2*PI*440*t):s=48000:d=2' -c:a flac", flac);
    const std::string damaged = *dir / "damaged.mkv";
    Ffmpeg("-i '" + flac + "' -c copy -bsf:a noise=amount=1", damaged);
    const Timeline timeline = PlanTimeline({2000000, 2000000}, {1000}, {30, 1});
    for (const std::string& bad : {text, damaged}) {
        SCOPED_TRACE(bad);
        const auto failure = [&](const std::vector<AudioInput>& inputs, const AudioOptions& options) {
            try {
                AudioMix mix(timeline, inputs, options);
            } catch (const JoinError& e) {
                return std::string(e.what());
            }
            return std::string("no error");
        };
        EXPECT_THAT(failure({{Left()}, {bad}}, {}), testing::HasSubstr("\"" + bad + "\""));
        AudioOptions music;
        music.music = bad;
        EXPECT_THAT(failure({{Left()}, {Right()}}, music), testing::HasSubstr("\"" + bad + "\""));
        // Music that replaces the inputs' sound leaves it unread.
        music.music = Left();
        EXPECT_EQ(failure({{Left()}, {bad}}, music), "no error");
    }
}

} // namespace
} // namespace wqtrans::join
