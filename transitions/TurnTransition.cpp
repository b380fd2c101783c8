#include "transitions/TurnTransition.h"

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
constexpr int kFullImageCheckBox = 1026;
constexpr int kInverseCheckBox = 1027;
constexpr int32_t kMinRotations = 1;
constexpr int32_t kMaxRotations = 7;

// One turn, as the transition has always counted it: a little less than 2 pi.
constexpr double kTurn = 6.28318;

} // namespace

TurnTransition::TurnTransition() {
    nameId = 1027;
    dialogId = 114;
}

Transition* TurnTransition::Clone() { return new (std::nothrow) TurnTransition(); }

uint32_t TurnTransition::GetID() { return kId; }

int32_t TurnTransition::GetParams(void* out) { return WriteBlock(out, rotations, fullImage, inverse); }

void TurnTransition::SetParams(const void* block, uint32_t size) {
    ReadBlock(block, size, rotations, fullImage, inverse);
}

int32_t TurnTransition::CloseSettings(int32_t apply) {
    return TrackBarPanelClose(*this, {kRotationsTrackBar, kMinRotations, kMaxRotations, rotations},
                              {{kFullImageCheckBox, fullImage}, {kInverseCheckBox, inverse}}, apply);
}

INT_PTR TurnTransition::OnSettingsMessage(HWND window, UINT message, WPARAM, LPARAM) {
    return TrackBarPanelMessage(*this, {kRotationsTrackBar, kMinRotations, kMaxRotations, rotations},
                                {{kFullImageCheckBox, fullImage}, {kInverseCheckBox, inverse}}, window, message);
}

int32_t TurnTransition::Step(HostSurface* dest, HostSurface* oldFrame, HostSurface* newFrame, int32_t, ChangedRect**) {
    return Guarded([&]() -> int32_t {
        DrawCalls drew;
        const Opening opening = OpenStepInRun(dest, newFrame, width, height, [&] { angle = 0.0; });
        if (opening.answer) {
            return *opening.answer;
        }
        const uint32_t e = opening.elapsed;
        const uint32_t d = duration;
        const uint32_t w = width;
        const uint32_t h = height;
        const uint32_t hw = w >> 1;
        const uint32_t hh = h >> 1;

        // e x rotations x turn, then divided by d: the order matters to the last bit.
        angle = static_cast<double>(e) * static_cast<double>(static_cast<uint32_t>(rotations)) * kTurn /
                static_cast<double>(d);
        if (inverse == 1) {
            angle = kTurn - angle;
        }
        // The radius shrinks from half the width to 0; it serves both axes.
        const auto r = static_cast<double>(hw - Progress(hw, e, d));
        const int32_t xc = TruncateToInt32(r * std::cos(angle) + static_cast<double>(hw));
        const int32_t yc = TruncateToInt32(r * std::sin(angle) + static_cast<double>(hh));
        const uint32_t wd = Progress(w, e, d);
        const uint32_t hd = Progress(h, e, d);

        drew(oldFrame->StretchAll(dest, 0, 0, static_cast<int32_t>(w), static_cast<int32_t>(h), 0, 0, 0, 4));
        const auto xd = static_cast<int32_t>(static_cast<uint32_t>(xc) - (wd >> 1));
        const auto yd = static_cast<int32_t>(static_cast<uint32_t>(yc) - (hd >> 1));
        if (fullImage == 1) {
            drew(newFrame->StretchAll(dest, xd, yd, static_cast<int32_t>(wd), static_cast<int32_t>(hd), 0, 0, 0, 4));
        } else {
            // An unscaled window onto the bottom-right part of the new frame.
            drew(newFrame->StretchRect(dest, xd, yd, static_cast<int32_t>(wd), static_cast<int32_t>(hd),
                                       static_cast<int32_t>(w - wd), static_cast<int32_t>(h - hd),
                                       static_cast<int32_t>(wd), static_cast<int32_t>(hd), 0, 0, 0, 4));
        }
        return drew.Result();
    });
}

} // namespace wqtrans
