#include "module/Transition.h"

namespace wqtrans {

namespace {

// A run that starts in the upper half of the timer range keeps all its times shifted
// down by this much, so that the timer's wrap at 2^32 cannot break its comparisons.
constexpr uint32_t kWrapShift = 0x7FFFFFFFu;

// The dialog user slot holds the transition of a panel.
Transition* PanelOwner(HWND window) {
    return reinterpret_cast<Transition*>(static_cast<LONG_PTR>(GetWindowLongW(window, DWL_USER)));
}

} // namespace

Transition::~Transition() {
    DestroyPanel();
    if (running != 0) {
        Transition::End();
    }
    ReleaseWorkSurface();
}

void Transition::ReleaseWorkSurface() {
    if (workSurface != nullptr) {
        workSurface->Destroy();
        workSurface = nullptr;
    }
}

void Transition::DestroyPanel() {
    if (dialog != nullptr && IsWindow(dialog)) {
        DestroyWindow(dialog);
    }
    dialog = nullptr;
}

int32_t Transition::QueryFeature(int32_t, int32_t) { return 0; }

int32_t Transition::GetMode() { return 3; }

int32_t Transition::GetName(char16_t* buffer, int32_t capacity) {
    // Without room nothing is written: the system's LoadStringW would take a capacity
    // of 0 as a request for a pointer to the resource and store that in the buffer.
    if (buffer == nullptr || capacity < 1) {
        return 0;
    }
    buffer[0] = u'\0';
    if (nameId == 0) {
        return 0;
    }
    return LoadStringW(moduleInstance, static_cast<UINT>(nameId), reinterpret_cast<LPWSTR>(buffer), capacity);
}

int32_t Transition::GetParams(void*) { return 0; }

void Transition::SetParams(const void*, uint32_t) {}

HWND Transition::OpenSettings(HWND parent, intptr_t) {
    DestroyPanel();
    openedBlockSize = 0;
    if (dialogId == 0) {
        return nullptr;
    }
    // The copy is taken before the panel exists: setting up its controls may already
    // send the panel notifications.
    const int32_t size = GetParams(nullptr);
    const bool kept = size > 0 && static_cast<std::size_t>(size) <= sizeof(openedBlock);
    if (kept) {
        GetParams(openedBlock);
    }
    dialog = CreateDialogParamW(moduleInstance, MAKEINTRESOURCEW(dialogId & 0xFFFF), parent, &SettingsDialogProc,
                                reinterpret_cast<LPARAM>(this));
    if (dialog != nullptr && kept) {
        openedBlockSize = size;
    }
    return dialog;
}

int32_t Transition::CloseSettings(int32_t apply) {
    DestroyPanel();
    if (apply == 0 && openedBlockSize > 0) {
        SetParams(openedBlock, static_cast<uint32_t>(openedBlockSize));
    }
    openedBlockSize = 0;
    return 1;
}

INT_PTR Transition::OnSettingsMessage(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG ? 1 : 0; }

INT_PTR CALLBACK Transition::SettingsDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        Transition* owner = nullptr;
        if (message == WM_INITDIALOG) {
            SetWindowLongW(window, DWL_USER, static_cast<LONG>(lParam));
            owner = reinterpret_cast<Transition*>(lParam);
        } else {
            owner = PanelOwner(window);
        }
        switch (message) {
        case WM_DESTROY:
        case WM_PAINT:
        case WM_KEYDOWN:
        case WM_KEYUP:
        case WM_INITDIALOG:
        case WM_COMMAND:
        case WM_TIMER:
        case WM_HSCROLL:
        case WM_VSCROLL:
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
            return owner != nullptr ? owner->OnSettingsMessage(window, message, wParam, lParam) : 0;
        default:
            return 0;
        }
    } catch (...) {
        // Nothing may unwind through the window system's code.
        return 0;
    }
}

int32_t Transition::Begin(uint32_t durationMs) {
    const uint32_t t = timeGetTime();
    wrapped = 0;
    start = t;
    if (t >= kWrapShift) {
        start = t - kWrapShift;
        wrapped = 1;
    }
    duration = durationMs != 0 ? durationMs : 1;
    now = start;
    end = start + duration;
    running = 1;
    firstStep = 1;
    return 1;
}

int32_t Transition::Step(HostSurface*, HostSurface*, HostSurface*, int32_t, ChangedRect**) { return 0; }

int32_t Transition::StepEx(HostSurface*, int32_t, int32_t, HostSurface*, HostSurface*, int32_t, int32_t, int32_t,
                           int32_t, HostParam, int32_t) {
    return 0;
}

void Transition::End() { running = 0; }

uint32_t Transition::ShiftedTime() const {
    uint32_t t = timeGetTime();
    if (wrapped == 1) {
        t -= kWrapShift;
    }
    return t;
}

bool Transition::PastEnd(uint32_t t) const {
    if (end >= start) {
        return t >= end;
    }
    // A run longer than the time left before the wrap: its end lies past the wrap,
    // so the times from start up to the wrap and those below end are inside it.
    return t >= end && t < start;
}

uint32_t Transition::UpdateElapsed() {
    now = ShiftedTime();
    if (PastEnd(now)) {
        now = end;
    }
    return now - start;
}

int32_t Transition::IsFinished() {
    if (running == 0) {
        return 1;
    }
    return PastEnd(ShiftedTime()) ? 1 : 0;
}

uint32_t Transition::GetElapsed() { return now - start; }

uint32_t Transition::SetElapsed(uint32_t elapsedMs) {
    start = now - elapsedMs;
    end = start + duration;
    return start;
}

void Transition::Finish() {
    now = end;
    firstStep = 1;
}

HostSurface* Transition::WorkSurface(HostSurface* model) {
    if (workSurface != nullptr) {
        // The frames of one run keep their size; a host may still reuse an instance
        // for frames of another size or pixel model, and then the surface is remade.
        const int32_t depth = model->Depth();
        if (model->Width() == workWidth && model->Height() == workHeight && depth == workDepth &&
            (depth != 8 || model->PaletteOf(0) == workPalette)) {
            return workSurface;
        }
        ReleaseWorkSurface();
    }
    HostSurface* surface = model->NewSurface();
    if (surface == nullptr) {
        return nullptr;
    }
    try {
        HostPrototype prototype{};
        const int32_t depth = model->Depth();
        surface->PrototypeFor(&prototype, depth, 5, model->Driver());
        const int32_t width = model->Width();
        const int32_t height = model->Height();
        if (surface->Allocate(width, height, &prototype) == 0) {
            surface->Destroy();
            return nullptr;
        }
        surface->SetKeyColour(model->KeyColour());
        HostPalette* palette = nullptr;
        if (depth == 8) {
            palette = model->PaletteOf(0);
            surface->AssignPalette(palette);
        }
        workWidth = width;
        workHeight = height;
        workDepth = depth;
        workPalette = palette;
    } catch (...) {
        surface->Destroy();
        throw;
    }
    workSurface = surface;
    return workSurface;
}

} // namespace wqtrans
