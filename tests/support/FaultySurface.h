// A host surface that fails on purpose: it forwards every call to a reference surface
// and, at the drawing call a FaultPlan names, answers 0 without drawing or throws.
// The calls are counted over every surface that shares the plan, so that "the k-th
// drawing call of the run" fails whichever frame it is made on. A surface may also
// report a size of its own, to stand for a host that reports absurd sizes.
#pragma once

#include <cstdint>
#include <optional>

#include "host/SoftwareSurface.h"
#include "module/HostSurface.h"

namespace wqtrans::test {

struct FaultPlan {
    enum class Kind : uint8_t { kAnswerZero, kThrow };
    // The drawing call that fails, counted from 0; -1 none.
    int64_t failAt = -1;
    Kind kind = Kind::kAnswerZero;
    // Drawing calls made so far.
    int64_t calls = 0;
};

class FaultySurface final : public HostSurface {
public:
    FaultySurface(SoftwareSurface& real, FaultPlan& plan) : real(real), plan(plan) {}

    // Width and Height report these instead of the real size.
    void ReportSize(int32_t width, int32_t height) { reported = {width, height}; }
    void SetReady(bool value) { ready = value; }

    int32_t Width() override { return reported ? reported->first : real.Width(); }
    int32_t Height() override { return reported ? reported->second : real.Height(); }
    int32_t IsReady() override { return ready ? 1 : 0; }
    int32_t CopyAll(HostSurface* dest) override;
    int32_t CopyRect(HostSurface* dest, int32_t xd, int32_t yd, int32_t xs, int32_t ys, int32_t w, int32_t h,
                     int32_t mode, int32_t op, HostParam param, int32_t flags) override;
    int32_t DrawAt(HostSurface* dest, int32_t xd, int32_t yd, int32_t mode, int32_t op, HostParam param,
                   int32_t flags) override;
    int32_t StretchRect(HostSurface* dest, int32_t xd, int32_t yd, int32_t wd, int32_t hd, int32_t xs, int32_t ys,
                        int32_t ws, int32_t hs, int32_t mode, int32_t op, HostParam param, int32_t flags) override;
    int32_t StretchAll(HostSurface* dest, int32_t xd, int32_t yd, int32_t wd, int32_t hd, int32_t mode, int32_t op,
                       HostParam param, int32_t flags) override;
    int32_t Depth() override { return real.Depth(); }
    int32_t Driver() override { return real.Driver(); }
    uint32_t KeyColour() override { return real.KeyColour(); }
    HostPalette* PaletteOf(int32_t which) override { return real.PaletteOf(which); }
    int32_t PrototypeFor(HostPrototype* out, int32_t depth, int32_t surfaceType, int32_t driver) override {
        return real.PrototypeFor(out, depth, surfaceType, driver);
    }
    int32_t Allocate(int32_t width, int32_t height, const HostPrototype* prototype) override {
        return real.Allocate(width, height, prototype);
    }
    int32_t SetKeyColour(uint32_t colour) override { return real.SetKeyColour(colour); }
    int32_t AssignPalette(HostPalette* palette) override { return real.AssignPalette(palette); }
    int32_t BeginDraw(int32_t reserved1, int32_t reserved2) override { return real.BeginDraw(reserved1, reserved2); }
    int32_t EndDraw() override { return real.EndDraw(); }
    HostSurface* NewSurface() override { return real.NewSurface(); }
    void Destroy() override {}

private:
    // True when this drawing call is the one that fails by answering 0; throws when it
    // fails by throwing.
    bool Fails();
    HostSurface* Target(HostSurface* dest);

    SoftwareSurface& real;
    FaultPlan& plan;
    std::optional<std::pair<int32_t, int32_t>> reported;
    bool ready = true;
};

} // namespace wqtrans::test
