#include "join/Source.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libavutil/dovi_meta.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <vector>

#include "host/BlurFill.h"
#include "host/PixelBudget.h"
#include "join/Faces.h"
#include "join/JoinError.h"
#include "join/Media.h"
#include "join/VideoColour.h"
#include "join/Viewport.h"
#include "media/Orientation.h"
#include "media/Picture.h"

namespace wqtrans::join {

namespace {

// Pictures read whole into memory; a file larger than this is no picture the budget
// would let through.
constexpr size_t kMaxPictureBytes = size_t{1} << 30;

// Whether the file starts as a picture that the shared reader (media/Picture.h) reads:
// those are decoded by it, with their orientation and colour profile, and never reach
// FFmpeg's decoders (its WebP decoder aborts the process on some damaged files).
bool ReadsAsPicture(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    uint8_t head[12] = {};
    file.read(reinterpret_cast<char*>(head), sizeof head);
    return file.gcount() == sizeof head && media::LooksLikePicture(head, sizeof head);
}

// "2.5", "1:02.5" or "1:00:00" into microseconds; none for anything else.
std::optional<int64_t> ParseTime(const std::string& text) {
    if (text.empty() || text.size() > 32) {
        return std::nullopt;
    }
    double total = 0;
    size_t start = 0;
    int fields = 0;
    for (;;) {
        const size_t colon = text.find(':', start);
        const std::string field = text.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
        const bool last = colon == std::string::npos;
        if (field.empty() || field.find_first_not_of(last ? "0123456789." : "0123456789") != std::string::npos ||
            std::count(field.begin(), field.end(), '.') > 1 || field == "." || ++fields > 3) {
            return std::nullopt;
        }
        total = total * 60 + std::strtod(field.c_str(), nullptr);
        if (last) {
            break;
        }
        start = colon + 1;
    }
    if (total > 1e9) {
        return std::nullopt; // past 31 years: no clip's time
    }
    return static_cast<int64_t>(std::llround(total * 1e6));
}

using media::FromExif;
using media::Orientation;
using media::Turned;

// The libswscale colour matrix of a frame: what it says, else BT.709 for HD sizes and
// BT.601 below, as players guess.
int SwsMatrix(const AVFrame* frame) {
    switch (frame->colorspace) {
    case AVCOL_SPC_BT709:
        return SWS_CS_ITU709;
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL:
        return SWS_CS_BT2020;
    case AVCOL_SPC_SMPTE170M:
    case AVCOL_SPC_BT470BG:
    case AVCOL_SPC_FCC:
        return SWS_CS_ITU601;
    case AVCOL_SPC_SMPTE240M:
        return SWS_CS_SMPTE240M;
    default:
        return frame->height >= 720 ? SWS_CS_ITU709 : SWS_CS_ITU601;
    }
}

// The full-range YUVJ formats as their plain twins, with the range kept apart.
AVPixelFormat PlainFormat(AVPixelFormat format, bool& fullRange) {
    switch (format) {
    case AV_PIX_FMT_YUVJ420P:
        fullRange = true;
        return AV_PIX_FMT_YUV420P;
    case AV_PIX_FMT_YUVJ422P:
        fullRange = true;
        return AV_PIX_FMT_YUV422P;
    case AV_PIX_FMT_YUVJ444P:
        fullRange = true;
        return AV_PIX_FMT_YUV444P;
    case AV_PIX_FMT_YUVJ440P:
        fullRange = true;
        return AV_PIX_FMT_YUV440P;
    default:
        return format;
    }
}

} // namespace

InputSpec ParseInput(const std::string& text, bool (*exists)(const std::string&)) {
    const size_t hash = text.rfind('#');
    if (hash == std::string::npos || exists(text)) {
        return {text, std::nullopt, std::nullopt};
    }
    const std::string part = text.substr(hash + 1);
    const size_t dash = part.find('-');
    InputSpec input{text.substr(0, hash), std::nullopt, std::nullopt};
    bool good = dash != std::string::npos && part.find('-', dash + 1) == std::string::npos && part.size() > 1;
    if (good && dash > 0) {
        input.fromUs = ParseTime(part.substr(0, dash));
        good = input.fromUs.has_value();
    }
    if (good && dash + 1 < part.size()) {
        input.toUs = ParseTime(part.substr(dash + 1));
        good = input.toUs.has_value();
    }
    if (!good) {
        UsageFailure(Quoted(text) + ": \"#" + part +
                     "\" is not a part of a clip; write FILE#START-END in seconds, m:ss or h:mm:ss, e.g. "
                     "clip.mp4#2.5-8, clip.mp4#1:30- or clip.mp4#-10");
    }
    if (input.fromUs && input.toUs && *input.toUs <= *input.fromUs) {
        UsageFailure(Quoted(text) + ": the part ends before it starts");
    }
    return input;
}

struct Source::State {
    InputSpec input;
    std::string name; // quoted, for messages
    int64_t holdUs = 0;
    bool picture = false;
    bool still = false; // a picture read by the shared reader, not by FFmpeg
    bool sound = false;
    std::vector<std::string> notes;
    int64_t startUs = 0; // the container's start, the input's own time 0
    int64_t inUs = 0;
    int64_t lengthUs = 0;
    int32_t displayWidth = 0;
    int32_t displayHeight = 0;
    AVRational sampleAspect{1, 1};
    Orientation orientation;
    std::optional<FrameRate> rate;
    int videoIndex = -1;
    int64_t tickUs = 0; // one tick of the stream's time base

    AVFormatContext* format = nullptr;
    AVCodecContext* decoder = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* current = nullptr;
    AVFrame* next = nullptr;
    bool haveCurrent = false;
    bool haveNext = false;
    bool flushed = false; // the decoder has been told the end
    bool ended = false;   // and has given its last frame
    int64_t lastUs = 0;   // the timestamp of the last frame decoded

    OutputShape shape;
    SoftwareSurface surface;
    bool converted = false; // the surface shows `current`
    SwsContext* scaler = nullptr;
    std::vector<uint32_t> turned; // a frame scaled before it is turned or laid on the background
    FitPlacement placement{};
    bool placed = false;
    SoftwareSurface stillPixels; // a still picture as read, which `current` shows
    // A moving picture: its path over stillPixels (then a level of it no smaller than the
    // frame needs), and the rectangle of the frame it is drawn on.
    std::optional<PictureMove> move;
    MovePath path;
    FitRect moveOnto{};
    // HDR and wide-gamut frames are first brought to SDR BT.709 at their own size.
    VideoColour colour;
    std::vector<uint32_t> sdrPixels;
    AVFrame* sdr = nullptr; // a BGR0 frame over sdrPixels
    // The transfer that a Dolby Vision stream's configuration says its base layer is
    // (profile 8.4: HLG, 8.1: PQ), for frames that are not tagged so themselves.
    AVColorTransferCharacteristic doviTransfer = AVCOL_TRC_UNSPECIFIED;

    ~State() { Close(); }

    void Close() {
        sws_freeContext(scaler);
        scaler = nullptr;
        av_frame_free(&current);
        av_frame_free(&next);
        av_frame_free(&sdr);
        av_packet_free(&packet);
        avcodec_free_context(&decoder);
        avformat_close_input(&format);
        stillPixels = SoftwareSurface();
        haveCurrent = haveNext = flushed = ended = converted = placed = false;
    }

    // The picture read whole by the shared reader, its transparency laid on
    // `background`; a JoinError naming it when it cannot be.
    media::DecodedPicture ReadPicture(uint32_t background) const {
        std::ifstream file(input.path, std::ios::binary);
        std::vector<uint8_t> bytes;
        char chunk[1 << 16];
        while (file.read(chunk, sizeof chunk) || file.gcount() > 0) {
            if (bytes.size() + static_cast<size_t>(file.gcount()) > kMaxPictureBytes) {
                InputFailure(name + " is over the pixel budget: it is larger than 1 GiB");
            }
            bytes.insert(bytes.end(), chunk, chunk + file.gcount());
        }
        if (file.bad() || bytes.empty()) {
            InputFailure("cannot read " + name + ": " + std::strerror(errno));
        }
        try {
            return media::DecodePicture(bytes.data(), bytes.size(), background);
        } catch (const media::PictureError& error) {
            const std::string reason = error.what();
            switch (error.kind) {
            case media::PictureError::Kind::OverBudget:
                InputFailure(name + " is over the pixel budget: " +
                             (reason.rfind("it is ", 0) == 0 ? reason.substr(6) : reason));
            case media::PictureError::Kind::Damaged:
                InputFailure(name + " is damaged: " + reason);
            default:
                InputFailure(name + ": " + reason);
            }
        }
    }

    void ProbePicture() {
        still = picture = true;
        media::DecodedPicture decoded = ReadPicture(0xFF000000u);
        displayWidth = decoded.pixels.Width();
        displayHeight = decoded.pixels.Height();
        for (const std::string& note : decoded.notes) {
            notes.push_back(name + ": " + note);
        }
        lengthUs = holdUs;
    }

    // The still picture, read again for drawing, shown by `current` as the frame that a
    // decoder would have given: BGR0 words over the picture's own pixels.
    void StartPicture() {
        stillPixels = std::move(ReadPicture(shape.background).pixels);
        current = av_frame_alloc();
        if (current == nullptr) {
            throw std::bad_alloc();
        }
        uint8_t* pixels = reinterpret_cast<uint8_t*>(stillPixels.Pixels());
        const int width = stillPixels.Width();
        const int height = stillPixels.Height();
        current->buf[0] = av_buffer_create(
            pixels, static_cast<size_t>(width) * static_cast<size_t>(height) * 4, [](void*, uint8_t*) {}, nullptr,
            AV_BUFFER_FLAG_READONLY);
        if (current->buf[0] == nullptr) {
            throw std::bad_alloc();
        }
        current->data[0] = pixels;
        current->linesize[0] = width * 4;
        current->width = width;
        current->height = height;
        current->format = AV_PIX_FMT_BGR0;
        current->color_range = AVCOL_RANGE_JPEG;
        current->colorspace = AVCOL_SPC_RGB;
        haveCurrent = true;
    }

    // A moving picture: read whole and upright, its path planned, and brought down to a
    // level that still has at least a pixel for each of the frame's at the path's closest.
    void StartMoving() {
        const OutputShape wanted = shape;
        if (still) {
            stillPixels = std::move(ReadPicture(shape.background).pixels);
        } else {
            // A kind of picture that FFmpeg reads: drawn once at its own size, upright.
            shape = {displayWidth, displayHeight, FitMode::Stretch, wanted.background};
            surface = SoftwareSurface(shape.width, shape.height, shape.background);
            Open();
            Advance(0);
            Convert(current);
            SoftwareSurface whole = std::move(surface);
            Close();
            stillPixels = std::move(whole);
            shape = wanted;
            surface = SoftwareSurface(shape.width, shape.height, shape.background);
        }
        const int32_t width = stillPixels.Width();
        const int32_t height = stillPixels.Height();
        path =
            PlanMove(move->move, move->options, width, height, shape.width, shape.height, shape.fit, move->index,
                     [&] { return FindFaces(stillPixels.Pixels(), width, height, static_cast<size_t>(width)).faces; });
        moveOnto = shape.fit == FitMode::Contain || shape.fit == FitMode::Blur
                       ? PlaceFitted(width, height, shape.width, shape.height, FitMode::Contain).to
                       : FitRect{0, 0, shape.width, shape.height};
        const double scale =
            std::min(1.0, std::max(moveOnto.width / path.SmallestWidth(), moveOnto.height / path.SmallestHeight()));
        const auto levelWidth = static_cast<int32_t>(std::clamp<double>(std::ceil(width * scale), 1, width));
        const auto levelHeight = static_cast<int32_t>(std::clamp<double>(std::ceil(height * scale), 1, height));
        if (levelWidth < width || levelHeight < height) {
            stillPixels = Shrunk(stillPixels, levelWidth, levelHeight);
            const double sx = static_cast<double>(levelWidth) / width;
            const double sy = static_cast<double>(levelHeight) / height;
            for (ViewRect* view : {&path.from, &path.to}) {
                *view = {view->x * sx, view->y * sy, view->width * sx, view->height * sy};
            }
        }
        haveCurrent = true;
    }

    // The picture brought down to width x height with libswscale's area filter.
    SoftwareSurface Shrunk(SoftwareSurface& from, int32_t width, int32_t height) {
        SoftwareSurface to(width, height);
        SwsContext* shrink = sws_getContext(from.Width(), from.Height(), AV_PIX_FMT_BGRA, width, height,
                                            AV_PIX_FMT_BGRA, SWS_AREA | SWS_ACCURATE_RND, nullptr, nullptr, nullptr);
        if (shrink == nullptr) {
            throw std::bad_alloc();
        }
        const uint8_t* source[4] = {reinterpret_cast<const uint8_t*>(from.Pixels())};
        const int sourceStride[4] = {from.Width() * 4};
        uint8_t* dest[4] = {reinterpret_cast<uint8_t*>(to.Pixels())};
        const int destStride[4] = {width * 4};
        sws_scale(shrink, source, sourceStride, 0, from.Height(), dest, destStride);
        sws_freeContext(shrink);
        return to;
    }

    SoftwareSurface& MovingFrameAt(int64_t timeUs) {
        const double progress =
            move->lastFrameUs > 0 ? static_cast<double>(timeUs) / static_cast<double>(move->lastFrameUs) : 0.0;
        const size_t stride = static_cast<size_t>(shape.width);
        DrawView(stillPixels.Pixels(), stillPixels.Width(), stillPixels.Height(),
                 static_cast<size_t>(stillPixels.Width()), path.At(progress),
                 surface.Pixels() + static_cast<size_t>(moveOnto.y) * stride + static_cast<size_t>(moveOnto.x),
                 moveOnto.width, moveOnto.height, stride);
        if (shape.fit == FitMode::Blur) {
            BlurBehind(surface, moveOnto);
        }
        return surface;
    }

    void Open() {
        int result = avformat_open_input(&format, input.path.c_str(), nullptr, nullptr);
        if (result < 0) {
            if (result == AVERROR(ENOENT) || result == AVERROR(EACCES) || result == AVERROR(EISDIR)) {
                InputFailure("cannot read " + name + ": " + AvError(result));
            }
            InputFailure(name + " is neither a video nor a picture that FFmpeg's libraries read (" + AvError(result) +
                         ")");
        }
        result = FindStreamInfo(format);
        if (result < 0) {
            InputFailure(name + " cannot be read: " + AvError(result));
        }
        videoIndex = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        if (videoIndex < 0) {
            InputFailure(name + " has no pictures (no video stream)" +
                         std::string(av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0) >= 0
                                         ? "; to lay music under the video, give it with --audio"
                                         : ""));
        }
        AVStream* stream = format->streams[videoIndex];
        const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
        if (codec == nullptr) {
            InputFailure(name + ": this FFmpeg has no decoder for its " + avcodec_get_name(stream->codecpar->codec_id) +
                         " pictures");
        }
        const std::string over = OverBudget(stream->codecpar->width, stream->codecpar->height);
        if (!over.empty()) {
            InputFailure(name + " is over the pixel budget: " + over);
        }
        decoder = avcodec_alloc_context3(codec);
        packet = av_packet_alloc();
        current = av_frame_alloc();
        next = av_frame_alloc();
        if (decoder == nullptr || packet == nullptr || current == nullptr || next == nullptr) {
            throw std::bad_alloc();
        }
        avcodec_parameters_to_context(decoder, stream->codecpar);
        decoder->thread_count = 0;
        decoder->pkt_timebase = stream->time_base;
        decoder->max_pixels = kMaxPixels;
        result = avcodec_open2(decoder, codec, nullptr);
        if (result < 0) {
            InputFailure(name + ": cannot open its " + codec->name + " decoder: " + AvError(result));
        }
    }

    // The frame's time in the input's own time.
    int64_t TimeOf(const AVFrame* frame) const {
        const int64_t pts = frame->best_effort_timestamp;
        if (pts == AV_NOPTS_VALUE) {
            return lastUs;
        }
        return BoundedUs(pts, format->streams[videoIndex]->time_base) - startUs;
    }

    // The next frame into `into`; false at the clip's end.
    bool Decode(AVFrame* into) {
        for (;;) {
            int result = avcodec_receive_frame(decoder, into);
            if (result == 0) {
                lastUs = TimeOf(into);
                if (doviTransfer != AVCOL_TRC_UNSPECIFIED && into->color_trc != doviTransfer) {
                    into->color_trc = doviTransfer;
                    into->color_primaries = AVCOL_PRI_BT2020;
                    into->colorspace = AVCOL_SPC_BT2020_NCL;
                }
                return true;
            }
            if (result == AVERROR_EOF) {
                ended = true;
                return false;
            }
            if (result != AVERROR(EAGAIN)) {
                Damaged(result);
            }
            if (flushed) {
                ended = true;
                return false;
            }
            result = av_read_frame(format, packet);
            if (result == AVERROR_EOF) {
                flushed = true;
                avcodec_send_packet(decoder, nullptr);
                continue;
            }
            if (result < 0) {
                Damaged(result);
            }
            if (packet->stream_index == videoIndex) {
                result = avcodec_send_packet(decoder, packet);
                if (result < 0 && result != AVERROR(EAGAIN)) {
                    av_packet_unref(packet);
                    Damaged(result);
                }
            }
            av_packet_unref(packet);
        }
    }

    [[noreturn]] void Damaged(int result) const {
        InputFailure(name + " is damaged: its pictures stop at " + Seconds(lastUs) + " (" + AvError(result) + ")");
    }

    void Probe() {
        if (ReadsAsPicture(input.path)) {
            ProbePicture();
            return;
        }
        Open();
        AVStream* stream = format->streams[videoIndex];
        tickUs = std::clamp<int64_t>(BoundedUs(1, stream->time_base), 0, 1000);
        const std::string demuxer = format->iformat->name;
        picture = demuxer == "image2" || (demuxer.size() > 5 && demuxer.compare(demuxer.size() - 5, 5, "_pipe") == 0);
        sound = !picture && av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0) >= 0;
        startUs = format->start_time == AV_NOPTS_VALUE ? 0 : Bounded(format->start_time);

        int turn = 0;
        if (const uint8_t* matrix = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr)) {
            const double angle = av_display_rotation_get(reinterpret_cast<const int32_t*>(matrix));
            if (!std::isnan(angle)) {
                turn = static_cast<int>(std::lround(-angle / 90.0)) * 90;
            }
        }
        orientation = Turned(turn);
        const AVRational sar = av_guess_sample_aspect_ratio(format, stream, nullptr);
        if (sar.num > 0 && sar.den > 0) {
            sampleAspect = sar;
        }
        if (!picture && stream->avg_frame_rate.num > 0 && stream->avg_frame_rate.den > 0 &&
            int64_t{stream->avg_frame_rate.num} <= int64_t{1000} * stream->avg_frame_rate.den) {
            rate = FrameRate{static_cast<uint32_t>(stream->avg_frame_rate.num),
                             static_cast<uint32_t>(stream->avg_frame_rate.den)};
        }

        // Dolby Vision's profiles 8.4 and 8.1 carry HLG and HDR10 pictures that any
        // player shows; profile 5's need its reshaping, which is not done here.
        if (const auto* dovi = reinterpret_cast<const AVDOVIDecoderConfigurationRecord*>(
                av_stream_get_side_data(stream, AV_PKT_DATA_DOVI_CONF, nullptr))) {
            if (dovi->dv_bl_signal_compatibility_id == 4) {
                doviTransfer = AVCOL_TRC_ARIB_STD_B67;
            } else if (dovi->dv_bl_signal_compatibility_id == 1) {
                doviTransfer = AVCOL_TRC_SMPTE2084;
            } else if (dovi->dv_profile == 5) {
                notes.push_back(name + " is Dolby Vision profile 5, whose colours are shown unconverted");
            }
        }

        // The first picture, which also tells a JPEG's orientation.
        if (!Decode(current)) {
            InputFailure(name + " has no picture that can be decoded");
        }
        const ColourKind kind = ClassifyColour(current);
        if (kind == ColourKind::Hlg || kind == ColourKind::Pq) {
            notes.push_back(name + " is HDR (" + ColourName(current) + "): tone-mapped to SDR");
        }
        if (picture) {
            if (const AVDictionaryEntry* entry = av_dict_get(current->metadata, "Orientation", nullptr, 0)) {
                orientation = FromExif(std::atoi(entry->value));
            }
        }
        const std::string over = OverBudget(current->width, current->height);
        if (!over.empty()) {
            InputFailure(name + " is over the pixel budget: " + over);
        }
        const int64_t width = std::max<int64_t>(1, av_rescale(current->width, sampleAspect.num, sampleAspect.den));
        displayWidth = static_cast<int32_t>(std::min<int64_t>(width, kMaxSide));
        displayHeight = current->height;
        if (orientation.transpose) {
            std::swap(displayWidth, displayHeight);
        }

        if (picture) {
            lengthUs = holdUs;
        } else {
            int64_t clipUs = 0;
            if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0) {
                const int64_t streamStart = stream->start_time == AV_NOPTS_VALUE ? 0 : stream->start_time;
                clipUs = BoundedUs(streamStart, stream->time_base) + BoundedUs(stream->duration, stream->time_base) -
                         startUs;
            } else if (format->duration != AV_NOPTS_VALUE && format->duration > 0) {
                clipUs = Bounded(format->duration);
            } else {
                InputFailure(name + " does not say how long it is; remux it (ffmpeg -i IN -c copy OUT.mkv)");
            }
            inUs = input.fromUs.value_or(0);
            const int64_t outUs = input.toUs.value_or(clipUs);
            if (inUs >= clipUs) {
                UsageFailure(name + ": the part starts at " + Seconds(inUs) + ", past the clip's end at " +
                             Seconds(clipUs));
            }
            if (outUs > clipUs + 1000) {
                UsageFailure(name + ": the part ends at " + Seconds(outUs) + ", past the clip's end at " +
                             Seconds(clipUs));
            }
            lengthUs = std::min(outUs, clipUs) - inUs;
        }
        Close();
    }

    void Start(const OutputShape& wanted, const PictureMove* wantedMove) {
        shape = wanted;
        surface = SoftwareSurface(shape.width, shape.height, shape.background);
        move.reset();
        if (picture && wantedMove != nullptr && wantedMove->move.kind != MoveKind::None) {
            move = *wantedMove;
            StartMoving();
            return;
        }
        if (still) {
            StartPicture();
            return;
        }
        Open();
        if (inUs > 0) {
            const int64_t target = startUs + inUs;
            if (av_seek_frame(format, -1, target, AVSEEK_FLAG_BACKWARD) >= 0) {
                avcodec_flush_buffers(decoder);
            }
        }
    }

    SoftwareSurface& FrameAt(int64_t timeUs) {
        if (move) {
            return MovingFrameAt(timeUs);
        }
        if (!still) {
            Advance(timeUs);
        } else if (!haveCurrent) {
            throw std::logic_error("Source::FrameAt before Start");
        }
        if (!converted) {
            Convert(current);
            converted = true;
        }
        return surface;
    }

    const AVFrame* DecodedAt(int64_t timeUs) {
        if (picture) {
            return nullptr;
        }
        Advance(timeUs);
        const AVFrame* frame = current;
        const bool hd709 = frame->colorspace == AVCOL_SPC_BT709 ||
                           (frame->colorspace == AVCOL_SPC_UNSPECIFIED && frame->height >= 720);
        if (ClassifyColour(frame) != ColourKind::Bt709 || frame->format != AV_PIX_FMT_YUV420P ||
            frame->width != shape.width || frame->height != shape.height || !orientation.Identity() ||
            sampleAspect.num != sampleAspect.den || frame->color_range == AVCOL_RANGE_JPEG || !hd709 ||
            frame->crop_left != 0 || frame->crop_top != 0 || frame->crop_right != 0 || frame->crop_bottom != 0) {
            return nullptr;
        }
        return frame;
    }

    // Decodes on to the frame shown at `timeUs` from the part's start.
    void Advance(int64_t timeUs) {
        if (format == nullptr) {
            throw std::logic_error("Source::FrameAt before Start");
        }
        const int64_t target = inUs + timeUs;
        if (!haveCurrent) {
            if (!Decode(current)) {
                InputFailure(name + " has no picture that can be decoded at " + Seconds(inUs));
            }
            haveCurrent = true;
            haveNext = Decode(next);
        }
        // A frame stamped up to one tick of the container's clock late (Matroska keeps
        // whole ms) is the frame of that time.
        while (haveNext && TimeOf(next) <= target + tickUs) {
            std::swap(current, next);
            av_frame_unref(next);
            converted = false;
            haveNext = Decode(next);
        }
        // A clip whose pictures end well before its container says it ends has been cut
        // short; a clip's last frame is shown to its end.
        if (!picture && !haveNext && target > lastUs + 1000000 && target < lengthUs + inUs) {
            InputFailure(name + " is truncated or damaged: its pictures stop at " + Seconds(lastUs) + " of the " +
                         Seconds(inUs + lengthUs) + " it says it lasts");
        }
    }

    // An HDR or wide-gamut frame brought to SDR BT.709 at its own size, as a BGR0 frame
    // over sdrPixels.
    AVFrame* ToSdr(const AVFrame* frame) {
        const size_t width = static_cast<size_t>(frame->width);
        sdrPixels.resize(width * static_cast<size_t>(frame->height));
        try {
            colour.Convert(frame, sdrPixels.data(), width);
        } catch (const std::runtime_error& error) {
            InputFailure(name + ": " + error.what());
        }
        if (sdr == nullptr && (sdr = av_frame_alloc()) == nullptr) {
            throw std::bad_alloc();
        }
        av_frame_unref(sdr);
        uint8_t* pixels = reinterpret_cast<uint8_t*>(sdrPixels.data());
        sdr->buf[0] = av_buffer_create(
            pixels, sdrPixels.size() * 4, [](void*, uint8_t*) {}, nullptr, 0);
        if (sdr->buf[0] == nullptr) {
            throw std::bad_alloc();
        }
        sdr->data[0] = pixels;
        sdr->linesize[0] = frame->width * 4;
        sdr->width = frame->width;
        sdr->height = frame->height;
        sdr->format = AV_PIX_FMT_BGR0;
        sdr->color_range = AVCOL_RANGE_JPEG;
        sdr->colorspace = AVCOL_SPC_RGB;
        return sdr;
    }

    // Draws the frame onto the surface as Place does, over its blurred copy for the blur fit.
    void Convert(AVFrame* frame) {
        Place(frame);
        if (shape.fit == FitMode::Blur) {
            BlurBehind(surface, placement.to);
        }
    }

    // Scales the decoded frame onto the surface: the fitted part of the picture, turned,
    // with transparent pixels laid on the background.
    void Place(AVFrame* frame) {
        if (!still && ClassifyColour(frame) != ColourKind::Bt709) {
            frame = ToSdr(frame);
        }
        int32_t frameWidth =
            static_cast<int32_t>(std::max<int64_t>(1, av_rescale(frame->width, sampleAspect.num, sampleAspect.den)));
        int32_t frameHeight = frame->height;
        if (orientation.transpose) {
            std::swap(frameWidth, frameHeight);
        }
        const FitPlacement place = PlaceFitted(frameWidth, frameHeight, shape.width, shape.height, shape.fit);
        if (!placed || !(place == placement)) {
            surface.Fill(shape.background);
            placement = place;
            placed = true;
        }
        // The part taken, in the display's pixels, back in the decoded frame's.
        FitRect from = place.from;
        if (orientation.flipX) {
            from.x = frameWidth - from.x - from.width;
        }
        if (orientation.flipY) {
            from.y = frameHeight - from.y - from.height;
        }
        if (orientation.transpose) {
            from = {from.y, from.x, from.height, from.width};
        }
        const auto unstretch = [&](int64_t x) { return av_rescale(x, sampleAspect.den, sampleAspect.num); };
        const int64_t left = std::clamp<int64_t>(unstretch(from.x), 0, frame->width - 1);
        const int64_t right = std::clamp<int64_t>(unstretch(from.x + from.width), left + 1, frame->width);
        AVFrame* cropped = av_frame_clone(frame);
        if (cropped == nullptr) {
            throw std::bad_alloc();
        }
        cropped->crop_left = static_cast<size_t>(left);
        cropped->crop_right = static_cast<size_t>(frame->width - right);
        cropped->crop_top = static_cast<size_t>(from.y);
        cropped->crop_bottom = static_cast<size_t>(frame->height - from.y - from.height);
        av_frame_apply_cropping(cropped, AV_FRAME_CROP_UNALIGNED);

        const FitRect to = place.to;
        const int32_t scaledWidth = orientation.transpose ? to.height : to.width;
        const int32_t scaledHeight = orientation.transpose ? to.width : to.height;
        bool fullRange = frame->color_range == AVCOL_RANGE_JPEG;
        const AVPixelFormat pixelFormat = PlainFormat(static_cast<AVPixelFormat>(cropped->format), fullRange);
        scaler = sws_getCachedContext(scaler, cropped->width, cropped->height, pixelFormat, scaledWidth, scaledHeight,
                                      AV_PIX_FMT_BGRA, SWS_BICUBIC, nullptr, nullptr, nullptr);
        if (scaler == nullptr) {
            av_frame_free(&cropped);
            InputFailure(name + ": libswscale cannot convert its " +
                         std::string(av_get_pix_fmt_name(static_cast<AVPixelFormat>(frame->format))) + " pictures");
        }
        sws_setColorspaceDetails(scaler, sws_getCoefficients(SwsMatrix(frame)), fullRange ? 1 : 0,
                                 sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
        const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(pixelFormat);
        const bool alpha = descriptor != nullptr && (descriptor->flags & AV_PIX_FMT_FLAG_ALPHA) != 0;
        uint32_t* pixels = surface.Pixels();
        const size_t stride = static_cast<size_t>(shape.width);
        if (orientation.Identity() && !alpha) {
            uint8_t* planes[4] = {reinterpret_cast<uint8_t*>(pixels + static_cast<size_t>(to.y) * stride + to.x)};
            const int strides[4] = {shape.width * 4};
            sws_scale(scaler, cropped->data, cropped->linesize, 0, cropped->height, planes, strides);
            av_frame_free(&cropped);
            return;
        }
        turned.resize(static_cast<size_t>(scaledWidth) * static_cast<size_t>(scaledHeight));
        uint8_t* planes[4] = {reinterpret_cast<uint8_t*>(turned.data())};
        const int strides[4] = {scaledWidth * 4};
        sws_scale(scaler, cropped->data, cropped->linesize, 0, cropped->height, planes, strides);
        av_frame_free(&cropped);
        const uint32_t background = shape.background;
        for (int32_t y = 0; y < scaledHeight; ++y) {
            const uint32_t* row = turned.data() + static_cast<size_t>(y) * static_cast<size_t>(scaledWidth);
            for (int32_t x = 0; x < scaledWidth; ++x) {
                int32_t dx = orientation.transpose ? y : x;
                int32_t dy = orientation.transpose ? x : y;
                if (orientation.flipX) {
                    dx = to.width - 1 - dx;
                }
                if (orientation.flipY) {
                    dy = to.height - 1 - dy;
                }
                uint32_t pixel = row[x];
                if (alpha && (pixel >> 24) != 0xFF) {
                    pixel = Over(pixel, background);
                }
                pixels[static_cast<size_t>(to.y + dy) * stride + static_cast<size_t>(to.x + dx)] = pixel;
            }
        }
    }

    // A translucent 0xAARRGGBB pixel laid on an opaque background.
    static uint32_t Over(uint32_t pixel, uint32_t background) {
        const uint32_t a = pixel >> 24;
        uint32_t out = 0xFF000000u;
        for (int shift = 0; shift < 24; shift += 8) {
            const uint32_t top = (pixel >> shift) & 0xFF;
            const uint32_t bottom = (background >> shift) & 0xFF;
            out |= ((top * a + bottom * (255 - a) + 127) / 255) << shift;
        }
        return out;
    }
};

Source::Source(const InputSpec& input, int64_t holdUs) : state(std::make_unique<State>()) {
    state->input = input;
    state->name = Quoted(input.path);
    state->holdUs = holdUs;
    state->Probe();
}

Source::~Source() = default;

bool Source::IsPicture() const { return state->picture; }
bool Source::HasSound() const { return state->sound; }
const std::string& Source::Path() const { return state->input.path; }
const std::vector<std::string>& Source::Notes() const { return state->notes; }
int64_t Source::InUs() const { return state->inUs; }
int64_t Source::LengthUs() const { return state->lengthUs; }
int32_t Source::DisplayWidth() const { return state->displayWidth; }
int32_t Source::DisplayHeight() const { return state->displayHeight; }
std::optional<FrameRate> Source::Rate() const { return state->rate; }
void Source::Start(const OutputShape& shape, const PictureMove* move) { state->Start(shape, move); }
SoftwareSurface& Source::FrameAt(int64_t timeUs) { return state->FrameAt(timeUs); }
const AVFrame* Source::DecodedAt(int64_t timeUs) { return state->DecodedAt(timeUs); }
void Source::Stop() {
    state->Close();
    state->surface = SoftwareSurface();
}

} // namespace wqtrans::join
