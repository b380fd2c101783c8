#include "transitions/ZoomTransition.h"

#include <cstdint>
#include <new>

#include "transitions/Geometry.h"
#include "transitions/Progress.h"

namespace wqtrans {

namespace {

constexpr int32_t kZoomOut = 2;
constexpr int32_t kTransparent = 4;

} // namespace

ZoomTransition::ZoomTransition() {
    nameId = 1012;
    dialogId = 0;
}

Transition* ZoomTransition::Clone() { return new (std::nothrow) ZoomTransition(); }

uint32_t ZoomTransition::GetID() { return kId; }

int32_t ZoomTransition::GetMode() { return 15; }

int32_t ZoomTransition::Step(HostSurface* dest, HostSurface* oldFrame, HostSurface* newFrame, int32_t flags,
                             ChangedRect**) {
    return Guarded([&]() -> int32_t {
        const int32_t w = oldFrame->Width();
        const int32_t h = oldFrame->Height();
        if (firstStep != 0) {
            firstStep = 0;
        }
        if (dest->IsReady() == 0) {
            return 0;
        }
        if (duration == 0) {
            return StepResult(newFrame->CopyAll(dest));
        }
        const uint32_t d = duration;
        uint32_t e = UpdateElapsed();
        // Past the end only after the clock was set back: drawn as the end, so that
        // the shrinking size never goes negative.
        if (e > d) {
            e = d;
        }
        const uint32_t a = Progress(static_cast<uint32_t>(w), e, d);
        const uint32_t b = Progress(static_cast<uint32_t>(h), e, d);
        HostSurface* scaled = nullptr;
        int32_t sw = 0;
        int32_t sh = 0;
        DrawCalls drew;
        if ((flags & kZoomOut) != 0) {
            drew(newFrame->CopyAll(dest));
            scaled = oldFrame;
            sw = static_cast<int32_t>(static_cast<uint32_t>(w) - a);
            sh = static_cast<int32_t>(static_cast<uint32_t>(h) - b);
        } else {
            drew(oldFrame->CopyAll(dest));
            scaled = newFrame;
            sw = static_cast<int32_t>(a);
            sh = static_cast<int32_t>(b);
        }
        const int32_t mode = (flags & kTransparent) != 0 ? 1 : 0;
        // Centred in 32-bit geometry: sizes near 2^31 wrap rather than overflow.
        drew(scaled->StretchRect(dest, Wrap32(int64_t{w} - sw) / 2, Wrap32(int64_t{h} - sh) / 2, sw, sh, 0, 0, w, h,
                                 mode, 0, 0, 0));
        return drew.Result();
    });
}

} // namespace wqtrans
