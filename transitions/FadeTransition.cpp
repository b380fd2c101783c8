#include "transitions/FadeTransition.h"

#include <new>

#include "transitions/Progress.h"

namespace wqtrans {

namespace {

constexpr int32_t kOpBlend = 1;
constexpr int32_t kOpEffect = 13;
constexpr int32_t kOpAlpha = 0x1000;
constexpr uint32_t kNoEffect = 0xFFFFFFFFu;

} // namespace

FadeTransition::FadeTransition() {
    nameId = 1001;
    dialogId = 0;
}

Transition* FadeTransition::Clone() { return new (std::nothrow) FadeTransition(); }

int32_t FadeTransition::QueryFeature(int32_t feature, int32_t value) { return feature == 1 && value != 0 ? 1 : 0; }

uint32_t FadeTransition::GetID() { return kId; }

int32_t FadeTransition::GetMode() { return 7; }

uint32_t FadeTransition::ClampedElapsed() {
    const uint32_t e = UpdateElapsed();
    return e > duration ? duration : e;
}

int32_t FadeTransition::Step(HostSurface* dest, HostSurface* oldFrame, HostSurface* newFrame, int32_t flags,
                             ChangedRect**) {
    if (firstStep == 1) {
        firstStep = 0;
    }
    return Guarded([&] {
        if (dest->IsReady() == 0) {
            return 0;
        }
        const uint32_t p = Progress(128u, ClampedElapsed(), duration);
        HostSurface* blended = oldFrame;
        uint32_t parameter = p;
        DrawCalls drew;
        if ((flags & 1) != 0) {
            drew(oldFrame->CopyAll(dest));
            blended = newFrame;
            parameter = 128u - p;
        } else {
            drew(newFrame->CopyAll(dest));
        }
        drew(blended->DrawAt(dest, 0, 0, (flags >> 2) & 1, kOpBlend, parameter, 0));
        return drew.Result();
    });
}

int32_t FadeTransition::StepEx(HostSurface* dest, int32_t x, int32_t y, HostSurface* oldFrame, HostSurface* newFrame,
                               int32_t flags, int32_t, int32_t mode, int32_t op, HostParam param, int32_t blitFlags) {
    if (firstStep == 1) {
        firstStep = 0;
    }
    return Guarded([&] {
        const auto param32 = static_cast<uint32_t>(param);
        const bool hasAlphaBit = (op & kOpAlpha) != 0;

        // The caller's own alpha A, and the effect object with its value v.
        HostEffect* effect = nullptr;
        uint32_t v = 0;
        int32_t a = 255;
        if (op == kOpEffect) {
            effect = reinterpret_cast<HostEffect*>(param);
            if (effect != nullptr) {
                v = effect->ReadTint();
                a = static_cast<int32_t>(v >> 24);
            }
        } else if (hasAlphaBit) {
            a = static_cast<int32_t>(param32 >> 24);
        } else if (op == kOpBlend) {
            // A blend parameter runs from 0 to 128; a larger one is as invisible as 128.
            a = param32 >= 128 ? 0 : 255 - 2 * static_cast<int32_t>(param32);
        }

        // g: the top frame's share of the fade, 255 fully visible.
        uint32_t g = Progress(255u, ClampedElapsed(), duration);
        HostSurface* base = newFrame;
        HostSurface* top = oldFrame;
        if ((flags & 1) != 0) {
            base = oldFrame;
            top = newFrame;
        } else {
            g = 255u - g;
        }
        const int32_t h = static_cast<int32_t>(g) * a / 255;
        const uint32_t hTop = static_cast<uint32_t>(h) << 24;

        // The top frame's op m and parameter q: the fade combined with the caller's.
        int32_t m = op;
        HostParam q = param;
        if (op == kOpEffect) {
            m = kOpEffect;
        } else if (hasAlphaBit) {
            q = (param32 & 0xFFFFFFu) | hTop;
        } else if (op == kOpBlend) {
            q = h == 0 ? 128u : static_cast<uint32_t>((255 - h) / 2);
        } else {
            m = op | kOpAlpha;
            q = hTop | 0xFFFFFFu;
        }

        if (dest->IsReady() == 0) {
            return 0;
        }

        if ((flags & 8) != 0) {
            if (effect != nullptr) {
                effect->WriteTint(hTop | (v & 0xFFFFFFu));
            }
            const int32_t answer = top->DrawAt(dest, x, y, mode, m, q, blitFlags);
            if (effect != nullptr) {
                effect->WriteTint(v);
            }
            return StepResult(answer);
        }

        const bool needsWorkSurface = (op & 0xFFF) != 0 || (hasAlphaBit && param32 != kNoEffect) || mode != 0;
        if (needsWorkSurface) {
            HostSurface* work = WorkSurface(top);
            if (work == nullptr) {
                return 0;
            }
            DrawCalls drew;
            work->BeginDraw(0, 0);
            try {
                drew(base->CopyAll(work));
                drew(top->DrawAt(work, 0, 0, mode, kOpAlpha, (g << 24) | 0xFFFFFFu, 0));
            } catch (...) {
                work->EndDraw();
                throw;
            }
            work->EndDraw();
            // The work surface holds the fade; the caller's own op and parameter apply
            // to it as given. A plain op travels unchanged too, rather than with the
            // alpha bit added, since its parameter is no alpha and colour coefficient.
            drew(work->DrawAt(dest, x, y, mode, op, param, blitFlags));
            return drew.Result();
        }

        DrawCalls drew;
        drew(base->DrawAt(dest, x, y, 0, 0, 0, blitFlags));
        drew(top->DrawAt(dest, x, y, mode, m, q, blitFlags));
        return drew.Result();
    });
}

} // namespace wqtrans
