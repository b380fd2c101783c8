// Video through FFmpeg's libraries: libswscale turns the frames into the encoder's
// pixel format, libavcodec encodes them and libavformat muxes them into the output
// file through our own I/O callbacks, so that every write error reaches us.
//
// Timing: the encoder's time base is the frame rate's inverse and frame i has pts i, so
// frame i is shown at exactly i x 1000 x fpsDen / fps ms; the muxer's time base is
// whatever the container keeps and packets are rescaled to it. A frame that is shown
// longer (a hold, or the last frame of a run whose duration is not a whole number of
// frames) is repeated at the frame rate, so that the video has a constant frame rate.
//
// Sound (EncodeSettings::audioRate > 0): a second stream, AAC (FFmpeg's own encoder) in
// MP4, MOV and Matroska, Opus (libopus) in WebM. AddAudio queues the samples and encodes
// whole codec frames; sample n has pts n in a time base of 1 / rate, so the sound's
// first sample plays with the first frame. The encoder's priming (AAC's 1024 samples)
// comes out as packets before 0, which MP4's edit list skips (Matroska shifts every
// stream by it instead); Opus' pre-skip is Matroska's codec delay (see OpenAudio).
// Finish encodes what is left as a short last frame, or padded with silence where the
// codec takes whole frames only.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "tools/Encoders.h"

namespace wqtrans::tool {

namespace {

// The last error or warning the libraries logged: a library error message often says
// less than its log line (x264's "broken ffmpeg default settings", a muxer's reason).
std::mutex logMutex;
std::string lastLogLine;

void KeepLogLine(void*, int level, const char* format, va_list args) {
    if (level > AV_LOG_WARNING) {
        return;
    }
    char line[512];
    std::vsnprintf(line, sizeof line, format, args);
    std::string text = line;
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
        text.pop_back();
    }
    const std::lock_guard<std::mutex> lock(logMutex);
    lastLogLine = text;
}

std::string TakeLogLine() {
    const std::lock_guard<std::mutex> lock(logMutex);
    std::string line;
    line.swap(lastLogLine);
    return line;
}

std::string AvError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

std::string MuxerFileName(const std::string& container) { return container == "matroska" ? "mkv" : container; }

// The quality scale 0..100 onto a codec's CRF range (0 best): --quality 65, the
// default, is CRF 18 for H.264 and H.265, "visually lossless", and 22 for VP9 and
// AV1 (whose scale runs to 63).
int Crf(int quality, int maxCrf) { return static_cast<int>(std::lround(maxCrf * (100 - quality) / 100.0)); }

class VideoEncoder final : public FrameEncoder {
public:
    VideoEncoder(OutputFile& file, int32_t width, int32_t height, uint32_t fps, uint32_t fpsDen)
        : file(file), width(width), height(height), fps(static_cast<int>(fps)),
          fpsDen(static_cast<int>(std::max(fpsDen, 1u))) {}

    // Separate from the constructor so that the destructor frees what a failure
    // leaves half made.
    void Open(const std::string& container, const EncodeSettings& settings) {
        av_log_set_callback(KeepLogLine);
        TakeLogLine();
        const AVOutputFormat* format = av_guess_format(container.c_str(), nullptr, nullptr);
        if (format == nullptr) {
            IoError("this FFmpeg has no " + container + " muxer");
        }
        const std::vector<std::string> codecs = VideoCodecsFor(container);
        if (codecs.empty()) {
            IoError("this FFmpeg has no video encoder for ." + MuxerFileName(container));
        }
        const std::string codecName = settings.codec.empty() ? codecs.front() : settings.codec;
        const AVCodec* codec = avcodec_find_encoder_by_name(codecName.c_str());
        if (codec == nullptr || codec->type != AVMEDIA_TYPE_VIDEO ||
            avformat_query_codec(format, codec->id, FF_COMPLIANCE_NORMAL) != 1) {
            std::string choices;
            for (const std::string& name : codecs) {
                choices += (choices.empty() ? "" : ", ") + name;
            }
            UsageError("--codec \"" + codecName + "\" cannot be written to ." + MuxerFileName(container) +
                       "; choose one of: " + choices);
        }

        Check(avformat_alloc_output_context2(&muxer, format, nullptr, nullptr), "start the muxer");
        buffer = static_cast<uint8_t*>(av_malloc(kBufferSize));
        io = avio_alloc_context(buffer, kBufferSize, 1, this, nullptr, &VideoEncoder::WritePacket,
                                &VideoEncoder::SeekPacket);
        if (buffer == nullptr || io == nullptr) {
            throw std::bad_alloc();
        }
        buffer = nullptr; // io owns it now
        muxer->pb = io;
        muxer->flags |= AVFMT_FLAG_CUSTOM_IO;

        stream = avformat_new_stream(muxer, nullptr);
        context = avcodec_alloc_context3(codec);
        if (stream == nullptr || context == nullptr) {
            throw std::bad_alloc();
        }
        // 4:2:0 needs even sizes: an odd one gets a black column or row.
        encodedWidth = (width + 1) & ~1;
        encodedHeight = (height + 1) & ~1;
        context->width = encodedWidth;
        context->height = encodedHeight;
        context->time_base = AVRational{fpsDen, fps};
        context->framerate = AVRational{fps, fpsDen};
        context->pix_fmt = PixelFormatFor(codec);
        // As many threads as the encoder finds cores (libavcodec's default is one).
        context->thread_count = 0;
        context->gop_size = std::max(fps * 2 / fpsDen, 12);
        context->color_range = AVCOL_RANGE_MPEG;
        context->colorspace = AVCOL_SPC_BT709;
        context->color_primaries = AVCOL_PRI_BT709;
        context->color_trc = AVCOL_TRC_BT709;
        if (muxer->oformat->flags & AVFMT_GLOBALHEADER) {
            context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        }
        const int quality = settings.quality.value_or(kDefaultVideoQuality);
        if (av_opt_find(context->priv_data, "crf", nullptr, 0, 0) != nullptr) {
            const bool scale63 =
                codec->id == AV_CODEC_ID_VP8 || codec->id == AV_CODEC_ID_VP9 || codec->id == AV_CODEC_ID_AV1;
            av_opt_set_double(context->priv_data, "crf", Crf(quality, scale63 ? 63 : 51), 0);
            context->bit_rate = 0; // constant quality, no bit rate cap (libvpx's "b:v 0")
        } else {
            // Encoders without CRF take a fixed quantizer, 2 (best) to 31.
            context->flags |= AV_CODEC_FLAG_QSCALE;
            context->global_quality = FF_QP2LAMBDA * (2 + (100 - quality) * 29 / 100);
        }
        if (codecName == "libvpx-vp9" || codecName == "libvpx") {
            // libvpx's own default (cpu-used 0 or 1) is many times slower for a sliver of size.
            av_opt_set_int(context->priv_data, "cpu-used", 4, 0);
            av_opt_set_int(context->priv_data, "row-mt", 1, 0);
        }
        if (codecName == "libx265") {
            // x265 writes its own banner to stderr, past libavutil's log.
            av_opt_set(context->priv_data, "x265-params", "log-level=error", 0);
        }
        Check(avcodec_open2(context, codec, nullptr), "open the " + codecName + " encoder");
        Check(avcodec_parameters_from_context(stream->codecpar, context), "set up the stream");
        stream->time_base = context->time_base;
        stream->avg_frame_rate = context->framerate;
        if (settings.audioRate > 0) {
            OpenAudio(container, settings);
        }
        Check(avformat_write_header(muxer, nullptr), "write the " + MuxerFileName(container) + " header");

        frame = av_frame_alloc();
        packet = av_packet_alloc();
        if (frame == nullptr || packet == nullptr) {
            throw std::bad_alloc();
        }
        frame->format = context->pix_fmt;
        frame->width = encodedWidth;
        frame->height = encodedHeight;
        frame->color_range = context->color_range;
        frame->colorspace = context->colorspace;
        frame->color_primaries = context->color_primaries;
        frame->color_trc = context->color_trc;
        Check(av_frame_get_buffer(frame, 0), "allocate a frame");
        scaler = sws_getContext(encodedWidth, encodedHeight, AV_PIX_FMT_BGRA, encodedWidth, encodedHeight,
                                context->pix_fmt, SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr, nullptr);
        if (scaler == nullptr) {
            IoError("libswscale cannot convert frames to " + std::string(av_get_pix_fmt_name(context->pix_fmt)));
        }
        sws_setColorspaceDetails(scaler, sws_getCoefficients(SWS_CS_DEFAULT), 1, sws_getCoefficients(SWS_CS_ITU709), 0,
                                 0, 1 << 16, 1 << 16);
        if (encodedWidth != width || encodedHeight != height) {
            padded.assign(static_cast<size_t>(encodedWidth) * static_cast<size_t>(encodedHeight), 0xFF000000u);
        }
    }

    ~VideoEncoder() override {
        av_audio_fifo_free(audioFifo);
        av_frame_free(&audioFrame);
        avcodec_free_context(&audioContext);
        sws_freeContext(scaler);
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&context);
        if (muxer != nullptr) {
            avformat_free_context(muxer);
        }
        if (io != nullptr) {
            av_freep(&io->buffer);
            avio_context_free(&io);
        }
        av_free(buffer);
    }

    void Add(Picture& picture, uint32_t timeMs) override {
        const int64_t pts = PtsOf(timeMs);
        if (haveFrame) {
            RepeatUntil(pts);
        }
        Check(av_frame_make_writable(frame), "allocate a frame");
        const uint8_t* source = reinterpret_cast<const uint8_t*>(picture.Pixels());
        if (!padded.empty()) {
            for (int32_t y = 0; y < height; ++y) {
                std::copy_n(picture.Pixels() + static_cast<size_t>(y) * static_cast<size_t>(width), width,
                            padded.begin() + static_cast<ptrdiff_t>(y) * encodedWidth);
            }
            source = reinterpret_cast<const uint8_t*>(padded.data());
        }
        const uint8_t* planes[1] = {source};
        const int strides[1] = {encodedWidth * 4};
        sws_scale(scaler, planes, strides, 0, encodedHeight, frame->data, frame->linesize);
        Send(std::max(pts, nextPts));
        haveFrame = true;
    }

    bool AddDecoded(const AVFrame* decoded, uint32_t timeMs) override {
        if (decoded->format != frame->format || decoded->width != encodedWidth || decoded->height != encodedHeight) {
            return false;
        }
        const int64_t pts = PtsOf(timeMs);
        if (haveFrame) {
            RepeatUntil(pts);
        }
        Check(av_frame_make_writable(frame), "allocate a frame");
        Check(av_frame_copy(frame, decoded), "copy a frame");
        Send(std::max(pts, nextPts));
        haveFrame = true;
        return true;
    }

    size_t Pending() const override { return framesIn - framesOut; }

    void AddAudio(const float* samples, size_t count) override {
        if (audioContext == nullptr) {
            FrameEncoder::AddAudio(samples, count);
        }
        const size_t channels = static_cast<size_t>(audioContext->ch_layout.nb_channels);
        while (count > 0) {
            const size_t piece = std::min<size_t>(count, kAudioPiece);
            if (audioContext->sample_fmt == AV_SAMPLE_FMT_FLTP) {
                // One plane a channel, as FFmpeg's AAC encoder takes them.
                planar.resize(piece * channels);
                void* planes[AV_NUM_DATA_POINTERS] = {};
                for (size_t c = 0; c < channels; ++c) {
                    float* plane = planar.data() + c * piece;
                    for (size_t i = 0; i < piece; ++i) {
                        plane[i] = samples[i * channels + c];
                    }
                    planes[c] = plane;
                }
                WriteFifo(planes, piece);
            } else {
                void* planes[1] = {const_cast<float*>(samples)};
                WriteFifo(planes, piece);
            }
            samples += piece * channels;
            count -= piece;
            while (av_audio_fifo_size(audioFifo) >= audioContext->frame_size) {
                SendAudio(audioContext->frame_size);
            }
        }
    }

    void Finish(uint32_t endMs) override {
        if (haveFrame) {
            RepeatUntil(PtsOf(endMs));
        }
        Check(avcodec_send_frame(context, nullptr), "finish encoding");
        Drain();
        if (audioContext != nullptr) {
            if (const int rest = av_audio_fifo_size(audioFifo); rest > 0) {
                SendAudio(rest);
            }
            Check(avcodec_send_frame(audioContext, nullptr), "finish encoding the sound");
            DrainAudio();
        }
        Check(av_write_trailer(muxer), "write the trailer");
        avio_flush(io);
        Check(io->error, "write the trailer");
    }

private:
    static constexpr int kBufferSize = 1 << 16;
    static constexpr size_t kAudioPiece = 4096; // samples a channel queued at a time

    void OpenAudio(const std::string& container, const EncodeSettings& settings) {
        const bool opus = container == "webm";
        const char* codecName = opus ? "libopus" : "aac";
        const AVCodec* codec = avcodec_find_encoder_by_name(codecName);
        if (codec == nullptr) {
            IoError(std::string("this FFmpeg has no ") + codecName + " encoder for the sound of ." +
                    MuxerFileName(container));
        }
        if (settings.audioChannels != 1 && settings.audioChannels != 2) {
            UsageError("a sound track has 1 or 2 channels, not " + std::to_string(settings.audioChannels));
        }
        if (codec->supported_samplerates != nullptr) {
            std::string rates;
            bool known = false;
            for (const int* rate = codec->supported_samplerates; *rate != 0; ++rate) {
                known = known || *rate == settings.audioRate;
                rates += (rates.empty() ? "" : ", ") + std::to_string(*rate);
            }
            if (!known) {
                UsageError(std::string(opus ? "Opus" : "AAC") + " cannot take sound of " +
                           std::to_string(settings.audioRate) + " samples a second; it takes " + rates);
            }
        }
        audioStream = avformat_new_stream(muxer, nullptr);
        audioContext = avcodec_alloc_context3(codec);
        audioFrame = av_frame_alloc();
        if (audioStream == nullptr || audioContext == nullptr || audioFrame == nullptr) {
            throw std::bad_alloc();
        }
        audioContext->sample_rate = settings.audioRate;
        av_channel_layout_default(&audioContext->ch_layout, settings.audioChannels);
        audioContext->sample_fmt = AV_SAMPLE_FMT_NONE;
        for (const AVSampleFormat* f = codec->sample_fmts; f != nullptr && *f != AV_SAMPLE_FMT_NONE; ++f) {
            if (*f == AV_SAMPLE_FMT_FLT || *f == AV_SAMPLE_FMT_FLTP) {
                audioContext->sample_fmt = *f;
                break;
            }
        }
        if (audioContext->sample_fmt == AV_SAMPLE_FMT_NONE) {
            IoError(std::string("the ") + codecName + " encoder takes no float samples");
        }
        // Transparent for most listeners: 96 kb/s a channel for AAC, 64 for Opus.
        audioContext->bit_rate = int64_t{opus ? 64000 : 96000} * settings.audioChannels;
        audioContext->time_base = AVRational{1, settings.audioRate};
        if (muxer->oformat->flags & AVFMT_GLOBALHEADER) {
            audioContext->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        }
        Check(avcodec_open2(audioContext, codec, nullptr), std::string("open the ") + codecName + " encoder");
        Check(avcodec_parameters_from_context(audioStream->codecpar, audioContext), "set up the sound stream");
        audioStream->time_base = audioContext->time_base;
        if (audioContext->frame_size <= 0) {
            audioContext->frame_size = 1024; // a codec that takes any length
        }
        if (opus) {
            // Matroska keeps no time below 0 and records Opus' pre-skip as the track's
            // codec delay, which demuxers subtract: counting the frames from the
            // pre-skip on puts the first heard sample at 0, with the first picture.
            // (Encoder pts from 0 would shift every stream, the video's too.)
            audioPts = audioContext->initial_padding;
        }
        audioFifo = av_audio_fifo_alloc(audioContext->sample_fmt, settings.audioChannels, audioContext->frame_size);
        if (audioFifo == nullptr) {
            throw std::bad_alloc();
        }
    }

    void WriteFifo(void** planes, size_t count) {
        if (av_audio_fifo_write(audioFifo, planes, static_cast<int>(count)) < static_cast<int>(count)) {
            throw std::bad_alloc();
        }
    }

    // The fifo's next `count` samples as one codec frame.
    void SendAudio(int count) {
        CheckInterrupted();
        av_frame_unref(audioFrame);
        audioFrame->nb_samples = count;
        audioFrame->format = audioContext->sample_fmt;
        audioFrame->sample_rate = audioContext->sample_rate;
        Check(av_channel_layout_copy(&audioFrame->ch_layout, &audioContext->ch_layout), "encode the sound");
        const bool shortLast = (audioContext->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME) != 0;
        if (count < audioContext->frame_size && !shortLast) {
            audioFrame->nb_samples = audioContext->frame_size; // the rest is silence
        }
        Check(av_frame_get_buffer(audioFrame, 0), "allocate a frame of sound");
        av_samples_set_silence(audioFrame->extended_data, 0, audioFrame->nb_samples, audioFrame->ch_layout.nb_channels,
                               audioContext->sample_fmt);
        if (av_audio_fifo_read(audioFifo, reinterpret_cast<void**>(audioFrame->extended_data), count) < count) {
            IoError("cannot encode the sound of " + file.Target() + ": its queue lost samples");
        }
        audioFrame->pts = audioPts;
        audioPts += audioFrame->nb_samples;
        Check(avcodec_send_frame(audioContext, audioFrame), "encode the sound");
        DrainAudio();
    }

    void DrainAudio() {
        for (;;) {
            const int received = avcodec_receive_packet(audioContext, packet);
            if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) {
                return;
            }
            Check(received, "encode the sound");
            av_packet_rescale_ts(packet, audioContext->time_base, audioStream->time_base);
            packet->stream_index = audioStream->index;
            Check(av_interleaved_write_frame(muxer, packet), "write the sound");
        }
    }

    static AVPixelFormat PixelFormatFor(const AVCodec* codec) {
        if (codec->pix_fmts == nullptr) {
            return AV_PIX_FMT_YUV420P;
        }
        for (const AVPixelFormat* f = codec->pix_fmts; *f != AV_PIX_FMT_NONE; ++f) {
            if (*f == AV_PIX_FMT_YUV420P) {
                return *f;
            }
        }
        return codec->pix_fmts[0];
    }

    // The frame at or after `timeMs`: i x 1000 x fpsDen / fps ms, which the run's times
    // truncate to whole ms, comes back to i.
    int64_t PtsOf(uint32_t timeMs) const { return std::llround(static_cast<double>(timeMs) * fps / (1000.0 * fpsDen)); }

    // Shows the frame held until just before `pts`.
    void RepeatUntil(int64_t pts) {
        while (nextPts < pts) {
            Send(nextPts);
        }
    }

    void Send(int64_t pts) {
        CheckInterrupted();
        frame->pts = pts;
        nextPts = pts + 1;
        Check(avcodec_send_frame(context, frame), "encode a frame");
        ++framesIn;
        Drain();
    }

    void Drain() {
        for (;;) {
            const int received = avcodec_receive_packet(context, packet);
            if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) {
                return;
            }
            Check(received, "encode a frame");
            packet->duration = 1;
            av_packet_rescale_ts(packet, context->time_base, stream->time_base);
            packet->stream_index = stream->index;
            Check(av_interleaved_write_frame(muxer, packet), "write a frame");
            ++framesOut;
            Written();
        }
    }

    // A failed call: the I/O callbacks' own error first, then the library's.
    void Check(int result, const std::string& what) {
        if (!writeError.empty()) {
            throw ToolError(writeStatus, writeError);
        }
        if (result >= 0) {
            return;
        }
        std::string detail = TakeLogLine();
        IoError("cannot " + what + " of " + file.Target() + ": " + AvError(result) +
                (detail.empty() ? "" : " (" + detail + ")"));
    }

    // The I/O callbacks run inside libavformat's C code: a ToolError stops there and
    // comes back through Check.
    static int WritePacket(void* opaque, uint8_t* data, int size) {
        auto* self = static_cast<VideoEncoder*>(opaque);
        try {
            self->file.Write(data, static_cast<size_t>(size));
            return size;
        } catch (const ToolError& e) {
            self->Keep(e);
        } catch (const std::bad_alloc&) {
            return AVERROR(ENOMEM);
        }
        return AVERROR(EIO);
    }
    static int64_t SeekPacket(void* opaque, int64_t offset, int whence) {
        auto* self = static_cast<VideoEncoder*>(opaque);
        if (whence == AVSEEK_SIZE) {
            return -1;
        }
        try {
            return self->file.Seek(offset, whence & ~AVSEEK_FORCE);
        } catch (const ToolError& e) {
            self->Keep(e);
        }
        return AVERROR(EIO);
    }
    void Keep(const ToolError& e) {
        if (writeError.empty()) {
            writeError = e.what();
            writeStatus = e.status;
        }
    }

    OutputFile& file;
    int32_t width;
    int32_t height;
    int fps;
    int fpsDen;
    int32_t encodedWidth = 0;
    int32_t encodedHeight = 0;
    std::vector<uint32_t> padded;
    uint8_t* buffer = nullptr;
    AVIOContext* io = nullptr;
    AVFormatContext* muxer = nullptr;
    AVStream* stream = nullptr;
    AVCodecContext* context = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    SwsContext* scaler = nullptr;
    bool haveFrame = false;
    int64_t nextPts = 0;
    size_t framesIn = 0;  // sent to the encoder, repeats of a held frame included
    size_t framesOut = 0; // its packets written
    std::string writeError;
    int writeStatus = kExitIo;
    // The sound track, when there is one.
    AVStream* audioStream = nullptr;
    AVCodecContext* audioContext = nullptr;
    AVFrame* audioFrame = nullptr;
    AVAudioFifo* audioFifo = nullptr;
    int64_t audioPts = 0;
    std::vector<float> planar;
};

} // namespace

void FrameEncoder::AddAudio(const float*, size_t) { UsageError("a sound track needs a video output"); }

std::vector<std::string> VideoCodecsFor(const std::string& container) {
    const AVOutputFormat* format = av_guess_format(container.c_str(), nullptr, nullptr);
    std::vector<std::string> names;
    if (format == nullptr) {
        return names;
    }
    // The container's usual codec first, when this FFmpeg has its encoder.
    const char* preferred = container == "webm" ? "libvpx-vp9" : "libx264";
    if (avcodec_find_encoder_by_name(preferred) != nullptr) {
        names.push_back(preferred);
    }
    void* state = nullptr;
    while (const AVCodec* codec = av_codec_iterate(&state)) {
        if (!av_codec_is_encoder(codec) || codec->type != AVMEDIA_TYPE_VIDEO ||
            (codec->capabilities & (AV_CODEC_CAP_HARDWARE | AV_CODEC_CAP_EXPERIMENTAL)) != 0 ||
            avformat_query_codec(format, codec->id, FF_COMPLIANCE_NORMAL) != 1 ||
            (!names.empty() && names.front() == codec->name)) {
            continue;
        }
        names.push_back(codec->name);
    }
    return names;
}

std::unique_ptr<FrameEncoder> OpenVideoEncoder(OutputFile& file, const std::string& container, int32_t width,
                                               int32_t height, const EncodeSettings& settings) {
    auto encoder = std::make_unique<VideoEncoder>(file, width, height, settings.fps, settings.fpsDen);
    encoder->Open(container, settings);
    return encoder;
}

} // namespace wqtrans::tool
