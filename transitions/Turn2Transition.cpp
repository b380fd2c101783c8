#include "transitions/Turn2Transition.h"

#include <cmath>
#include <cstdint>
#include <new>

#include "module/ParamBlock.h"
#include "transitions/Geometry.h"
#include "transitions/PanelControls.h"
#include "transitions/Progress.h"

namespace wqtrans {

namespace {

constexpr int kRotationsTrackBar = 1025;
constexpr int kInverseCheckBox = 1026;
constexpr int32_t kMinRotations = 1;
constexpr int32_t kMaxRotations = 10;

// One turn, as the transition has always counted it: a little less than 2 pi.
constexpr double kTurn = 6.28318;

} // namespace

Turn2Transition::Turn2Transition() {
    nameId = 1021;
    dialogId = 120;
}

Transition* Turn2Transition::Clone() { return new (std::nothrow) Turn2Transition(); }

uint32_t Turn2Transition::GetID() { return kId; }

int32_t Turn2Transition::GetParams(void* out) { return WriteBlock(out, rotations, inverse); }

void Turn2Transition::SetParams(const void* block, uint32_t size) { ReadBlock(block, size, rotations, inverse); }

int32_t Turn2Transition::CloseSettings(int32_t apply) {
    return TrackBarPanelClose(*this, {kRotationsTrackBar, kMinRotations, kMaxRotations, rotations},
                              {{kInverseCheckBox, inverse}}, apply);
}

INT_PTR Turn2Transition::OnSettingsMessage(HWND window, UINT message, WPARAM, LPARAM) {
    return TrackBarPanelMessage(*this, {kRotationsTrackBar, kMinRotations, kMaxRotations, rotations},
                                {{kInverseCheckBox, inverse}}, window, message);
}

int32_t Turn2Transition::Step(HostSurface* dest, HostSurface* oldFrame, HostSurface* newFrame, int32_t, ChangedRect**) {
    return Guarded([&]() -> int32_t {
        DrawCalls drew;
        const Opening opening = OpenStepInRun(dest, newFrame, width, height, [&] { turnsDone = 0; });
        if (opening.answer) {
            return *opening.answer;
        }
        const uint32_t e = opening.elapsed;
        const uint32_t d = duration;
        const uint32_t w = width;
        const uint32_t h = height;
        const uint32_t hw = w >> 1;
        const uint32_t hh = h >> 1;

        // rotations x e x turn, divided by d, less the turns already counted: the order
        // matters to the last bit.
        double a = static_cast<double>(static_cast<uint32_t>(rotations)) * static_cast<double>(e) * kTurn /
                       static_cast<double>(d) -
                   static_cast<double>(turnsDone) * kTurn;
        if (inverse == 1) {
            a = kTurn - a;
        }
        // The offset grows from 0 to the width; it serves both axes.
        const auto rr = static_cast<double>(Progress(w, e, d));

        // A whole turn counts once it is reached, whatever the surface makes of this
        // step's drawing: the angle follows the clock, not the drawing.
        if (inverse == 1 ? a <= 0.0 : a >= kTurn) {
            ++turnsDone;
        }
        drew(newFrame->CopyAll(dest));
        // Truncated around the centre, so that a small negative offset becomes -1, not 0.
        const int32_t yo =
            Wrap32(int64_t{TruncateToInt32(rr * std::sin(a) + static_cast<double>(hh))} - static_cast<int32_t>(hh));
        const int32_t xo =
            Wrap32(int64_t{TruncateToInt32(rr * std::cos(a) + static_cast<double>(hw))} - static_cast<int32_t>(hw));
        drew(oldFrame->CopyRect(dest, xo, yo, 0, 0, static_cast<int32_t>(w), static_cast<int32_t>(h), 0, 0, 0, 2));
        return drew.Result();
    });
}

} // namespace wqtrans
