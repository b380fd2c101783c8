#include "module/TransitionAdapter.h"

#include <new>

#include "module/Transition.h"

namespace wqtrans {

namespace {

// Each operation forwards to the owned transition, or answers `missing` without one.
// Nothing thrown below may reach the host.
template <typename Result, typename Call>
Result Forward(TransitionAdapter* self, Result missing, Call&& call) noexcept {
    if (self == nullptr || self->inner == nullptr) {
        return missing;
    }
    try {
        return call(*self->inner);
    } catch (...) {
        return missing;
    }
}

void WQ_ADAPTER_CALL Destroy(TransitionAdapter* self, int32_t flag) {
    if (self == nullptr) {
        return;
    }
    try {
        delete self->inner;
    } catch (...) {
    }
    self->inner = nullptr;
    if ((flag & 1) != 0) {
        delete self;
    }
}

void WQ_ADAPTER_CALL Delete(TransitionAdapter* self) {
    if (self != nullptr) {
        self->table->Destroy(self, 1);
    }
}

int32_t WQ_ADAPTER_CALL InterfaceNumber(TransitionAdapter*) { return 2; }

int32_t WQ_ADAPTER_CALL Name(TransitionAdapter* self, char16_t* buffer, int32_t capacity) {
    return Forward(self, 0, [&](Transition& t) { return t.GetName(buffer, capacity); });
}

uint32_t WQ_ADAPTER_CALL ID(TransitionAdapter* self) {
    return Forward(self, 0u, [](Transition& t) { return t.GetID(); });
}

int32_t WQ_ADAPTER_CALL Mode(TransitionAdapter* self) {
    return Forward(self, 0, [](Transition& t) { return t.GetMode(); });
}

int32_t WQ_ADAPTER_CALL GetParameters(TransitionAdapter* self, void* out) {
    return Forward(self, 0, [&](Transition& t) { return t.GetParams(out); });
}

HWND WQ_ADAPTER_CALL OpenSettings(TransitionAdapter* self, HWND parent, intptr_t unused) {
    return Forward(self, static_cast<HWND>(nullptr), [&](Transition& t) { return t.OpenSettings(parent, unused); });
}

int32_t WQ_ADAPTER_CALL CloseSettings(TransitionAdapter* self, int32_t apply) {
    return Forward(self, 1, [&](Transition& t) { return t.CloseSettings(apply); });
}

int32_t WQ_ADAPTER_CALL Begin(TransitionAdapter* self, uint32_t durationMs) {
    return Forward(self, 0, [&](Transition& t) { return t.Begin(durationMs); });
}

int32_t WQ_ADAPTER_CALL Step(TransitionAdapter* self, HostSurface* dest, HostSurface* oldFrame, HostSurface* newFrame,
                             int32_t flags, ChangedRect** changed) {
    return Forward(self, 0, [&](Transition& t) { return t.Step(dest, oldFrame, newFrame, flags, changed); });
}

void WQ_ADAPTER_CALL End(TransitionAdapter* self) {
    Forward(self, 0, [](Transition& t) {
        t.End();
        return 0;
    });
}

int32_t WQ_ADAPTER_CALL IsFinished(TransitionAdapter* self) {
    return Forward(self, 1, [](Transition& t) { return t.IsFinished(); });
}

uint32_t WQ_ADAPTER_CALL Elapsed(TransitionAdapter* self) {
    return Forward(self, 0u, [](Transition& t) { return t.GetElapsed(); });
}

void WQ_ADAPTER_CALL SetElapsed(TransitionAdapter* self, uint32_t elapsedMs) {
    Forward(self, 0u, [&](Transition& t) { return t.SetElapsed(elapsedMs); });
}

int32_t WQ_ADAPTER_CALL QueryFeature(TransitionAdapter* self, int32_t feature, int32_t value) {
    return Forward(self, 0, [&](Transition& t) { return t.QueryFeature(feature, value); });
}

int32_t WQ_ADAPTER_CALL StepEx(TransitionAdapter* self, HostSurface* dest, int32_t x, int32_t y, HostSurface* oldFrame,
                               HostSurface* newFrame, int32_t flags, int32_t reserved, int32_t mode, int32_t op,
                               HostParam param, int32_t blitFlags) {
    return Forward(self, 0, [&](Transition& t) {
        return t.StepEx(dest, x, y, oldFrame, newFrame, flags, reserved, mode, op, param, blitFlags);
    });
}

constexpr TransitionAdapterTable kTable{
    &Delete,       &InterfaceNumber, &Name,         &ID,     &Mode,    &GetParameters,
    &OpenSettings, &CloseSettings,   &Begin,        &Step,   &End,     &IsFinished,
    &Elapsed,      &SetElapsed,      &QueryFeature, &StepEx, &Destroy,
};

} // namespace

const TransitionAdapterTable& AdapterTable() { return kTable; }

TransitionAdapter* NewAdapter(Transition* inner) noexcept {
    return new (std::nothrow) TransitionAdapter{&kTable, inner};
}

} // namespace wqtrans
