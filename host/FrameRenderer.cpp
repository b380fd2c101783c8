#include "host/FrameRenderer.h"

#include <algorithm>
#include <memory>

#include "host/DrawList.h"
#include "host/RunTimeline.h"
#include "host/TrameFrame.h"
#include "module/Exports.h"
#include "module/TransitionAdapter.h"
#include "platform/Platform.h"

namespace wqtrans {

namespace {

constexpr uint32_t IdOf(const char (&text)[5]) {
    return static_cast<uint32_t>(text[0]) | static_cast<uint32_t>(text[1]) << 8 | static_cast<uint32_t>(text[2]) << 16 |
           static_cast<uint32_t>(text[3]) << 24;
}

// The transitions whose picture at t depends on their earlier steps; the others draw at
// each step all that their picture at t needs. The renderer's test against runs stepped
// frame by frame, over random blocks, sizes and frame rates, keeps this list true:
// - Open grows its cross only in the first movement and never redraws it: the cross of
//   the second movement is the one the last first-movement step left.
// - ZigZag 2 moves each snake on by at most one line per step, and the finished lines
//   below the current one are those that earlier steps drew.
// - Stretch 2 draws each frame's shrinking old picture over the larger ones of earlier
//   steps, which stay around it as trails, and shows the new picture only from the
//   step after the one that reaches half time.
// - Push, at an odd height, leaves the middle row as an earlier step drew it.
// - Turn 2 moves its rectangle along the spiral from where the last step left it.
constexpr uint32_t kReplayed[] = {IdOf("SE05"), IdOf("SE04"), IdOf("SE09"), IdOf("SE06"), IdOf("SE02")};

struct AdapterDeleter {
    void operator()(TransitionAdapter* adapter) const { adapter->table->Delete(adapter); }
};

uint32_t ReadClock(void* context) { return *static_cast<const uint32_t*>(context); }

bool SameSize(SoftwareSurface& a, SoftwareSurface& b) { return a.Width() == b.Width() && a.Height() == b.Height(); }

// The first frame of the run's timeline stepped before the moment, of the `below` frames
// that lie before it: all of them for a transition that is replayed. Another is
// stepped at its moment alone, which draws all of its picture, except at the end: a
// last step may draw nothing new (Zoom 2 zooming in has an empty source rectangle at
// d), so the run's last frame is the step at d over the frame before it.
uint64_t FirstStepBefore(bool replayed, bool atEnd, uint64_t below) {
    if (replayed) {
        return 0;
    }
    return atEnd && below > 0 ? below - 1 : below;
}

} // namespace

std::vector<uint8_t> ParameterBlock(TransitionAdapter* adapter) {
    const int32_t size = adapter->table->GetParameters(adapter, nullptr);
    std::vector<uint8_t> block(static_cast<size_t>(std::max(size, 0)));
    if (!block.empty()) {
        adapter->table->GetParameters(adapter, block.data());
    }
    return block;
}

bool ReplaysFromStart(uint32_t id) {
    for (uint32_t replayed : kReplayed) {
        if (replayed == id) {
            return true;
        }
    }
    return false;
}

bool RenderFrameAt(const FrameRequest& request, SoftwareSurface& oldFrame, SoftwareSurface& newFrame,
                   SoftwareSurface& out) {
    if (!SameSize(oldFrame, out) || !SameSize(newFrame, out) || !out.Writable()) {
        return false;
    }
    if (FrameRequest mirror; MirrorRequest(request, mirror)) {
        return RenderFrameAt(mirror, newFrame, oldFrame, out);
    }
    if (FrameRequest ended; EasedToTheEnd(request, ended)) {
        return RenderFrameAt(ended, oldFrame, newFrame, out);
    }
    auto create = [&] {
        std::unique_ptr<TransitionAdapter, AdapterDeleter> adapter(
            CreateTransition(0, request.id, request.block.empty() ? nullptr : request.block.data(),
                             static_cast<uint32_t>(request.block.size())));
        if (adapter && !request.block.empty() &&
            adapter->table->GetParameters(adapter.get(), nullptr) != static_cast<int32_t>(request.block.size())) {
            adapter.reset();
        }
        return adapter;
    };
    auto adapter = create();
    if (!adapter) {
        return false;
    }
    const uint32_t d = request.durationMs == 0 ? 1 : request.durationMs;
    if (request.elapsedMs >= d && !request.moduleLastStep) {
        // A runtime redraws the stage with the new picture when a run ends.
        newFrame.CopyAll(&out);
        return true;
    }
    // Trame's picture is drawn row by row rather than with a call per pixel, at the
    // moment its curve maps t to.
    if (request.id == IdOf("SE13") &&
        DrawTrameAt(request.block, request.ease.MomentAt(std::min(request.elapsedMs, d), d), d, oldFrame, newFrame,
                    out)) {
        return true;
    }
    // The clock and the random generator are this thread's own, so requests on other
    // threads run at the same time.
    uint32_t now = 0;
    platform::SetTimeSource(ReadClock, &now);
    const bool replayed = ReplaysFromStart(request.id);
    // The run ends with its step at d: a later moment shows that last frame.
    const uint32_t at = std::min(request.elapsedMs, d);
    const RunTimeline timeline(d, request.frameRateNum == 0 ? kDefaultFrameRate : request.frameRateNum,
                               request.frameRateNum == 0 ? 1 : request.frameRateDen);
    const uint64_t below = timeline.FramesBelow(at);
    const uint64_t first = FirstStepBefore(replayed, at == d, below);
    auto run = [&](TransitionAdapter* transition, HostSurface* dest, HostSurface* oldSurface, HostSurface* newSurface) {
        crt::srand(request.seed);
        transition->table->Begin(transition, d);
        auto step = [&](uint32_t t) {
            now = t;
            ChangedRect* changed = nullptr;
            transition->table->Step(transition, dest, oldSurface, newSurface, request.flags, &changed);
        };
        // Eased, the run is stepped at the moments the curve maps its frame times to.
        bool whole = true;
        for (uint64_t i = first; i < below && whole; ++i) {
            whole = !(request.cancelled && request.cancelled());
            if (whole) {
                step(request.ease.MomentAt(timeline.Time(i), d));
            }
        }
        if (whole) {
            step(request.ease.MomentAt(at, d));
        }
        transition->table->End(transition);
        return whole;
    };
    bool drawn = false;
    bool whole = true;
    // Back's step copies the whole new picture and shrinks the old one over it: recorded,
    // the old picture is not drawn first only to be covered.
    if (replayed || request.id == IdOf("SE10")) {
        // The steps before t are recorded and only what they leave visible is drawn.
        DrawList list(oldFrame, newFrame, out);
        whole = run(adapter.get(), list.Dest(), list.Old(), list.New());
        if (whole && list.Complete()) {
            list.Draw();
            drawn = true;
        } else if (whole) {
            adapter = create();
        }
    }
    if (!drawn && whole) {
        oldFrame.CopyAll(&out);
        whole = run(adapter.get(), &out, &oldFrame, &newFrame);
    }
    platform::SetTimeSource(nullptr, nullptr);
    return whole;
}

} // namespace wqtrans
