// The tool's animation encoders: GIF, WebP and video, each fed one frame at a time
// so that memory stays bounded whatever the length of the run.
//
// An encoder writes through an OutputFile (the temporary file of the output): every
// failure of the encoder, the muxer or the file throws a ToolError, and the caller
// keeps the temporary file out of place. Frames come with the time they are first
// shown, in ms, ascending; Finish gets the time the last frame stops being shown and
// writes the rest of the file (GIF trailer, WebP assembly, the video's trailer).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/Tool.h"

struct AVFrame;

namespace wqtrans::tool {

// Where an encoder's bytes go. Write and Seek throw a ToolError on failure.
class OutputFile {
public:
    virtual ~OutputFile() = default;
    virtual void Write(const uint8_t* data, size_t size) = 0;
    // lseek's answer: the new offset.
    virtual int64_t Seek(int64_t offset, int whence) = 0;
    // "\"out.gif\"", for messages.
    virtual std::string Target() const = 0;
};

// The choices a user makes about an encoding; each encoder reads those it knows.
struct EncodeSettings {
    // 0 to 100, higher is better; unset: each encoder's documented default.
    std::optional<int> quality;
    bool lossless = false; // WebP
    bool dither = false;   // GIF
    std::string codec;     // video: an encoder name of libavcodec, e.g. libx264
    int loop = 0;          // GIF and WebP: times to play, 0 for ever
    uint32_t fps = 30;     // video: the frame rate, fps / fpsDen; frame i is at i x 1000 x fpsDen / fps ms
    uint32_t fpsDen = 1;
    // Video: a sound track of this many samples a second and channels (AAC, or Opus in
    // WebM), fed with FrameEncoder::AddAudio; 0 for none.
    int audioRate = 0;
    int audioChannels = 0;
    int threads = 0; // GIF: threads making palettes, 1 for the caller's alone; 0: GifThreads
};

class FrameEncoder {
public:
    virtual ~FrameEncoder() = default;
    virtual void Add(Picture& frame, uint32_t timeMs) = 0;
    virtual void Finish(uint32_t endMs) = 0;
    // The next `count` samples of the sound track, interleaved floats, for an encoder
    // opened with an audio rate: given as the frames come, so that the muxer interleaves
    // them.
    virtual void AddAudio(const float* samples, size_t count);
    // A frame as a decoder gave it, for an encoder that takes it as it is (the video
    // encoder, when it is its pixel format and size): false, and nothing done, otherwise.
    virtual bool AddDecoded(const AVFrame*, uint32_t) { return false; }
    // Frames taken but not yet in the file: the encoder's look-ahead, or frames whose
    // palettes are still being made. Each frame that reaches the file, in Finish too,
    // calls `written`.
    virtual size_t Pending() const { return 0; }
    std::function<void()> written;

protected:
    void Written() const {
        if (written) {
            written();
        }
    }
};

// The threads a GIF's palettes are made on: `settings.threads`, or by default the
// processor's cores, at most 4.
int GifThreads(const EncodeSettings& settings);

std::unique_ptr<FrameEncoder> OpenGifEncoder(OutputFile& file, int32_t width, int32_t height,
                                             const EncodeSettings& settings);
std::unique_ptr<FrameEncoder> OpenWebpEncoder(OutputFile& file, int32_t width, int32_t height,
                                              const EncodeSettings& settings);
// `container` is the muxer's short name: mp4, webm, matroska or mov.
std::unique_ptr<FrameEncoder> OpenVideoEncoder(OutputFile& file, const std::string& container, int32_t width,
                                               int32_t height, const EncodeSettings& settings);

// The default --quality of each kind of output, for the help and the README.
inline constexpr int kDefaultGifQuality = 93;
inline constexpr int kDefaultWebpQuality = 75;
inline constexpr int kDefaultVideoQuality = 65;

// The libavcodec video encoders that `container` can hold, by name, best first.
std::vector<std::string> VideoCodecsFor(const std::string& container);

} // namespace wqtrans::tool
