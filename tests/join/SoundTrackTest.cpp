// The tool's video encoder with a sound track: a join's mix written with its frames,
// read back with FFmpeg's libraries: the container's codecs, sound as long as the
// pictures, and a beep heard when it was laid, the encoder's priming skipped.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/mathematics.h>
}

#include "join/AudioMix.h"
#include "join/TestMedia.h"
#include "tools/Encoders.h"

namespace wqtrans::tool {
namespace {

using join::FrameRate;
using jointest::Ffmpeg;
using jointest::Scratch;

class FileOutput final : public OutputFile {
public:
    explicit FileOutput(const std::string& path) : path(path), file(std::fopen(path.c_str(), "wb")) {}
    ~FileOutput() override { Close(); }
    void Close() {
        if (file != nullptr) {
            std::fclose(file);
            file = nullptr;
        }
    }
    void Write(const uint8_t* data, size_t size) override {
        if (std::fwrite(data, 1, size, file) != size) {
            IoError("cannot write " + Target());
        }
    }
    int64_t Seek(int64_t offset, int whence) override {
        if (fseeko(file, offset, whence) != 0) {
            IoError("cannot seek in " + Target());
        }
        return ftello(file);
    }
    std::string Target() const override { return "\"" + path + "\""; }

private:
    std::string path;
    FILE* file;
};

struct Stream {
    std::string codec;
    double start = 0; // s
    double end = 0;   // s
    double beep = -1; // audio: the first sample above 0.1, in s
};

// The video's last frame's end and the sound's decoded samples, in seconds on the
// container's clock.
std::vector<Stream> ReadBack(const std::string& path) {
    std::vector<Stream> streams;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) {
        ADD_FAILURE() << "libavformat cannot open " << path;
        return streams;
    }
    EXPECT_GE(avformat_find_stream_info(format, nullptr), 0);
    std::vector<AVCodecContext*> decoders(format->nb_streams, nullptr);
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVCodecParameters* par = format->streams[i]->codecpar;
        streams.push_back({avcodec_get_name(par->codec_id), 1e9, -1e9, -1});
        if (par->codec_type == AVMEDIA_TYPE_AUDIO) {
            const AVCodec* codec = avcodec_find_decoder(par->codec_id);
            decoders[i] = avcodec_alloc_context3(codec);
            avcodec_parameters_to_context(decoders[i], par);
            decoders[i]->pkt_timebase = format->streams[i]->time_base;
            EXPECT_GE(avcodec_open2(decoders[i], codec, nullptr), 0);
        }
    }
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    auto takeFrames = [&](unsigned index) {
        const AVRational base = format->streams[index]->time_base;
        while (avcodec_receive_frame(decoders[index], frame) >= 0) {
            Stream& s = streams[index];
            const double at = static_cast<double>(frame->best_effort_timestamp) * av_q2d(base);
            s.start = std::min(s.start, at);
            s.end = std::max(s.end, at + static_cast<double>(frame->nb_samples) / frame->sample_rate);
            // The first channel, of planar or interleaved floats.
            const auto* samples = reinterpret_cast<const float*>(frame->extended_data[0]);
            const int stride = frame->format == AV_SAMPLE_FMT_FLT ? frame->ch_layout.nb_channels : 1;
            EXPECT_TRUE(frame->format == AV_SAMPLE_FMT_FLT || frame->format == AV_SAMPLE_FMT_FLTP);
            for (int i = 0; i < frame->nb_samples && s.beep < 0; ++i) {
                if (std::fabs(samples[i * stride]) > 0.1f) {
                    s.beep = at + static_cast<double>(i) / frame->sample_rate;
                }
            }
            av_frame_unref(frame);
        }
    };
    while (av_read_frame(format, packet) >= 0) {
        const unsigned index = static_cast<unsigned>(packet->stream_index);
        if (decoders[index] != nullptr) {
            avcodec_send_packet(decoders[index], packet);
            takeFrames(index);
        } else {
            const AVRational base = format->streams[index]->time_base;
            streams[index].start = std::min(streams[index].start, static_cast<double>(packet->pts) * av_q2d(base));
            streams[index].end =
                std::max(streams[index].end, static_cast<double>(packet->pts + packet->duration) * av_q2d(base));
        }
        av_packet_unref(packet);
    }
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        if (decoders[i] != nullptr) {
            avcodec_send_packet(decoders[i], nullptr);
            takeFrames(i);
            avcodec_free_context(&decoders[i]);
        }
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avformat_close_input(&format);
    return streams;
}

// 60 frames at 30000/1001 fps (2.002 s) with the mix of one clip whose sound is a
// beep from 1 s to 1.5 s, handed to the encoder frame by frame as a join does.
TEST(SoundTrack, WrittenWithThePicturesInSyncInMp4AndWebm) {
    WQ_REQUIRE_FFMPEG();
    Scratch dir;
    const std::string beep = dir / "beep.wav";
    Ffmpeg("-f lavfi -i 'aevalsrc=0.5*sin(2*PI*1000*t)*between(t\\,1\\,1.5):s=44100:d=2.5' -c:a pcm_s16le", beep);
    const FrameRate rate{30000, 1001};
    const join::Timeline timeline = join::PlanTimeline({2002000}, {}, rate);
    ASSERT_EQ(timeline.totalFrames, 60);
    const double frame = 1001.0 / 30000.0;

    struct Case {
        const char* container;
        const char* file;
        const char* video;
        const char* audio;
    };
    const Case cases[] = {
        {"mp4", "out.mp4", "h264", "aac"}, {"webm", "out.webm", "vp9", "opus"}, {"matroska", "out.mkv", "h264", "aac"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        join::AudioMix mix(timeline, {{beep}}, {});
        const std::string path = dir / c.file;
        {
            FileOutput out(path);
            EncodeSettings settings;
            settings.fps = rate.num;
            settings.fpsDen = rate.den;
            settings.audioRate = mix.SampleRate();
            settings.audioChannels = mix.Channels();
            auto encoder = OpenVideoEncoder(out, c.container, 64, 48, settings);
            Picture picture(64, 48);
            std::vector<float> samples;
            int64_t sample = 0;
            for (int64_t i = 0; i < timeline.totalFrames; ++i) {
                const int64_t next = av_rescale(i + 1, int64_t{48000} * rate.den, rate.num);
                samples.resize(static_cast<size_t>(next - sample) * 2);
                mix.Read(samples.data(), static_cast<size_t>(next - sample));
                encoder->AddAudio(samples.data(), static_cast<size_t>(next - sample));
                sample = next;
                encoder->Add(picture, static_cast<uint32_t>(join::FrameTimeMs(i, rate)));
            }
            encoder->Finish(static_cast<uint32_t>(join::FrameTimeMs(timeline.totalFrames, rate)));
            ASSERT_EQ(sample, mix.TotalSamples());
        }
        const std::vector<Stream> streams = ReadBack(path);
        ASSERT_EQ(streams.size(), 2u);
        EXPECT_EQ(streams[0].codec, c.video);
        EXPECT_EQ(streams[1].codec, c.audio);
        const Stream& video = streams[0];
        const Stream& audio = streams[1];
        EXPECT_NEAR(video.end - video.start, 60 * frame, 1e-3);
        EXPECT_NEAR(audio.start, video.start, frame);
        EXPECT_NEAR(audio.end, video.end, frame);
        // Within 3 ms: the encoders' priming (AAC's 21 ms, Opus' 6.5 ms) is skipped.
        EXPECT_NEAR(audio.beep - video.start, 1.0, 0.003);
    }
}

TEST(SoundTrack, RateTheCodecCannotTakeIsRefused) {
    Scratch dir;
    FileOutput out(dir / "out.webm");
    EncodeSettings settings;
    settings.audioRate = 44100;
    settings.audioChannels = 2;
    try {
        OpenVideoEncoder(out, "webm", 64, 48, settings);
        ADD_FAILURE() << "no error";
    } catch (const ToolError& e) {
        EXPECT_EQ(e.status, kExitUsage);
        EXPECT_NE(std::string(e.what()).find("Opus cannot take sound of 44100 samples a second"), std::string::npos)
            << e.what();
    }
}

} // namespace
} // namespace wqtrans::tool
