#include "transitions/OpenTransition.h"

#include <new>

#include "module/ParamBlock.h"
#include "transitions/Progress.h"

namespace wqtrans {

OpenTransition::OpenTransition() {
    nameId = 1024;
    dialogId = 111;
}

Transition* OpenTransition::Clone() { return new (std::nothrow) OpenTransition(); }

uint32_t OpenTransition::GetID() { return kId; }

int32_t OpenTransition::GetParams(void* out) { return WriteBlock(out, option); }

void OpenTransition::SetParams(const void* block, uint32_t size) { ReadBlock(block, size, option); }

int32_t OpenTransition::Step(HostSurface* dest, HostSurface*, HostSurface* newFrame, int32_t, ChangedRect**) {
    return Guarded([&]() -> int32_t {
        DrawCalls drew;
        const std::optional<uint32_t> opened = OpenStep(dest, newFrame, width, height);
        if (!opened) {
            return 0;
        }
        const uint32_t e = *opened;
        const uint32_t d = duration;
        const double p = static_cast<double>(e) / static_cast<double>(d);
        if (p > 1.0) {
            return StepResult(newFrame->CopyAll(dest));
        }

        const uint32_t W = width;
        const uint32_t H = height;
        const uint32_t w = W / 2;
        const uint32_t h = H / 2;
        // Pixels are uncovered in place: the source point is the destination point.
        const auto uncover = [&](uint32_t x, uint32_t y, uint32_t cw, uint32_t ch) {
            drew(newFrame->CopyRect(dest, static_cast<int32_t>(x), static_cast<int32_t>(y), static_cast<int32_t>(x),
                                    static_cast<int32_t>(y), static_cast<int32_t>(cw), static_cast<int32_t>(ch), 0, 0,
                                    0, 2));
        };

        if (p < 0.3) {
            // The cross: both bars grow past the frame's size until the switch at 0.3.
            const uint32_t G = 2 * Progress(2 * W, e, d);
            const uint32_t K = 2 * Progress(2 * H, e, d);
            const uint32_t barHeight = H / 7;
            const uint32_t barWidth = W / 7;
            uncover(w - G / 2, h - barHeight / 2, G, barHeight);
            uncover(w - barWidth / 2, h - K / 2, barWidth, K);
            return drew.Result();
        }

        // The quarters: negative sizes until half-time, which draw nothing and leave
        // the cross standing.
        const uint32_t gx = Progress(W, e, d) - w;
        const uint32_t gy = Progress(H, e, d) - h;
        uncover(w, 0, gx, h);
        uncover(w, h, w, gy);
        uncover(w - gx, h, gx, h);
        uncover(0, h - gy, w, gy);
        return drew.Result();
    });
}

} // namespace wqtrans
