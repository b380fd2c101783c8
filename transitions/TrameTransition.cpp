#include "transitions/TrameTransition.h"

#include <new>

#include "module/ParamBlock.h"
#include "transitions/FourButtonGroup.h"
#include "transitions/Geometry.h"
#include "transitions/Progress.h"

namespace wqtrans {

namespace {

// One pixel of the new frame, copied in place.
inline int32_t CopyPixel(HostSurface* dest, HostSurface* newFrame, uint32_t x, uint32_t y) {
    const auto xs = static_cast<int32_t>(x);
    const auto ys = static_cast<int32_t>(y);
    return newFrame->CopyRect(dest, xs, ys, xs, ys, 1, 1, 0, 0, 0, 2);
}

} // namespace

TrameTransition::TrameTransition() {
    nameId = 1032;
    dialogId = 119;
}

Transition* TrameTransition::Clone() { return new (std::nothrow) TrameTransition(); }

uint32_t TrameTransition::GetID() { return kId; }

int32_t TrameTransition::GetParams(void* out) { return WriteBlock(out, pattern); }

void TrameTransition::SetParams(const void* block, uint32_t size) { ReadBlock(block, size, pattern); }

INT_PTR TrameTransition::OnSettingsMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return FourButtonMessage(*this, pattern, window, message, wParam, lParam);
}

int32_t TrameTransition::CloseSettings(int32_t apply) { return FourButtonClose(*this, pattern, apply); }

// The vertical sweeps: in each even column x the rows due come down from the top; in
// the column beside it they come up from the bottom. With a stride of 2 only every
// other row is swept, and the upward sweep moves one row down.
void TrameTransition::SweepColumns(HostSurface* dest, HostSurface* newFrame, uint32_t R, uint32_t stride,
                                   DrawCalls& drew) {
    const uint32_t W = width;
    const uint32_t H = height;
    const uint32_t upFrom = H - R - (R % 2);
    const uint32_t upTo = H - rowsDone;
    const uint32_t shift = stride == 2 ? 1 : 0;
    for (uint32_t x = 0; x < W; x += 2) {
        for (uint32_t y = rowsDone; y < R; y += stride) {
            drew(CopyPixel(dest, newFrame, x, y));
        }
        for (uint32_t j = upFrom; j < upTo; j += stride) {
            drew(CopyPixel(dest, newFrame, x + 1, j + shift));
        }
    }
}

// The horizontal sweeps: in each row the columns due come in from the left on odd
// columns and from the right on the others. With a stride of 2 only even rows are
// swept, and the leftward sweep moves one row down.
void TrameTransition::SweepRows(HostSurface* dest, HostSurface* newFrame, uint32_t K, uint32_t stride,
                                DrawCalls& drew) {
    const uint32_t W = width;
    const uint32_t H = height;
    const uint32_t leftFrom = W - K - (K % 2);
    const uint32_t leftTo = W - columnsDone;
    const uint32_t shift = stride == 2 ? 1 : 0;
    for (uint32_t y = 0; y < H; y += stride) {
        if (columnsDone < K) {
            for (uint32_t x = columnsDone + 1; x <= K; x += 2) {
                drew(CopyPixel(dest, newFrame, x, y));
            }
        }
        for (uint32_t x = leftFrom; x < leftTo; x += 2) {
            drew(CopyPixel(dest, newFrame, x, y + shift));
        }
    }
}

int32_t TrameTransition::Step(HostSurface* dest, HostSurface*, HostSurface* newFrame, int32_t, ChangedRect**) {
    return Guarded([&]() -> int32_t {
        DrawCalls drew;
        const std::optional<uint32_t> opened = OpenStep(dest, newFrame, width, height, [&] {
            rowsDone = 0;
            columnsDone = 0;
        });
        if (!opened) {
            return 0;
        }
        const uint32_t e = *opened;
        // A frame too large to sweep pixel by pixel is shown whole.
        if (static_cast<double>(e) / static_cast<double>(duration) > 1.0 || !FrameFits(width, height)) {
            return StepResult(newFrame->CopyAll(dest));
        }
        if (pattern < 0 || pattern > 2) {
            return drew.Result();
        }
        // On a frame of odd width or height the sweeps cannot reach every pixel; the
        // last step shows the whole new frame instead.
        if (e >= duration && ((width | height) & 1) != 0) {
            return StepResult(newFrame->CopyAll(dest));
        }
        const uint32_t R = Progress(height, e, duration);
        const uint32_t K = Progress(width, e, duration);
        // The sweeps move on only when every pixel due was drawn; otherwise the next
        // step sweeps again from where they stood.
        switch (pattern) {
        case 0:
            SweepColumns(dest, newFrame, R, 1, drew);
            break;
        case 1:
            SweepRows(dest, newFrame, K, 1, drew);
            break;
        default:
            SweepColumns(dest, newFrame, R, 2, drew);
            SweepRows(dest, newFrame, K, 2, drew);
            break;
        }
        if (drew.AllDrawn()) {
            if (pattern != 1) {
                rowsDone = R - R % 2;
            }
            if (pattern != 0) {
                columnsDone = K - K % 2;
            }
        }
        return drew.Result();
    });
}

} // namespace wqtrans
