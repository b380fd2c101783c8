// One input of a join: a clip (any container and codec FFmpeg's libraries read) or a
// picture (PNG, JPEG, WebP, HEIC or AVIF through the shared reader, media/Picture.h,
// with its orientation and colour profile; other kinds FFmpeg reads through it), and
// its pictures brought to the output's size, shape and pixel format.
//
// A clip's own time 0 is the start of its container; its picture at a time is the frame
// shown then: the last frame whose timestamp is not after it, whatever the clip's frame
// rate (variable too). Pictures are turned as the clip's display matrix or the JPEG's
// orientation says, stretched by the sample aspect ratio, and converted from their
// colour range and matrix (BT.601 or BT.709, limited or full range, 8 or 10 bits).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/Fit.h"
#include "host/SoftwareSurface.h"
#include "join/MotionPath.h"
#include "join/Timeline.h"

struct AVFrame;

namespace wqtrans::join {

// An input as the user names it: a file, and for a clip the part of it to show.
struct InputSpec {
    std::string path;
    std::optional<int64_t> fromUs; // the part's start in the clip's own time
    std::optional<int64_t> toUs;   // its end
};

// "clip.mp4#2.5-8": the clip from 2.5 s to 8 s (either end may be left out, and times
// may be written as seconds, m:ss or h:mm:ss with decimals). A name that is an existing
// file is taken whole, '#' and all. A usage error for a part that does not read.
InputSpec ParseInput(const std::string& text, bool (*exists)(const std::string&));

// How frames meet the output: its size, how a picture of another shape fits it, and the
// colour around a contained one (0xFFRRGGBB).
struct OutputShape {
    int32_t width = 0;
    int32_t height = 0;
    FitMode fit = FitMode::Contain;
    uint32_t background = 0xFF000000u;
};

// How a picture moves while it is on screen (join/MotionPath.h); its path is planned
// when it starts, on its own pixels (and faces, for auto).
struct PictureMove {
    MoveSpec move;
    MotionOptions options;
    size_t index = 0;        // among the join's pictures, for auto's turns
    int64_t lastFrameUs = 0; // the time of its last frame on screen, where the move ends
};

class Source {
public:
    // Opens the input and reads what it is: a JoinError naming it when it is neither a
    // clip nor a picture, has no pictures, is over the pixel budget, or its first
    // picture cannot be decoded. The decoder is let go again until Start.
    Source(const InputSpec& input, int64_t holdUs);
    ~Source();
    Source(const Source&) = delete;
    Source& operator=(const Source&) = delete;

    bool IsPicture() const;
    // What the join should tell of this input, one line each: a colour profile that could
    // not be used, an HDR clip made SDR.
    const std::vector<std::string>& Notes() const;
    bool HasSound() const;
    const std::string& Path() const;
    // The part shown: its start in the input's own time and its length (a picture's hold).
    int64_t InUs() const;
    int64_t LengthUs() const;
    // The size it is shown at (turned and with square pixels), and a clip's frame rate
    // (none for a picture or a clip that does not say).
    int32_t DisplayWidth() const;
    int32_t DisplayHeight() const;
    std::optional<FrameRate> Rate() const;

    // Opens the decoder for drawing at `shape`, at the part's start; a picture with a
    // `move` moves as it says (a clip ignores it).
    void Start(const OutputShape& shape, const PictureMove* move = nullptr);
    // The picture shown at `timeUs` from the part's start, at the output's shape; times
    // ascend from one call to the next. A JoinError when the clip is damaged there.
    SoftwareSurface& FrameAt(int64_t timeUs);
    // The decoded frame shown at `timeUs`, as FrameAt picks it, when it can go to an
    // encoder as it is: already the output's size, upright, with square pixels, 8-bit
    // 4:2:0 in BT.709's limited range (or unlabelled at an HD size, which is taken so).
    // None otherwise, and for a picture.
    const AVFrame* DecodedAt(int64_t timeUs);
    // Lets the decoder and the frames go.
    void Stop();

private:
    struct State;
    std::unique_ptr<State> state;
};

} // namespace wqtrans::join
