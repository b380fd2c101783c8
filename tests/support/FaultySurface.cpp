#include "support/FaultySurface.h"

#include <stdexcept>

namespace wqtrans::test {

bool FaultySurface::Fails() {
    if (plan.calls++ != plan.failAt) {
        return false;
    }
    if (plan.kind == FaultPlan::Kind::kThrow) {
        throw std::runtime_error("host surface failure");
    }
    return true;
}

HostSurface* FaultySurface::Target(HostSurface* dest) {
    auto* faulty = dynamic_cast<FaultySurface*>(dest);
    return faulty != nullptr ? &faulty->real : dest;
}

int32_t FaultySurface::CopyAll(HostSurface* dest) { return Fails() ? 0 : real.CopyAll(Target(dest)); }

int32_t FaultySurface::CopyRect(HostSurface* dest, int32_t xd, int32_t yd, int32_t xs, int32_t ys, int32_t w, int32_t h,
                                int32_t mode, int32_t op, HostParam param, int32_t flags) {
    return Fails() ? 0 : real.CopyRect(Target(dest), xd, yd, xs, ys, w, h, mode, op, param, flags);
}

int32_t FaultySurface::DrawAt(HostSurface* dest, int32_t xd, int32_t yd, int32_t mode, int32_t op, HostParam param,
                              int32_t flags) {
    return Fails() ? 0 : real.DrawAt(Target(dest), xd, yd, mode, op, param, flags);
}

int32_t FaultySurface::StretchRect(HostSurface* dest, int32_t xd, int32_t yd, int32_t wd, int32_t hd, int32_t xs,
                                   int32_t ys, int32_t ws, int32_t hs, int32_t mode, int32_t op, HostParam param,
                                   int32_t flags) {
    return Fails() ? 0 : real.StretchRect(Target(dest), xd, yd, wd, hd, xs, ys, ws, hs, mode, op, param, flags);
}

int32_t FaultySurface::StretchAll(HostSurface* dest, int32_t xd, int32_t yd, int32_t wd, int32_t hd, int32_t mode,
                                  int32_t op, HostParam param, int32_t flags) {
    return Fails() ? 0 : real.StretchAll(Target(dest), xd, yd, wd, hd, mode, op, param, flags);
}

} // namespace wqtrans::test
