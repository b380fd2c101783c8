#include "join/AudioMix.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/mathematics.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>

#include "join/JoinError.h"
#include "join/Media.h"

namespace wqtrans::join {

namespace {

// A gap between timestamps below this (ms) is the container's rounding, not a hole in
// the sound.
constexpr int64_t kGapToleranceMs = 20;
// Frames of a clip's part are found by seeking this far before the part's start, so
// that the decoder's first frames (which lack their predecessor's overlap) fall before it.
constexpr int64_t kSeekLeadUs = 1000000;
// Undecodable packets a file may start with (junk before an MP3's first frame) before
// its sound counts as undecodable.
constexpr int kBadPacketsBeforeSound = 8;

// One file's sound as a stream of output samples (the mix's rate and layout) at the
// file's own times: sample n is at n / rate seconds after the container's start. Only
// the part being read is held: decoded frames at most a frame or so ahead of the
// cursor. Silence before the sound starts, across holes in its timestamps and after
// its end; with `loop`, the sound plays again from its start when it ends.
class Source {
public:
    Source(const std::string& path, int rate, const AVChannelLayout& layout, bool loop)
        : path(path), rate(rate), loop(loop) {
        try {
            Check(av_channel_layout_copy(&outLayout, &layout), "set up the resampler for");
            Open();
        } catch (...) {
            Release(); // what a failure left half made
            throw;
        }
    }
    ~Source() { Release(); }
    Source(const Source&) = delete;
    Source& operator=(const Source&) = delete;

    // False for a file without a sound stream (a silent clip): Read gives silence.
    bool HasSound() const { return stream != nullptr; }

    // Decodes up to the first frame of sound (a JoinError when the stream cannot be
    // decoded); false when the stream holds none.
    bool Probe() { return HasSound() && NextFrame(); }

    // Starts reading at the own-time sample `at`: a seek to a little before it when
    // it lies well into the file.
    void Start(int64_t at) {
        cursor = at;
        const int64_t atUs = av_rescale(at, 1000000, rate);
        if (!HasSound() || atUs <= kSeekLeadUs) {
            return;
        }
        const int64_t target = av_rescale_q(atUs - kSeekLeadUs, AVRational{1, 1000000}, stream->time_base) + startPts;
        if (av_seek_frame(format, stream->index, target, AVSEEK_FLAG_BACKWARD) >= 0) {
            avcodec_flush_buffers(decoder);
            ResetPlacement();
            held = false;
            ended = false;
        }
        // A file that cannot seek is read from its start; what lies before `at` is dropped.
    }

    // The next `count` samples from the cursor on, interleaved, into `out`.
    void Read(float* out, int64_t count) {
        const int64_t end = cursor + count;
        Fill(end);
        const size_t channels = static_cast<size_t>(outLayout.nb_channels);
        std::fill_n(out, static_cast<size_t>(count) * channels, 0.0f);
        const int64_t from = std::max(cursor, bufStart);
        const int64_t to = std::min(end, BufEnd());
        if (from < to) {
            std::copy_n(buf.begin() + static_cast<ptrdiff_t>((from - bufStart) * channels),
                        static_cast<size_t>(to - from) * channels, out + static_cast<size_t>(from - cursor) * channels);
        }
        cursor = end;
        Trim();
    }

private:
    void Release() {
        swr_free(&resampler);
        av_channel_layout_uninit(&inLayout);
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&decoder);
        avformat_close_input(&format);
        av_channel_layout_uninit(&outLayout);
    }

    void Open() {
        int result = avformat_open_input(&format, path.c_str(), nullptr, nullptr);
        if (result < 0) {
            InputFailure("cannot read " + Quoted(path) + ": " + AvError(result));
        }
        Check(FindStreamInfo(format), "read the streams of");
        const AVCodec* codec = nullptr;
        result = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
        if (result == AVERROR_STREAM_NOT_FOUND) {
            return;
        }
        if (result == AVERROR_DECODER_NOT_FOUND) {
            const int index = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
            const char* name = index >= 0 ? avcodec_get_name(format->streams[index]->codecpar->codec_id) : "?";
            InputFailure("cannot decode the sound of " + Quoted(path) + ": this FFmpeg has no " + name + " decoder");
        }
        Check(result, "find the sound of");
        stream = format->streams[result];
        for (unsigned i = 0; i < format->nb_streams; ++i) {
            format->streams[i]->discard = static_cast<int>(i) == stream->index ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
        }
        decoder = avcodec_alloc_context3(codec);
        frame = av_frame_alloc();
        packet = av_packet_alloc();
        if (decoder == nullptr || frame == nullptr || packet == nullptr) {
            throw std::bad_alloc();
        }
        Check(avcodec_parameters_to_context(decoder, stream->codecpar), "decode the sound of");
        decoder->pkt_timebase = stream->time_base;
        Check(avcodec_open2(decoder, codec, nullptr), "decode the sound of");
        // The input's own time 0: the container's start, which its pictures share.
        startPts = format->start_time == AV_NOPTS_VALUE
                       ? 0
                       : Bounded(av_rescale_q(Bounded(format->start_time), AV_TIME_BASE_Q, stream->time_base));
    }

    void Check(int result, const std::string& what) const {
        if (result < 0) {
            InputFailure("cannot " + what + " " + Quoted(path) + ": " + AvError(result));
        }
    }

    int64_t BufEnd() const { return bufStart + static_cast<int64_t>(buf.size()) / outLayout.nb_channels; }

    // Drops what lies before the cursor.
    void Trim() {
        if (bufStart >= cursor) {
            return;
        }
        const int64_t drop = std::min(cursor, BufEnd()) - bufStart;
        buf.erase(buf.begin(), buf.begin() + static_cast<ptrdiff_t>(drop * outLayout.nb_channels));
        bufStart += drop; // still where the next sample goes when all went
    }

    // Appends silence up to `position` (an own-time sample).
    void PadTo(int64_t position) {
        if (position > BufEnd()) {
            buf.resize(buf.size() + static_cast<size_t>((position - BufEnd()) * outLayout.nb_channels), 0.0f);
        }
    }

    // Decodes until the buffer reaches `end`, or the sound ends.
    void Fill(int64_t end) {
        while (HasSound() && BufEnd() < end && !ended) {
            if (!held && !NextFrame()) {
                // The end of the file: what the resampler still holds, then the start
                // again for a loop.
                Flush();
                if (!loop || !decodedThisPass) {
                    ended = true;
                    break;
                }
                Check(av_seek_frame(format, stream->index, startPts, AVSEEK_FLAG_BACKWARD), "go back to the start of");
                avcodec_flush_buffers(decoder);
                loopBase = BufEnd();
                decodedThisPass = false;
                draining = false;
                continue;
            }
            // Where the frame's first sample belongs, in output samples of own time.
            const int64_t expected = placed ? placeBase + av_rescale(fedIn, rate, inRate) : BufEnd();
            int64_t at = expected;
            if (frame->pts != AV_NOPTS_VALUE) {
                at = loopBase +
                     Bounded(av_rescale_q(Bounded(frame->pts) - startPts, stream->time_base, AVRational{1, rate}));
            }
            const bool reformat = !placed || frame->sample_rate != inRate || frame->format != inFormat ||
                                  av_channel_layout_compare(&frame->ch_layout, &inLayout) != 0;
            if (!reformat && at - expected < rate * kGapToleranceMs / 1000) {
                Feed();
                continue;
            }
            // The first frame, a hole in the sound (20 ms or more) or another format:
            // what is in the resampler goes out first, then silence up to the frame.
            // An overlap of timestamps plays on where the sound is.
            Flush();
            if (buf.empty()) {
                bufStart = at;
            } else {
                PadTo(std::min(at, end));
                if (BufEnd() < at) {
                    break; // the frame waits for the silence to reach it
                }
            }
            Configure();
            placeBase = BufEnd();
            placed = true;
            Feed();
        }
        Trim();
    }

    // The next decoded frame into `frame`, held until fed; false at the end.
    bool NextFrame() {
        for (;;) {
            int result = avcodec_receive_frame(decoder, frame);
            if (result >= 0) {
                held = true;
                decodedThisPass = true;
                decodedAny = true;
                return true;
            }
            if (result == AVERROR_EOF) {
                return false;
            }
            if (result != AVERROR(EAGAIN) && !Tolerated(result)) {
                DecodeFailure(result);
            }
            if (draining) {
                return false;
            }
            result = av_read_frame(format, packet);
            if (result == AVERROR_EOF) {
                draining = true;
                avcodec_send_packet(decoder, nullptr);
                continue;
            }
            if (result < 0) {
                InputFailure("cannot read " + Quoted(path) + " past " + TimeOfCursor() + ": " + AvError(result));
            }
            if (packet->stream_index == stream->index) {
                result = avcodec_send_packet(decoder, packet);
                av_packet_unref(packet);
                if (result < 0 && !Tolerated(result)) {
                    DecodeFailure(result);
                }
            } else {
                av_packet_unref(packet);
            }
        }
    }

    // A damaged packet amid good ones is a short hole of silence, as players make it;
    // so are a few at the start (junk before an MP3's first frame).
    bool Tolerated(int result) {
        return result == AVERROR_INVALIDDATA && (decodedAny || ++badPackets < kBadPacketsBeforeSound);
    }

    [[noreturn]] void DecodeFailure(int result) const {
        InputFailure("cannot decode the sound of " + Quoted(path) + (decodedAny ? " at " + TimeOfCursor() : "") + ": " +
                     AvError(result));
    }

    std::string TimeOfCursor() const {
        const int64_t ms = av_rescale(std::max<int64_t>(cursor, 0), 1000, rate);
        return std::to_string(ms / 1000) + "." + std::to_string(ms % 1000 / 100) + " s";
    }

    void ResetPlacement() {
        placed = false;
        fedIn = 0;
        draining = false;
    }

    // A resampler for the held frame's format.
    void Configure() {
        swr_free(&resampler);
        av_channel_layout_uninit(&inLayout);
        if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
            av_channel_layout_default(&inLayout, frame->ch_layout.nb_channels);
        } else {
            Check(av_channel_layout_copy(&inLayout, &frame->ch_layout), "resample the sound of");
        }
        inRate = frame->sample_rate;
        inFormat = frame->format;
        if (inRate <= 0 || inLayout.nb_channels <= 0) {
            InputFailure("cannot decode the sound of " + Quoted(path) + ": no sample rate or channels");
        }
        Check(swr_alloc_set_opts2(&resampler, &outLayout, AV_SAMPLE_FMT_FLT, rate, &inLayout,
                                  static_cast<AVSampleFormat>(inFormat), inRate, 0, nullptr),
              "resample the sound of");
        if (inLayout.nb_channels == 1 && outLayout.nb_channels == 2) {
            // Mono on both sides at its own level, as a mono recording is heard.
            const double both[2] = {1.0, 1.0};
            Check(swr_set_matrix(resampler, both, 1), "resample the sound of");
        }
        Check(swr_init(resampler), "resample the sound of");
        fedIn = 0;
    }

    // The held frame through the resampler onto the buffer.
    void Feed() {
        Convert(const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
        fedIn += frame->nb_samples;
        av_frame_unref(frame);
        held = false;
    }

    void Flush() {
        if (resampler != nullptr) {
            Convert(nullptr, 0);
            swr_free(&resampler);
            av_channel_layout_uninit(&inLayout);
        }
        placed = false;
    }

    void Convert(const uint8_t** in, int inCount) {
        const int room = swr_get_out_samples(resampler, inCount);
        Check(room, "resample the sound of");
        const size_t channels = static_cast<size_t>(outLayout.nb_channels);
        const size_t old = buf.size();
        buf.resize(old + static_cast<size_t>(room) * channels);
        uint8_t* out = reinterpret_cast<uint8_t*>(buf.data() + old);
        const int made = swr_convert(resampler, &out, room, in, inCount);
        if (made < 0) {
            buf.resize(old);
            Check(made, "resample the sound of");
        }
        buf.resize(old + static_cast<size_t>(made) * channels);
        Trim();
    }

    std::string path;
    int rate;
    bool loop;
    AVChannelLayout outLayout{};
    AVFormatContext* format = nullptr;
    AVStream* stream = nullptr;
    AVCodecContext* decoder = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    SwrContext* resampler = nullptr;
    AVChannelLayout inLayout{};
    int inRate = 0;
    int inFormat = -1;
    int64_t startPts = 0;

    bool held = false;     // `frame` holds a decoded frame not yet fed
    bool draining = false; // the demuxer ended; the decoder gives what it still has
    bool ended = false;
    bool decodedThisPass = false;
    bool decodedAny = false;
    int badPackets = 0;     // undecodable packets before the first frame
    bool placed = false;    // the resampler runs from placeBase on
    int64_t placeBase = 0;  // own-time sample of the resampler's first output
    int64_t fedIn = 0;      // input samples fed since then
    int64_t loopBase = 0;   // own-time sample where the current pass began
    int64_t cursor = 0;     // the next sample Read gives
    int64_t bufStart = 0;   // own-time sample of buf's first
    std::vector<float> buf; // interleaved output samples from bufStart on
};

// The gain of a sound fading in (`in`) or out over a cut, at x in [0, 1) of it.
float FadeGain(AudioFade fade, double x, bool in) {
    const double t = in ? x : 1.0 - x;
    switch (fade) {
    case AudioFade::Linear:
        return static_cast<float>(t);
    case AudioFade::OutIn:
        return static_cast<float>(std::max(0.0, 2.0 * t - 1.0));
    case AudioFade::EqualPower:
        break;
    }
    return static_cast<float>(std::sin(t * std::numbers::pi / 2.0));
}

} // namespace

// One input on the output, in output samples.
struct Lane {
    std::string path;
    int64_t inSample = 0;           // own-time sample heard at `start`
    int64_t start = 0;              // first sample heard
    int64_t end = 0;                // past the last
    int64_t fadeInEnd = 0;          // it fades in over [start, fadeInEnd)
    int64_t fadeOutStart = 0;       // and out over [fadeOutStart, end)
    bool silent = false;            // a picture, or a clip without sound
    std::unique_ptr<Source> source; // open while Read is within [start, end)
};

struct AudioMix::State {
    AudioOptions options;
    AVChannelLayout layout{};
    int64_t total = 0;
    int64_t position = 0;
    std::vector<Lane> lanes;
    bool inputsHeard = true;
    std::unique_ptr<Source> music;
    std::vector<float> scratch;

    ~State() { av_channel_layout_uninit(&layout); }

    void AddLane(Lane& lane, int64_t from, int64_t to, float* out) {
        if (!lane.source) {
            lane.source = std::make_unique<Source>(lane.path, options.sampleRate, layout, false);
            lane.source->Start(lane.inSample + (from - lane.start));
        }
        const size_t channels = static_cast<size_t>(options.channels);
        scratch.resize(static_cast<size_t>(to - from) * channels);
        lane.source->Read(scratch.data(), to - from);
        for (int64_t s = from; s < to; ++s) {
            float gain = 1.0f;
            if (s < lane.fadeInEnd) {
                gain =
                    FadeGain(options.fade, static_cast<double>(s - lane.start) / (lane.fadeInEnd - lane.start), true);
            } else if (s >= lane.fadeOutStart) {
                gain = FadeGain(options.fade,
                                static_cast<double>(s - lane.fadeOutStart) / (lane.end - lane.fadeOutStart), false);
            }
            const size_t at = static_cast<size_t>(s - from) * channels;
            for (size_t c = 0; c < channels; ++c) {
                out[at + c] += gain * scratch[at + c];
            }
        }
        if (to == lane.end) {
            lane.source.reset();
        }
    }

    void AddMusic(int64_t from, int64_t to, float* out) {
        const size_t channels = static_cast<size_t>(options.channels);
        scratch.resize(static_cast<size_t>(to - from) * channels);
        music->Read(scratch.data(), to - from);
        const float level = inputsHeard ? options.musicLevel : 1.0f;
        const int64_t fade = std::min(total, av_rescale(options.musicFadeMs, options.sampleRate, 1000));
        for (int64_t s = from; s < to; ++s) {
            const float gain =
                total - s < fade ? level * static_cast<float>(total - s) / static_cast<float>(fade) : level;
            const size_t at = static_cast<size_t>(s - from) * channels;
            for (size_t c = 0; c < channels; ++c) {
                out[at + c] += gain * scratch[at + c];
            }
        }
    }
};

AudioMix::AudioMix(const Timeline& timeline, const std::vector<AudioInput>& inputs, const AudioOptions& options)
    : state(std::make_unique<State>()) {
    if (inputs.size() != timeline.segments.size() || timeline.rate.num == 0 || timeline.rate.den == 0) {
        throw std::invalid_argument("AudioMix: one input for each of the timeline's segments");
    }
    if (options.channels != 1 && options.channels != 2) {
        UsageFailure("the sound can have 1 or 2 channels, not " + std::to_string(options.channels));
    }
    if (options.sampleRate < 8000 || options.sampleRate > 192000) {
        UsageFailure("the sound's rate must be 8000 to 192000 samples a second, not " +
                     std::to_string(options.sampleRate));
    }
    State& s = *state;
    s.options = options;
    av_channel_layout_default(&s.layout, options.channels);
    const FrameRate rate = timeline.rate;
    // Output frame f starts at sample f x sampleRate x den / num, rounded: exact for
    // every frame, however long the video.
    auto sampleOf = [&](int64_t frame) { return av_rescale(frame, int64_t{options.sampleRate} * rate.den, rate.num); };
    s.total = sampleOf(timeline.totalFrames);
    s.inputsHeard = options.music.empty() || options.mixMusic;

    for (size_t i = 0; i < inputs.size(); ++i) {
        const Segment& segment = timeline.segments[i];
        Lane lane;
        lane.path = inputs[i].path;
        lane.start = sampleOf(segment.firstFrame);
        lane.end = sampleOf(segment.firstFrame + segment.frames);
        lane.inSample = av_rescale(inputs[i].inUs, options.sampleRate, 1000000);
        lane.fadeInEnd = i > 0 ? sampleOf(timeline.cuts[i - 1].firstFrame + timeline.cuts[i - 1].frames) : lane.start;
        lane.fadeOutStart = i + 1 < inputs.size() ? sampleOf(timeline.cuts[i].firstFrame) : lane.end;
        lane.silent = lane.path.empty() || !s.inputsHeard;
        if (!lane.silent) {
            // Checked now, so that a bad file stops the join before its first frame;
            // closed again, so that only the inputs being heard hold a decoder.
            Source probe(lane.path, options.sampleRate, s.layout, false);
            lane.silent = !probe.Probe();
        }
        s.lanes.push_back(std::move(lane));
    }
    if (!options.music.empty()) {
        s.music = std::make_unique<Source>(options.music, options.sampleRate, s.layout, true);
        // Its first frame waits for the first Read.
        if (!s.music->Probe()) {
            InputFailure("the music " + Quoted(options.music) + " has no sound");
        }
    }
}

AudioMix::~AudioMix() = default;

int AudioMix::SampleRate() const { return state->options.sampleRate; }
int AudioMix::Channels() const { return state->options.channels; }
int64_t AudioMix::TotalSamples() const { return state->total; }

void AudioMix::Read(float* out, size_t count) {
    State& s = *state;
    const size_t channels = static_cast<size_t>(s.options.channels);
    std::fill_n(out, count * channels, 0.0f);
    const int64_t from = s.position;
    const int64_t to = from + static_cast<int64_t>(count);
    s.position = to;
    for (Lane& lane : s.lanes) {
        const int64_t lo = std::max(from, lane.start);
        const int64_t hi = std::min(to, lane.end);
        if (!lane.silent && lo < hi) {
            s.AddLane(lane, lo, hi, out + static_cast<size_t>(lo - from) * channels);
        }
    }
    if (s.music && from < s.total) {
        s.AddMusic(from, std::min(to, s.total), out);
    }
    for (size_t i = 0; i < count * channels; ++i) {
        out[i] = std::clamp(out[i], -1.0f, 1.0f);
    }
}

} // namespace wqtrans::join
