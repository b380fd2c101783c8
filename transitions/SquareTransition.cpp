#include "transitions/SquareTransition.h"

#include <cstdint>
#include <new>

#include "module/ParamBlock.h"
#include "transitions/PanelControls.h"
#include "transitions/Progress.h"

namespace wqtrans {

namespace {

constexpr int kSizeTrackBar = 1025;
constexpr int kStretchCheckBox = 1026;
constexpr int32_t kMinPercent = 20;
constexpr int32_t kMaxPercent = 80;

} // namespace

SquareTransition::SquareTransition() {
    nameId = 1020;
    dialogId = 107;
}

Transition* SquareTransition::Clone() { return new (std::nothrow) SquareTransition(); }

uint32_t SquareTransition::GetID() { return kId; }

int32_t SquareTransition::GetParams(void* out) { return WriteBlock(out, spare, sizePercent, stretchInside); }

void SquareTransition::SetParams(const void* block, uint32_t size) {
    ReadBlock(block, size, spare, sizePercent, stretchInside);
}

int32_t SquareTransition::CloseSettings(int32_t apply) {
    return TrackBarPanelClose(*this, {kSizeTrackBar, kMinPercent, kMaxPercent, sizePercent},
                              {{kStretchCheckBox, stretchInside}}, apply);
}

INT_PTR SquareTransition::OnSettingsMessage(HWND window, UINT message, WPARAM, LPARAM) {
    return TrackBarPanelMessage(*this, {kSizeTrackBar, kMinPercent, kMaxPercent, sizePercent},
                                {{kStretchCheckBox, stretchInside}}, window, message);
}

int32_t SquareTransition::Step(HostSurface* dest, HostSurface*, HostSurface* newFrame, int32_t, ChangedRect**) {
    return Guarded([&]() -> int32_t {
        DrawCalls drew;
        const Opening opening = OpenStepInRun(dest, newFrame, width, height);
        if (opening.answer) {
            return *opening.answer;
        }
        const uint32_t e = opening.elapsed;
        const uint32_t d = duration;
        const uint32_t w = width;
        const uint32_t h = height;
        // A stored percentage outside 0 to 100 is drawn as the nearest bound, so that
        // 100 - S never wraps; the stored value itself is kept.
        const uint32_t s = sizePercent < 0 ? 0u : sizePercent > 100 ? 100u : static_cast<uint32_t>(sizePercent);

        // The inner rectangle: its final size, its size now, and its place.
        const uint32_t ws = (s * w) / 100;
        const uint32_t hs = (s * h) / 100;
        const uint32_t wd = Progress(ws, e, d);
        const uint32_t hd = Progress(hs, e, d);
        const auto xd = static_cast<int32_t>((w >> 1) - (wd >> 1));
        const auto yd = static_cast<int32_t>((h >> 1) - (hd >> 1));
        if (stretchInside != 0) {
            drew(newFrame->StretchRect(dest, xd, yd, static_cast<int32_t>(wd), static_cast<int32_t>(hd),
                                       static_cast<int32_t>((w >> 1) - (ws >> 1)),
                                       static_cast<int32_t>((h >> 1) - (hs >> 1)), static_cast<int32_t>(ws),
                                       static_cast<int32_t>(hs), 0, 0, 0, 2));
        } else {
            drew(newFrame->CopyRect(dest, xd, yd, xd, yd, static_cast<int32_t>(wd), static_cast<int32_t>(hd), 0, 0, 0,
                                    2));
        }

        // The edge bands: their final thickness and their thickness now.
        const uint32_t bw = ((w * (100 - s)) / 100) >> 1;
        const uint32_t bh = ((h * (100 - s)) / 100) >> 1;
        const uint32_t mx = Progress(bw, e, d);
        const uint32_t my = Progress(bh, e, d);
        const auto bottom = static_cast<int32_t>(h - my);
        const auto right = static_cast<int32_t>(w - mx);
        const auto iw = static_cast<int32_t>(w);
        const auto ih = static_cast<int32_t>(h);
        const auto imx = static_cast<int32_t>(mx);
        const auto imy = static_cast<int32_t>(my);
        drew(newFrame->CopyRect(dest, 0, 0, 0, 0, iw, imy, 0, 0, 0, 2));
        drew(newFrame->CopyRect(dest, 0, 0, 0, 0, imx, ih, 0, 0, 0, 2));
        drew(newFrame->CopyRect(dest, 0, bottom, 0, bottom, iw, imy, 0, 0, 0, 2));
        drew(newFrame->CopyRect(dest, right, 0, right, 0, imx, ih, 0, 0, 0, 2));
        return drew.Result();
    });
}

} // namespace wqtrans
