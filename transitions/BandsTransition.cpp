#include "transitions/BandsTransition.h"

#include <cstdlib>
#include <new>

#include "module/ParamBlock.h"
#include "transitions/PanelControls.h"
#include "transitions/Progress.h"

namespace wqtrans {

namespace {

constexpr int kFirstButton = 1007;
constexpr int kLastButton = 1010;
constexpr int kCountEdit = 1015;
constexpr int kCountUpDown = 1017;
// Up-down range: maximum 5000 in the low word, minimum 1 in the high word.
constexpr LPARAM kUpDownRange = MAKELONG(5000, 1);

} // namespace

BandsTransition::BandsTransition() {
    nameId = 1004;
    dialogId = 102;
}

BandsTransition::~BandsTransition() { ReleaseRects(); }

Transition* BandsTransition::Clone() { return new (std::nothrow) BandsTransition(); }

uint32_t BandsTransition::GetID() { return kId; }

int32_t BandsTransition::GetParams(void* out) { return WriteBlock(out, bandCount, direction); }

void BandsTransition::SetParams(const void* block, uint32_t size) { ReadBlock(block, size, bandCount, direction); }

void BandsTransition::ReleaseRects() {
    std::free(rects);
    rects = nullptr;
}

void BandsTransition::End() {
    ReleaseRects();
    Transition::End();
}

void BandsTransition::ReadDirection(HWND window) {
    direction = static_cast<uint16_t>(ReadRadioGroup(window, kFirstButton, kLastButton));
}

void BandsTransition::TakeCountFromEdit(HWND window) {
    const UINT typed = GetDlgItemInt(window, kCountEdit, nullptr, FALSE);
    if (typed != 0 && typed != bandCount) {
        bandCount = static_cast<uint16_t>(typed);
        SendDlgItemMessageW(window, kCountUpDown, UDM_SETPOS, 0, MAKELONG(bandCount, 0));
    }
}

void BandsTransition::TakeCountFromUpDown(HWND window) {
    const auto position = static_cast<uint16_t>(LOWORD(SendDlgItemMessageW(window, kCountUpDown, UDM_GETPOS, 0, 0)));
    if (position != 0 && position != bandCount) {
        bandCount = position;
        SetDlgItemInt(window, kCountEdit, bandCount, FALSE);
    }
}

INT_PTR BandsTransition::OnSettingsMessage(HWND window, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        CheckRadioGroup(window, kFirstButton, kLastButton, direction);
        SetDlgItemInt(window, kCountEdit, bandCount, FALSE);
        SendDlgItemMessageW(window, kCountUpDown, UDM_SETRANGE, 0, kUpDownRange);
        SendDlgItemMessageW(window, kCountUpDown, UDM_SETPOS, 0, MAKELONG(bandCount, 0));
        return 1;
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        if (id >= kFirstButton && id <= kLastButton) {
            ReadDirection(window);
            TakeCountFromEdit(window);
        } else if (id == kCountEdit) {
            TakeCountFromEdit(window);
        } else if (id == kCountUpDown) {
            TakeCountFromUpDown(window);
        }
        Finish();
        return 0;
    }
    case WM_HSCROLL:
    case WM_VSCROLL:
        TakeCountFromUpDown(window);
        Finish();
        return 0;
    default:
        return 0;
    }
}

int32_t BandsTransition::CloseSettings(int32_t apply) {
    if (apply != 0 && dialog != nullptr) {
        ReadDirection(dialog);
        const UINT typed = GetDlgItemInt(dialog, kCountEdit, nullptr, FALSE);
        if (typed != 0) {
            bandCount = static_cast<uint16_t>(typed);
        }
    }
    return Transition::CloseSettings(apply);
}

int32_t BandsTransition::Step(HostSurface* dest, HostSurface* oldFrame, HostSurface* newFrame, int32_t,
                              ChangedRect** changed) {
    if (changed != nullptr) {
        *changed = nullptr;
    }
    return Guarded([&]() -> int32_t {
        DrawCalls drew;
        const auto W = static_cast<uint32_t>(oldFrame->Width());
        const auto H = static_cast<uint32_t>(oldFrame->Height());
        if (firstStep != 0) {
            if (bandCount == 0) {
                bandCount = 1;
            }
            const uint32_t extent = (direction == 0 || direction == 1) ? W : H;
            bandSize = (bandCount + extent - 1) / bandCount;
            if (bandSize == 0) {
                bandCount = static_cast<uint16_t>(extent);
                bandSize = 1;
            }
            runBandCount = bandCount;
            runDirection = direction;
            drawn = 0;
            ReleaseRects();
            rects = static_cast<ChangedRect*>(std::malloc((runBandCount + 2) * sizeof(ChangedRect)));
            firstStep = 0;
        }
        if (dest->IsReady() == 0) {
            return 0;
        }
        // A direction above 3 can only come from a stored block: such a run shows the
        // new frame at once.
        if (runBandCount == 0 || bandSize == 0 || duration == 0 || runDirection > 3) {
            return StepResult(newFrame->CopyAll(dest));
        }
        uint32_t e = UpdateElapsed();
        if (e > duration) {
            e = duration;
        }
        const uint32_t pos = Progress(bandSize, e, duration);
        if (pos <= drawn) {
            return drew.Result();
        }
        const uint32_t step = pos - drawn;
        ChangedRect* next = rects;
        for (uint32_t i = 0; i < runBandCount; ++i) {
            uint32_t x = 0;
            uint32_t y = 0;
            uint32_t w = W;
            uint32_t h = H;
            switch (runDirection) {
            case 0:
                x = i * bandSize + drawn;
                w = step;
                break;
            case 1:
                x = W - i * bandSize - pos;
                w = step;
                break;
            case 2:
                y = i * bandSize + drawn;
                h = step;
                break;
            default:
                y = H - i * bandSize - pos;
                h = step;
                break;
            }
            const auto xs = static_cast<int32_t>(x);
            const auto ys = static_cast<int32_t>(y);
            drew(
                newFrame->CopyRect(dest, xs, ys, xs, ys, static_cast<int32_t>(w), static_cast<int32_t>(h), 0, 0, 0, 2));
            if (next != nullptr) {
                *next++ = ChangedRect{xs, ys, static_cast<int32_t>(x + w), static_cast<int32_t>(y + h)};
            }
        }
        if (next != nullptr) {
            *next = ChangedRect{0, 0, 0, 0};
            if (changed != nullptr) {
                *changed = rects;
            }
        }
        // The bands move on only when every strip was drawn; otherwise the next step
        // draws them all again from where they stood.
        if (drew.AllDrawn()) {
            drawn = pos;
        }
        return drew.Result();
    });
}

} // namespace wqtrans
