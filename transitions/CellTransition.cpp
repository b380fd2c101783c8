#include "transitions/CellTransition.h"

#include <new>

#include "module/ParamBlock.h"
#include "transitions/Geometry.h"
#include "transitions/PanelControls.h"
#include "transitions/Progress.h"

namespace wqtrans {

namespace {

constexpr int kColumnsBar = 1025;
constexpr int kRowsBar = 1026;
constexpr int32_t kMinCount = 1;
constexpr int32_t kMaxCount = 30;

} // namespace

CellTransition::CellTransition() {
    nameId = 1031;
    dialogId = 118;
}

Transition* CellTransition::Clone() { return new (std::nothrow) CellTransition(); }

uint32_t CellTransition::GetID() { return kId; }

int32_t CellTransition::GetParams(void* out) { return WriteBlock(out, columns, rows); }

void CellTransition::SetParams(const void* block, uint32_t size) { ReadBlock(block, size, columns, rows); }

int32_t CellTransition::CloseSettings(int32_t apply) {
    if (apply != 0 && dialog != nullptr) {
        ReadTrackBarUnlessZero(dialog, kColumnsBar, columns);
        ReadTrackBarUnlessZero(dialog, kRowsBar, rows);
    }
    return Transition::CloseSettings(apply);
}

INT_PTR CellTransition::OnSettingsMessage(HWND window, UINT message, WPARAM, LPARAM) {
    if (message == WM_INITDIALOG) {
        SetUpTrackBar(window, kColumnsBar, kMinCount, kMaxCount, columns);
        SetUpTrackBar(window, kRowsBar, kMinCount, kMaxCount, rows);
        return 1;
    }
    if (message == WM_HSCROLL) {
        ReadTrackBar(window, kColumnsBar, kMinCount, kMaxCount, columns);
        ReadTrackBar(window, kRowsBar, kMinCount, kMaxCount, rows);
        Finish();
    }
    return 0;
}

int32_t CellTransition::Step(HostSurface* dest, HostSurface*, HostSurface* newFrame, int32_t, ChangedRect**) {
    return Guarded([&]() -> int32_t {
        DrawCalls drew;
        const std::optional<uint32_t> opened = OpenStep(dest, newFrame, width, height);
        if (!opened) {
            return 0;
        }
        const uint32_t e = *opened;
        const uint32_t d = duration;
        const uint32_t W = width;
        const uint32_t H = height;
        const auto C = static_cast<uint32_t>(columns);
        const auto R = static_cast<uint32_t>(rows);
        // A grid without cells (a stored count of 0) or with cells less than a pixel
        // wide or high could never show the new frame: it is shown whole instead, and
        // so is a frame too large to draw cell by cell.
        if (static_cast<double>(e) / static_cast<double>(d) > 1.0 || C == 0 || R == 0 || W / C == 0 || H / R == 0 ||
            !FrameFits(W, H)) {
            return StepResult(newFrame->CopyAll(dest));
        }

        const uint32_t cw = W / C;
        const uint32_t ch = H / R;
        const double fw = static_cast<double>(W) / static_cast<double>(C);
        const double fh = static_cast<double>(H) / static_cast<double>(R);
        const uint32_t wc = Progress(cw, e, d);
        const uint32_t hc = Progress(ch, e, d);
        for (uint32_t i = 0; i < C; ++i) {
            const auto x = static_cast<uint32_t>(static_cast<double>(i) * fw);
            const auto px = static_cast<int32_t>(x + ((cw - wc) >> 1));
            for (uint32_t j = 0; j < R; ++j) {
                const auto y = static_cast<uint32_t>(static_cast<double>(j) * fh);
                const auto py = static_cast<int32_t>(y + ((ch - hc) >> 1));
                drew(newFrame->StretchRect(dest, px, py, static_cast<int32_t>(wc), static_cast<int32_t>(hc), px, py,
                                           static_cast<int32_t>(wc), static_cast<int32_t>(hc), 0, 0, 0, 4));
            }
        }
        return drew.Result();
    });
}

} // namespace wqtrans
