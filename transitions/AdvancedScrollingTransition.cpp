#include "transitions/AdvancedScrollingTransition.h"

#include <new>

#include "module/ParamBlock.h"
#include "transitions/PanelControls.h"
#include "transitions/Progress.h"

namespace wqtrans {

namespace {

constexpr int kFirstButton = 1000; // "&Style 1"; 1000 + style is the button of a style
constexpr int kLastButton = 1008;  // "&Randomly"
constexpr uint32_t kRandomStyle = 8;

} // namespace

AdvancedScrollingTransition::AdvancedScrollingTransition() {
    nameId = 1019;
    dialogId = 108;
    crt::srand(timeGetTime());
}

Transition* AdvancedScrollingTransition::Clone() { return new (std::nothrow) AdvancedScrollingTransition(); }

uint32_t AdvancedScrollingTransition::GetID() { return kId; }

int32_t AdvancedScrollingTransition::GetMode() { return 11; }

int32_t AdvancedScrollingTransition::GetParams(void* out) { return WriteBlock(out, style); }

void AdvancedScrollingTransition::SetParams(const void* block, uint32_t size) { ReadBlock(block, size, style); }

int32_t AdvancedScrollingTransition::CloseSettings(int32_t apply) {
    return RadioGroupClose(*this, style, kFirstButton, kLastButton, apply);
}

INT_PTR AdvancedScrollingTransition::OnSettingsMessage(HWND window, UINT message, WPARAM wParam, LPARAM) {
    return RadioGroupMessage(*this, style, kFirstButton, kLastButton, window, message, wParam);
}

int32_t AdvancedScrollingTransition::Step(HostSurface* dest, HostSurface*, HostSurface* newFrame, int32_t,
                                          ChangedRect**) {
    return Guarded([&]() -> int32_t {
        DrawCalls drew;
        const std::optional<uint32_t> opened = OpenStep(dest, newFrame, width, height, [&] {
            activeStyle = static_cast<uint32_t>(style);
            if (activeStyle == kRandomStyle) {
                // 0 to 7, and 8 (the whole frame at once) for the generator's top value only.
                const auto r = static_cast<uint32_t>(crt::rand());
                activeStyle = (8u * r) / 32767u;
            }
        });
        if (!opened) {
            return 0;
        }
        const uint32_t e = *opened;
        const uint32_t d = duration;
        if (static_cast<double>(e) / static_cast<double>(d) > 1.0 || activeStyle > 7) {
            return StepResult(newFrame->CopyAll(dest));
        }

        const uint32_t W = width;
        const uint32_t H = height;
        const uint32_t T = W / 3;
        const uint32_t T2 = (2 * W) / 3;
        const uint32_t S = W / 7;
        const uint32_t a = Progress(T, e, d);
        const uint32_t b = Progress(H, e, d);
        const uint32_t h = H / 2;
        const uint32_t b2 = Progress(h, e, d);
        const auto copy = [&](uint32_t xd, uint32_t yd, uint32_t xs, uint32_t ys, uint32_t w, uint32_t ht) {
            drew(newFrame->CopyRect(dest, static_cast<int32_t>(xd), static_cast<int32_t>(yd), static_cast<int32_t>(xs),
                                    static_cast<int32_t>(ys), static_cast<int32_t>(w), static_cast<int32_t>(ht), 0, 0,
                                    0, 2));
        };

        if (activeStyle <= 5) {
            // The outer thirds slide in sideways.
            copy(0, 0, T - a, 0, a, H);
            copy(W - a, 0, T2, 0, a, H);
        }
        switch (activeStyle) {
        case 0:
            copy(T, 0, T, H - b, T, b);
            break;
        case 1:
            copy(T, H - b, T, 0, T, b);
            break;
        case 2:
            copy(T, 0, T, 0, T, b);
            break;
        case 3:
            copy(T, H - b, T, H - b, T, b);
            break;
        case 4:
            copy(T, 0, T, h - b2, T, b2);
            copy(T, H - b2, T, h, T, b2);
            break;
        case 5:
            copy(T, 0, T, 0, T, b2);
            copy(T, H - b2, T, H - b2, T, b2);
            break;
        case 6:
            copy(0, H - b, 0, 0, T, b);
            copy(T, 0, T, H - b, T, b);
            copy(2 * T, H - b, 2 * T, 0, T, b);
            break;
        default:
            // Seven columns in alternating directions; the last one is twice as wide.
            for (uint32_t i = 0; i < 7; ++i) {
                const uint32_t x = i * S;
                const uint32_t w = i == 6 ? 2 * S : S;
                if (i % 2 == 0) {
                    copy(x, H - b, x, 0, w, b);
                } else {
                    copy(x, 0, x, H - b, w, b);
                }
            }
            break;
        }
        return drew.Result();
    });
}

} // namespace wqtrans
