#include "join/Join.h"

#include <cstdio>
#include <stdexcept>

#include "host/FrameRenderer.h"
#include "host/PixelBudget.h"
#include "join/Faces.h"
#include "join/JoinError.h"
#include "join/Media.h"

namespace wqtrans::join {

namespace {

constexpr int32_t kPicturesWidth = 1920;
constexpr int32_t kPicturesHeight = 1080;
constexpr FrameRate kPicturesRate{30, 1};
// The highest frame rate a clip's own is taken at, as --fps takes.
constexpr uint32_t kMaxRate = 240;

} // namespace

struct Join::State {
    JoinOptions options;
    std::vector<std::unique_ptr<Source>> sources;
    std::vector<CutTransition> transitions;
    Timeline timeline;
    OutputShape shape;
    std::unique_ptr<AudioMix> sound;
    SoftwareSurface mixed; // a cut's frame
    std::vector<bool> started;
    std::vector<std::optional<PictureMove>> moves; // each picture's, none for a clip
    size_t first = 0;                              // the first input not yet let go

    // Input i's picture at output frame n (opening the input first), or only the input
    // opened.
    SoftwareSurface* InputFrame(size_t i, int64_t n, bool draw) {
        if (!started[i]) {
            if (moves[i]) {
                moves[i]->lastFrameUs = FrameTimeUs(timeline.segments[i].frames - 1, timeline.rate);
            }
            sources[i]->Start(shape, moves[i] ? &*moves[i] : nullptr);
            started[i] = true;
        }
        return draw ? &sources[i]->FrameAt(FrameTimeUs(n - timeline.segments[i].firstFrame, timeline.rate)) : nullptr;
    }
    SoftwareSurface& InputFrame(size_t i, int64_t n) { return *InputFrame(i, n, true); }
    size_t Locate(int64_t n, const CutSpan** cut);
};

Join::Join(const std::vector<InputSpec>& inputs, const std::vector<CutTransition>& cuts, const JoinOptions& options)
    : state(std::make_unique<State>()) {
    State& s = *state;
    if (inputs.size() < 2) {
        UsageFailure("a join needs at least two inputs, clips or pictures");
    }
    if (cuts.size() + 1 != inputs.size()) {
        throw std::invalid_argument("Join: one cut fewer than inputs");
    }
    s.options = options;
    s.transitions = cuts;
    const int64_t holdUs = int64_t{options.holdMs} * 1000;
    std::vector<int64_t> lengths;
    const Source* firstClip = nullptr;
    for (const InputSpec& input : inputs) {
        s.sources.push_back(std::make_unique<Source>(input, holdUs));
        const Source& source = *s.sources.back();
        lengths.push_back(std::max<int64_t>(source.LengthUs(), 1));
        if (firstClip == nullptr && !source.IsPicture()) {
            firstClip = &source;
        }
    }
    s.shape.width = options.width;
    s.shape.height = options.height;
    if (s.shape.width <= 0 || s.shape.height <= 0) {
        s.shape.width = firstClip != nullptr ? firstClip->DisplayWidth() : kPicturesWidth;
        s.shape.height = firstClip != nullptr ? firstClip->DisplayHeight() : kPicturesHeight;
    }
    const std::string over = OverBudget(s.shape.width, s.shape.height);
    if (!over.empty()) {
        UsageFailure("the video would be " + over);
    }
    s.shape.fit = options.fit;
    s.shape.background = options.background;
    FrameRate rate = kPicturesRate;
    std::string rateNote;
    if (options.rate) {
        rate = *options.rate;
    } else if (firstClip != nullptr && firstClip->Rate()) {
        // The first clip's rate, within what --fps takes: a time-lapse clip of a frame
        // every few minutes, or a damaged one that claims a millionth of a frame a second,
        // would make a video of a few frames that leaves the other inputs out.
        const FrameRate clip = *firstClip->Rate();
        if (uint64_t{clip.num} >= clip.den && uint64_t{clip.num} <= uint64_t{kMaxRate} * clip.den) {
            rate = clip;
        } else {
            char fps[32];
            std::snprintf(fps, sizeof fps, "%.6g", static_cast<double>(clip.num) / clip.den);
            rateNote = Quoted(firstClip->Path()) + " runs at " + fps + " frames a second, outside 1 to " +
                       std::to_string(kMaxRate) + ": the video is " + std::to_string(kPicturesRate.num) +
                       " frames a second (choose another with --fps)";
        }
    }
    std::vector<uint32_t> cutMs;
    for (const CutTransition& cut : cuts) {
        cutMs.push_back(cut.durationMs);
    }
    s.timeline = PlanTimeline(lengths, cutMs, rate);
    // The inputs' own notes (an HDR clip made SDR, a profile not used) come first.
    std::vector<std::string> notes;
    for (const auto& source : s.sources) {
        notes.insert(notes.end(), source->Notes().begin(), source->Notes().end());
    }
    if (!rateNote.empty()) {
        notes.push_back(rateNote);
    }
    s.timeline.notes.insert(s.timeline.notes.begin(), notes.begin(), notes.end());
    s.started.assign(inputs.size(), false);
    for (const auto& [index, own] : options.moves) {
        if (index >= inputs.size()) {
            UsageFailure("--move " + std::to_string(index + 1) + ": there are " + std::to_string(inputs.size()) +
                         " inputs");
        }
        if (!s.sources[index]->IsPicture()) {
            UsageFailure("--move " + std::to_string(index + 1) + ": input " + std::to_string(index + 1) + " (" +
                         Quoted(s.sources[index]->Path()) + ") is a clip; only pictures move");
        }
    }
    s.moves.resize(inputs.size());
    size_t pictures = 0;
    bool lookForFaces = false;
    for (size_t i = 0; i < inputs.size(); ++i) {
        MoveSpec move = options.motion.move;
        for (const auto& [index, own] : options.moves) {
            if (index == i) {
                move = own;
            }
        }
        if (s.sources[i]->IsPicture() && move.kind != MoveKind::None) {
            s.moves[i] = PictureMove{move, options.motion, pictures, 0};
            lookForFaces = lookForFaces || (move.kind == MoveKind::Auto && !move.focus);
        }
        pictures += s.sources[i]->IsPicture() ? 1 : 0;
    }
    if (lookForFaces) {
        // Whether the face detector is there is told once, before the video is made.
        const uint32_t pixel = 0xFF000000u;
        const FaceSearch probe = FindFaces(&pixel, 1, 1, 1);
        if (!probe.searched) {
            s.timeline.notes.push_back("--motion auto zooms on the middle of each picture: " + probe.why);
        }
    }
    s.mixed = SoftwareSurface(s.shape.width, s.shape.height);
    if (options.sound) {
        std::vector<AudioInput> sounds;
        for (const auto& source : s.sources) {
            sounds.push_back({source->HasSound() ? source->Path() : std::string(), source->InUs()});
        }
        s.sound = std::make_unique<AudioMix>(s.timeline, sounds, options.audio);
    }
}

Join::~Join() = default;

const Timeline& Join::Plan() const { return state->timeline; }
int32_t Join::Width() const { return state->shape.width; }
int32_t Join::Height() const { return state->shape.height; }
AudioMix* Join::Sound() { return state->sound.get(); }

// The input shown at output frame n, and the cut there if any. Inputs whose last frame
// has gone are let go, so that only the current ones are held.
size_t Join::State::Locate(int64_t n, const CutSpan** cut) {
    while (first + 1 < timeline.segments.size() &&
           timeline.segments[first].firstFrame + timeline.segments[first].frames <= n) {
        if (started[first]) {
            sources[first]->Stop();
        }
        ++first;
    }
    *cut = nullptr;
    if (first + 1 < timeline.segments.size()) {
        const CutSpan& span = timeline.cuts[first];
        if (n >= span.firstFrame && n < span.firstFrame + span.frames) {
            *cut = &span;
        }
    }
    return first;
}

const AVFrame* Join::Decoded(int64_t n) {
    State& s = *state;
    const CutSpan* cut = nullptr;
    const size_t i = s.Locate(n, &cut);
    if (cut != nullptr) {
        return nullptr;
    }
    s.InputFrame(i, n, false);
    return s.sources[i]->DecodedAt(FrameTimeUs(n - s.timeline.segments[i].firstFrame, s.timeline.rate));
}

SoftwareSurface& Join::Frame(int64_t n) {
    State& s = *state;
    const CutSpan* cut = nullptr;
    const size_t i = s.Locate(n, &cut);
    if (cut == nullptr) {
        return s.InputFrame(i, n);
    }
    // Within the cut at the end of input i, the run draws from its frame and the next's.
    SoftwareSurface& oldFrame = s.InputFrame(i, n);
    SoftwareSurface& newFrame = s.InputFrame(i + 1, n);
    const CutTransition& transition = s.transitions[i];
    FrameRequest request;
    request.id = transition.id;
    request.block = transition.block;
    request.seed = transition.seed;
    request.flags = transition.flags;
    request.ease = transition.ease;
    request.reverse = transition.reverse;
    request.durationMs = cut->durationMs;
    request.elapsedMs = static_cast<uint32_t>(FrameTimeMs(n - cut->firstFrame, s.timeline.rate));
    request.frameRateNum = s.timeline.rate.num;
    request.frameRateDen = s.timeline.rate.den;
    if (!RenderFrameAt(request, oldFrame, newFrame, s.mixed)) {
        UsageFailure("cut " + std::to_string(i + 1) + ": the transition could not be drawn");
    }
    return s.mixed;
}

} // namespace wqtrans::join
