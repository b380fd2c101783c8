#include "join/Join.h"

#include <stdexcept>

#include "host/FrameRenderer.h"
#include "host/PixelBudget.h"
#include "join/JoinError.h"

namespace wqtrans::join {

namespace {

constexpr int32_t kPicturesWidth = 1920;
constexpr int32_t kPicturesHeight = 1080;
constexpr FrameRate kPicturesRate{30, 1};

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
    size_t first = 0; // the first input not yet let go

    // Input i's picture at output frame n.
    SoftwareSurface& InputFrame(size_t i, int64_t n) {
        if (!started[i]) {
            sources[i]->Start(shape);
            started[i] = true;
        }
        return sources[i]->FrameAt(FrameTimeUs(n - timeline.segments[i].firstFrame, timeline.rate));
    }
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
    if (options.rate) {
        rate = *options.rate;
    } else if (firstClip != nullptr && firstClip->Rate()) {
        rate = *firstClip->Rate();
    }
    std::vector<uint32_t> cutMs;
    for (const CutTransition& cut : cuts) {
        cutMs.push_back(cut.durationMs);
    }
    s.timeline = PlanTimeline(lengths, cutMs, rate);
    s.started.assign(inputs.size(), false);
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

SoftwareSurface& Join::Frame(int64_t n) {
    State& s = *state;
    const std::vector<Segment>& segments = s.timeline.segments;
    // Inputs whose last frame has gone are let go, so that only the current ones are held.
    while (s.first < segments.size() && segments[s.first].firstFrame + segments[s.first].frames <= n &&
           s.first + 1 < segments.size()) {
        if (s.started[s.first]) {
            s.sources[s.first]->Stop();
        }
        ++s.first;
    }
    const size_t i = s.first;
    // Within the cut at the end of input i, the run draws from its frame and the next's.
    if (i + 1 < segments.size()) {
        const CutSpan& cut = s.timeline.cuts[i];
        if (n >= cut.firstFrame && n < cut.firstFrame + cut.frames) {
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
            request.durationMs = cut.durationMs;
            request.elapsedMs = static_cast<uint32_t>(FrameTimeMs(n - cut.firstFrame, s.timeline.rate));
            request.frameRateNum = s.timeline.rate.num;
            request.frameRateDen = s.timeline.rate.den;
            if (!RenderFrameAt(request, oldFrame, newFrame, s.mixed)) {
                UsageFailure("cut " + std::to_string(i + 1) + ": the transition could not be drawn");
            }
            return s.mixed;
        }
    }
    return s.InputFrame(i, n);
}

} // namespace wqtrans::join
