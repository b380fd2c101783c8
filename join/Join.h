// The join engine: clips and pictures one after the other, a transition of the module at
// each cut drawn by the frame renderer on the two inputs' frames shown at that moment,
// and their sound mixed across the cuts, frame by frame, holding only the frames the
// current cut needs.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/Motion.h"
#include "host/SoftwareSurface.h"
#include "join/AudioMix.h"
#include "join/MotionPath.h"
#include "join/Source.h"
#include "join/Timeline.h"

namespace wqtrans::join {

// The transition at one cut, as the frame renderer takes it.
struct CutTransition {
    uint32_t id = 0;
    std::vector<uint8_t> block; // empty for the transition's defaults
    uint32_t durationMs = 1000;
    uint32_t seed = 1;
    int32_t flags = 0;
    MotionCurve ease = {}; // the run's motion curve, linear by default
    bool reverse = false;  // the motion played backwards
};

struct JoinOptions {
    int32_t width = 0; // 0: the first clip's display size (1920x1080 when all are pictures)
    int32_t height = 0;
    std::optional<FrameRate> rate; // none: the first clip's (30 when all are pictures)
    FitMode fit = FitMode::Contain;
    uint32_t background = 0xFF000000u;
    uint32_t holdMs = 3000; // a picture's time on screen
    MotionOptions motion;   // how pictures move (none by default)
    // Pictures' own moves: the input's index (0 for the first) and its move.
    std::vector<std::pair<size_t, MoveSpec>> moves;
    bool sound = true; // false: a video without a sound track
    AudioOptions audio;
};

class Join {
public:
    // Reads every input and lays out the timeline: a JoinError naming the input that
    // cannot be joined. cuts.size() must be inputs.size() - 1.
    Join(const std::vector<InputSpec>& inputs, const std::vector<CutTransition>& cuts, const JoinOptions& options);
    ~Join();
    Join(const Join&) = delete;
    Join& operator=(const Join&) = delete;

    const Timeline& Plan() const;
    int32_t Width() const;
    int32_t Height() const;
    // The sound of the whole video, read on as the frames go; none without sound.
    AudioMix* Sound();

    // Output frame n, for n ascending from 0: the surface that holds it until the next
    // call. Inputs are opened as their frames are first needed and let go after their last.
    SoftwareSurface& Frame(int64_t n);
    // Output frame n as its input's decoded frame, for an encoder that takes it as it is:
    // outside the cuts, where that frame already is the video's format
    // (Source::DecodedAt), so that it is shown exactly and without two conversions.
    // None otherwise: Frame(n) draws it. Valid until the next call.
    const AVFrame* Decoded(int64_t n);

private:
    struct State;
    std::unique_ptr<State> state;
};

} // namespace wqtrans::join
