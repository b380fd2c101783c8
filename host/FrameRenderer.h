// The frame at any moment: the picture at elapsed time t of a run of duration d from
// an old picture to a new one, for a transition and its parameter block.
//
// Editors and frame servers ask for frames in any order, and their inputs are moving
// video, so they cannot keep stepping one destination as a presentation runtime does.
// RenderFrameAt answers each request on its own: the picture depends only on the
// request and the two pictures, never on what was asked before or in what order.
#pragma once

#include <cstdint>
#include <vector>

#include "host/Motion.h"
#include "host/SoftwareSurface.h"
#include "module/TransitionAdapter.h"

namespace wqtrans {

struct FrameRequest {
    uint32_t id = 0;            // the transition's four-character ID
    std::vector<uint8_t> block; // its parameter block; empty for a fresh instance's
    uint32_t seed = 1;          // the module's random generator is seeded with it
    int32_t flags = 0;          // the Step flags
    uint32_t durationMs = 1000; // d (0 counts as 1, as Begin takes it)
    uint32_t elapsedMs = 0;     // t
    // At t >= d, the module's own drawing of its last step rather than the new picture
    // that a runtime shows once a run has ended (for those who study the module).
    bool moduleLastStep = false;
    // The host's frame rate, frameRateNum / frameRateDen frames a second (30000 / 1001
    // for NTSC video). A transition whose picture depends on its earlier steps is
    // replayed at the frame times of a run at that rate, floor(i x 1000 x frameRateDen
    // / frameRateNum) ms, as the host itself would have stepped it. 0 when the host does
    // not know its rate: 25 frames a second.
    uint32_t frameRateNum = 0;
    uint32_t frameRateDen = 1;
    // The motion curve (host/Motion.h): the run is stepped at the moments the curve maps
    // t and the replay timeline's frame times to. Linear by default.
    MotionCurve ease = {};
    // The mirror run: the picture at d - t of the run from the new picture to the old one.
    bool reverse = false;
};

// The frame rate of the replay timeline when a request does not give one.
inline constexpr uint32_t kDefaultFrameRate = 25;

// The parameter block of `adapter`, read through its table (empty for a transition
// without one), as a request takes it.
std::vector<uint8_t> ParameterBlock(TransitionAdapter* adapter);

// Whether the picture of transition `id` at t depends on the steps before t, so that
// RenderFrameAt replays it on the request's timeline.
bool ReplaysFromStart(uint32_t id);

// Draws into `out` the picture at request.elapsedMs: the picture of a run stepped at the
// request's frame times up to t, drawn on a destination that started as the old
// picture. A transition that draws its whole picture at t in one step is made afresh and
// stepped once at t; one whose picture depends on its earlier steps is stepped at the
// frame times below t and at t, with the steps' drawings recorded and only what later
// steps leave visible drawn. At t >= d `out` is the new picture exactly, unless the
// request asks for the module's last step. The three surfaces must have one size and
// `out` must be writable; false (with `out` untouched) otherwise, for an unknown ID and
// for a block of the wrong size. An eased request is stepped at the curve's moments
// (its frame times and t mapped); a reversed one draws its mirror run (host/Motion.h).
// Requests on different threads run at the same time:
// the module's clock and random generator are per thread. The calling thread's clock
// source is the system's again afterwards.
bool RenderFrameAt(const FrameRequest& request, SoftwareSurface& oldFrame, SoftwareSurface& newFrame,
                   SoftwareSurface& out);

} // namespace wqtrans
