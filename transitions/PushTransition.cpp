#include "transitions/PushTransition.h"

#include <new>

#include "module/ParamBlock.h"
#include "transitions/FourButtonGroup.h"
#include "transitions/Progress.h"

namespace wqtrans {

PushTransition::PushTransition() {
    nameId = 1025;
    dialogId = 112;
}

Transition* PushTransition::Clone() { return new (std::nothrow) PushTransition(); }

uint32_t PushTransition::GetID() { return kId; }

int32_t PushTransition::GetParams(void* out) { return WriteBlock(out, direction); }

void PushTransition::SetParams(const void* block, uint32_t size) { ReadBlock(block, size, direction); }

int32_t PushTransition::CloseSettings(int32_t apply) { return FourButtonClose(*this, direction, apply); }

INT_PTR PushTransition::OnSettingsMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return FourButtonMessage(*this, direction, window, message, wParam, lParam);
}

int32_t PushTransition::Step(HostSurface* dest, HostSurface*, HostSurface* newFrame, int32_t, ChangedRect**) {
    return Guarded([&]() -> int32_t {
        DrawCalls drew;
        const std::optional<uint32_t> opened = OpenStep(dest, newFrame, width, height, [&] { bandFilled = 0; });
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
        const uint32_t h = H / 2;
        const auto I = [](uint32_t v) { return static_cast<int32_t>(v); };
        const auto dir = static_cast<uint32_t>(direction);

        if (p <= 0.5) {
            // First half: one half of the new frame slides sideways into the band, in
            // steps of two pixels.
            const uint32_t g = 2 * Progress(W, e, d);
            switch (dir) {
            case 0:
                drew(newFrame->CopyRect(dest, 0, 0, I(W - g), I(h), I(g), I(h), 0, 0, 0, 2));
                break;
            case 1:
                drew(newFrame->CopyRect(dest, I(W - g), 0, 0, I(h), I(g), I(h), 0, 0, 0, 2));
                break;
            case 2:
                drew(newFrame->CopyRect(dest, 0, I(h), I(W - g), 0, I(g), I(h), 0, 0, 0, 2));
                break;
            case 3:
                drew(newFrame->CopyRect(dest, I(W - g), I(h), 0, 0, I(g), I(h), 0, 0, 0, 2));
                break;
            default:
                break;
            }
            return drew.Result();
        }

        // Second half: complete the band once, then push both halves.
        if (bandFilled == 0) {
            if (dir <= 1) {
                drew(newFrame->CopyRect(dest, 0, 0, 0, I(h), I(W), I(h), 0, 0, 0, 2));
            } else {
                drew(newFrame->CopyRect(dest, 0, I(h), 0, 0, I(W), I(h), 0, 0, 0, 2));
            }
            bandFilled = drew.AllDrawn() ? 1 : 0;
        }
        const double half = static_cast<double>(d) * 0.5;
        const auto q = static_cast<uint32_t>(((static_cast<double>(e) - half) / half) * 1000.0);
        const uint32_t o = Progress(h, q, 1000);
        if (dir <= 1) {
            drew(newFrame->StretchRect(dest, 0, I(o), I(W), I(h), 0, I(h), I(W), I(h), 0, 0, 0, 4));
            drew(newFrame->StretchRect(dest, 0, 0, I(W), I(o), 0, I(h - o), I(W), I(o), 0, 0, 0, 4));
        } else if (dir <= 3) {
            drew(newFrame->StretchRect(dest, 0, I(h - o), I(W), I(h), 0, 0, I(W), I(h), 0, 0, 0, 4));
            drew(newFrame->StretchRect(dest, 0, I(H - o), I(W), I(o), 0, I(h), I(W), I(o), 0, 0, 0, 4));
        }
        return drew.Result();
    });
}

} // namespace wqtrans
