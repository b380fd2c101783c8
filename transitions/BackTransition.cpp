#include "transitions/BackTransition.h"

#include <new>

#include "module/ParamBlock.h"
#include "transitions/PanelControls.h"
#include "transitions/Progress.h"

namespace wqtrans {

namespace {

constexpr int kFirstButton = 1007; // "Open (Stretch)"; 1007 + effect is the button of an effect
constexpr int kLastButton = 1014;  // "Slide (H)"

} // namespace

BackTransition::BackTransition() {
    nameId = 1029;
    dialogId = 116;
}

Transition* BackTransition::Clone() { return new (std::nothrow) BackTransition(); }

uint32_t BackTransition::GetID() { return kId; }

int32_t BackTransition::GetParams(void* out) { return WriteBlock(out, effect); }

void BackTransition::SetParams(const void* block, uint32_t size) { ReadBlock(block, size, effect); }

void BackTransition::ReadEffect(HWND window) { effect = ReadRadioGroup(window, kFirstButton, kLastButton); }

int32_t BackTransition::CloseSettings(int32_t apply) {
    if (apply != 0 && dialog != nullptr) {
        ReadEffect(dialog);
    }
    return Transition::CloseSettings(apply);
}

INT_PTR BackTransition::OnSettingsMessage(HWND window, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        CheckRadioGroup(window, kFirstButton, kLastButton, effect);
        return 1;
    }
    if (message == WM_COMMAND) {
        const int id = LOWORD(wParam);
        if (id >= kFirstButton && id <= kLastButton) {
            ReadEffect(window);
        }
        // Every command asks for a fresh preview, whichever control sent it.
        Finish();
    }
    return 0;
}

int32_t BackTransition::Step(HostSurface* dest, HostSurface* oldFrame, HostSurface* newFrame, int32_t, ChangedRect**) {
    return Guarded([&]() -> int32_t {
        DrawCalls drew;
        const std::optional<uint32_t> opened = OpenStep(dest, newFrame, width, height);
        if (!opened) {
            return 0;
        }
        const uint32_t e = *opened;
        const uint32_t d = duration;
        // The new frame lies behind whatever is left of the old one.
        drew(newFrame->CopyAll(dest));
        if (static_cast<double>(e) / static_cast<double>(d) > 1.0) {
            return drew.Result();
        }
        const auto fx = static_cast<uint32_t>(effect);
        if (fx > 7) {
            return drew.Result();
        }

        const uint32_t W = width;
        const uint32_t H = height;
        const uint32_t w = W / 2;
        const uint32_t h = H / 2;
        const uint32_t A = Progress(W, e, d);
        const uint32_t B = Progress(H, e, d);
        const uint32_t a = Progress(w, e, d);
        const uint32_t b = Progress(h, e, d);
        const auto copy = [&](uint32_t xd, uint32_t yd, uint32_t xs, uint32_t ys, uint32_t cw, uint32_t ch) {
            drew(oldFrame->CopyRect(dest, static_cast<int32_t>(xd), static_cast<int32_t>(yd), static_cast<int32_t>(xs),
                                    static_cast<int32_t>(ys), static_cast<int32_t>(cw), static_cast<int32_t>(ch), 0, 0,
                                    0, 0));
        };
        const auto stretch = [&](uint32_t xd, uint32_t yd, uint32_t xs, uint32_t ys) {
            drew(oldFrame->StretchRect(dest, static_cast<int32_t>(xd), static_cast<int32_t>(yd),
                                       static_cast<int32_t>(w - a), static_cast<int32_t>(h - b),
                                       static_cast<int32_t>(xs), static_cast<int32_t>(ys), static_cast<int32_t>(w),
                                       static_cast<int32_t>(h), 0, 0, 0, 0));
        };

        switch (fx) {
        case 0:
            stretch(0, 0, 0, 0);
            stretch(w + a, 0, w, 0);
            stretch(0, h + b, 0, h);
            stretch(w + a, h + b, w, h);
            break;
        case 1:
            copy(0, 0, A, B, W - A, H - B);
            break;
        case 2:
            copy(A, 0, 0, B, W - A, H - B);
            break;
        case 3:
            copy(0, B, A, 0, W - A, H - B);
            break;
        case 4:
            copy(A, B, 0, 0, W - A, H - B);
            break;
        case 5:
            // Unsigned negation: the left and upper quarters leave at negative positions.
            copy(0 - a, 0 - b, 0, 0, w, h);
            copy(w + a, 0 - b, w, 0, w, h);
            copy(0 - a, h + b, 0, h, w, h);
            copy(w + a, h + b, w, h, w, h);
            break;
        case 6:
            copy(0, 0 - b, 0, 0, W, h);
            copy(0, H - h + b, 0, h, W, h);
            break;
        default:
            copy(0 - a, 0, 0, 0, w, H);
            copy(W - w + a, 0, w, 0, w, H);
            break;
        }
        return drew.Result();
    });
}

} // namespace wqtrans
