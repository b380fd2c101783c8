#include "transitions/ZigzagTransition.h"

#include <new>

#include "module/ParamBlock.h"
#include "transitions/Geometry.h"
#include "transitions/PanelControls.h"
#include "transitions/SpotWidthLabel.h"

namespace wqtrans {

namespace {

constexpr int kHorizontal = 1000;
constexpr int kVertical = 1001;
constexpr int kFirstCorner = 1100;
constexpr int kLastCorner = 1104;
constexpr int kTrackBar = 1025;
constexpr int32_t kMinSpot = 1;
constexpr int32_t kMaxSpot = 100;
constexpr int32_t kCentre = 4;

} // namespace

ZigzagTransition::ZigzagTransition() {
    nameId = 1008;
    dialogId = 103;
}

Transition* ZigzagTransition::Clone() { return new (std::nothrow) ZigzagTransition(); }

uint32_t ZigzagTransition::GetID() { return kId; }

int32_t ZigzagTransition::GetParams(void* out) { return WriteBlock(out, spotWidth, startCorner, direction); }

void ZigzagTransition::SetParams(const void* block, uint32_t size) {
    ReadBlock(block, size, spotWidth, startCorner, direction);
}

void ZigzagTransition::ReadDirection(HWND window) {
    direction = static_cast<uint16_t>(ReadRadioGroup(window, kHorizontal, kVertical));
}

void ZigzagTransition::ReadStartCorner(HWND window) {
    startCorner = static_cast<uint16_t>(ReadRadioGroup(window, kFirstCorner, kLastCorner));
}

INT_PTR ZigzagTransition::OnSettingsMessage(HWND window, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        CheckRadioGroup(window, kHorizontal, kVertical, direction);
        CheckRadioGroup(window, kFirstCorner, kLastCorner, startCorner);
        ShowSpotWidth(window, spotWidth);
        SetUpTrackBar(window, kTrackBar, kMinSpot, kMaxSpot, spotWidth);
        return 1;
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        if (id == kHorizontal || id == kVertical) {
            ReadDirection(window);
            Finish();
        } else if (id >= kFirstCorner && id <= kLastCorner) {
            ReadStartCorner(window);
            Finish();
        }
        return 0;
    }
    case WM_HSCROLL: {
        if (ReadTrackBar(window, kTrackBar, kMinSpot, kMaxSpot, spotWidth)) {
            ShowSpotWidth(window, spotWidth);
            Finish();
        }
        return 0;
    }
    default:
        return 0;
    }
}

int32_t ZigzagTransition::CloseSettings(int32_t apply) {
    if (apply != 0 && dialog != nullptr) {
        ReadDirection(dialog);
        ReadStartCorner(dialog);
        ReadTrackBarUnlessZero(dialog, kTrackBar, spotWidth);
    }
    return Transition::CloseSettings(apply);
}

void ZigzagTransition::SetUp(int32_t W, int32_t H) {
    const auto w = static_cast<uint32_t>(W);
    const auto h = static_cast<uint32_t>(H);
    const auto spot = static_cast<uint32_t>(spotWidth);
    uint32_t s = ((spot * h) / 100 + (spot * w) / 100) >> 1;
    if (s == 0) {
        s = 1;
    }
    spotSize = s;
    columns = (s + w - 1) / s;
    rows = (s + h - 1) / s;
    // Any direction but 0 runs along columns.
    runDirection = direction == 0 ? 0 : 1;
    runCorner = startCorner;
    heading = startCorner;
    const auto side = static_cast<int32_t>(s);
    switch (startCorner) {
    case 0:
        cellX = 0;
        cellY = 0;
        break;
    case 1:
        cellX = W - side;
        cellY = 0;
        break;
    case 2:
        cellX = 0;
        cellY = H - side;
        break;
    case 3:
        cellX = W - side;
        cellY = H - side;
        break;
    case kCentre:
        cellX = W / 2 - side;
        cellY = H / 2 - side;
        heading = runDirection;
        spiralLeft = W / 2 - 2 * side;
        spiralTop = H / 2 - 2 * side;
        spiralRight = W / 2 + side;
        spiralBottom = H / 2 + side;
        columns = (static_cast<uint32_t>(2 * (W / 2)) - 2) / s + 2;
        rows = (static_cast<uint32_t>(2 * (H / 2)) - 2) / s + 2;
        break;
    default:
        break;
    }
    cellsDrawn = 0;
    cellTotal = columns * rows;
    firstStep = 0;
}

void ZigzagTransition::Advance(int32_t W, int32_t H) {
    const auto s = static_cast<int32_t>(spotSize);
    if (runCorner == kCentre) {
        // A clockwise square spiral; each turn pushes the bound it met one cell out.
        switch (heading) {
        case 0:
            if (cellX + s >= spiralRight) {
                spiralRight += s;
                cellY += s;
                heading = 1;
            } else {
                cellX += s;
            }
            break;
        case 1:
            if (cellY + s >= spiralBottom) {
                spiralBottom += s;
                cellX -= s;
                heading = 3;
            } else {
                cellY += s;
            }
            break;
        case 3:
            if (cellX <= spiralLeft) {
                spiralLeft -= s;
                cellY -= s;
                heading = 2;
            } else {
                cellX -= s;
            }
            break;
        default:
            if (cellY <= spiralTop) {
                spiralTop -= s;
                cellX += s;
                heading = 0;
            } else {
                cellY -= s;
            }
            break;
        }
        return;
    }
    if (runDirection == 0) {
        // Along rows, reversing at the end of each row.
        switch (heading) {
        case 0:
        case 2:
            if (cellX + s >= W) {
                cellY += heading == 0 ? s : -s;
                heading = heading == 0 ? 1 : 3;
            } else {
                cellX += s;
            }
            break;
        default:
            if (cellX <= 0) {
                cellY += heading == 1 ? s : -s;
                heading = heading == 1 ? 0 : 2;
            } else {
                cellX -= s;
            }
            break;
        }
        return;
    }
    // Along columns, reversing at the end of each column.
    switch (heading) {
    case 0:
    case 1:
        if (cellY + s >= H) {
            cellX += heading == 0 ? s : -s;
            heading = heading == 0 ? 2 : 3;
        } else {
            cellY += s;
        }
        break;
    default:
        if (cellY <= 0) {
            cellX += heading == 2 ? s : -s;
            heading = heading == 2 ? 0 : 1;
        } else {
            cellY -= s;
        }
        break;
    }
}

int32_t ZigzagTransition::Step(HostSurface* dest, HostSurface* oldFrame, HostSurface* newFrame, int32_t,
                               ChangedRect**) {
    return Guarded([&]() -> int32_t {
        const int32_t W = oldFrame->Width();
        const int32_t H = oldFrame->Height();
        // A frame too large to draw cell by cell (or of a negative size) is shown
        // whole; its path is never set up.
        const bool fits = FrameFits(static_cast<uint32_t>(W), static_cast<uint32_t>(H));
        if (firstStep != 0) {
            if (fits) {
                SetUp(W, H);
            }
            firstStep = 0;
        }
        if (dest->IsReady() == 0) {
            return 0;
        }
        // A start corner above 4 can only come from a stored block; it names no path,
        // so such a run shows the new frame at once.
        if (!fits || spotSize >= static_cast<uint32_t>(W) || spotSize >= static_cast<uint32_t>(H) ||
            runCorner > kCentre) {
            return StepResult(newFrame->CopyAll(dest));
        }
        uint32_t e = UpdateElapsed();
        if (e > duration) {
            e = duration;
        }
        const auto target = static_cast<uint32_t>(static_cast<double>(cellTotal) * static_cast<double>(e) /
                                                  static_cast<double>(duration));
        const auto already = static_cast<uint32_t>(cellsDrawn);
        // The target only falls (the clock set back) when the run has drawn more
        // already: nothing new is due then.
        if (target <= already) {
            return 1;
        }
        // The path moves on, and the count grows, only over cells that were drawn: the
        // next step starts again at a cell whose drawing failed.
        const auto side = static_cast<int32_t>(spotSize);
        for (uint32_t n = target - already; n > 0; --n) {
            if (newFrame->CopyRect(dest, cellX, cellY, cellX, cellY, side, side, 0, 0, 0, 2) == 0) {
                return 0;
            }
            Advance(W, H);
            ++cellsDrawn;
        }
        return 1;
    });
}

} // namespace wqtrans
