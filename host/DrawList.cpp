#include "host/DrawList.h"

#include <algorithm>

namespace wqtrans {

namespace {

int64_t AreaOf(const SurfaceRect& r) {
    return r.Empty() ? 0 : (int64_t{r.right} - r.left) * (int64_t{r.bottom} - r.top);
}

SurfaceRect Intersection(const SurfaceRect& a, const SurfaceRect& b) {
    return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
}

bool Contains(const SurfaceRect& outer, const SurfaceRect& inner) {
    return outer.left <= inner.left && outer.top <= inner.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

// Appends to `pieces` the parts of `r` outside `hole`: up to four rectangles.
void Subtract(const SurfaceRect& r, const SurfaceRect& hole, std::vector<SurfaceRect>& pieces) {
    const SurfaceRect cut = Intersection(r, hole);
    if (cut.Empty()) {
        pieces.push_back(r);
        return;
    }
    if (r.top < cut.top) {
        pieces.push_back({r.left, r.top, r.right, cut.top});
    }
    if (cut.bottom < r.bottom) {
        pieces.push_back({r.left, cut.bottom, r.right, r.bottom});
    }
    if (r.left < cut.left) {
        pieces.push_back({r.left, cut.top, cut.left, cut.bottom});
    }
    if (cut.right < r.right) {
        pieces.push_back({cut.right, cut.top, r.right, cut.bottom});
    }
}

// Clamps a 64-bit coordinate to the 32-bit range of a SurfaceRect.
int32_t Clamp32(int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

} // namespace

// What the old and new pictures and the destination answer alike while the steps are
// recorded: their queries go to the surface they stand for, and anything that would
// make or change a surface ends the recording.
class DrawList::StandIn : public HostSurface {
public:
    StandIn(DrawList& list, SoftwareSurface& surface) : list(list), surface(surface) {}

    int32_t Width() override { return surface.Width(); }
    int32_t Height() override { return surface.Height(); }
    int32_t IsReady() override { return surface.IsReady(); }
    int32_t Depth() override { return surface.Depth(); }
    int32_t Driver() override { return surface.Driver(); }
    uint32_t KeyColour() override { return surface.KeyColour(); }
    HostPalette* PaletteOf(int32_t which) override { return surface.PaletteOf(which); }
    int32_t PrototypeFor(HostPrototype* out, int32_t depth, int32_t surfaceType, int32_t driver) override {
        list.Fail();
        return surface.PrototypeFor(out, depth, surfaceType, driver);
    }
    int32_t Allocate(int32_t, int32_t, const HostPrototype*) override { return Unrecorded(); }
    // A source's key colour is read when a call is drawn, so a change would apply to the
    // calls recorded before it.
    int32_t SetKeyColour(uint32_t) override { return Unrecorded(); }
    int32_t AssignPalette(HostPalette*) override { return Unrecorded(); }
    int32_t BeginDraw(int32_t, int32_t) override { return 1; }
    int32_t EndDraw() override { return 1; }
    HostSurface* NewSurface() override {
        list.Fail();
        return nullptr;
    }
    void Destroy() override {}

protected:
    int32_t Unrecorded() {
        list.Fail();
        return 0;
    }

    DrawList& list;
    SoftwareSurface& surface;
};

// The old or the new picture: drawings onto the destination are recorded.
class DrawList::Source final : public StandIn {
public:
    using StandIn::StandIn;

    int32_t CopyAll(HostSurface* dest) override {
        return CopyRect(dest, 0, 0, 0, 0, surface.Width(), surface.Height(), 0, 0, 0, 0);
    }
    int32_t CopyRect(HostSurface* dest, int32_t xd, int32_t yd, int32_t xs, int32_t ys, int32_t w, int32_t h,
                     int32_t mode, int32_t op, HostParam param, int32_t /*flags*/) override {
        return Recorded(dest, {&surface, false, xd, yd, w, h, xs, ys, w, h, mode, op, param});
    }
    int32_t DrawAt(HostSurface* dest, int32_t xd, int32_t yd, int32_t mode, int32_t op, HostParam param,
                   int32_t flags) override {
        return CopyRect(dest, xd, yd, 0, 0, surface.Width(), surface.Height(), mode, op, param, flags);
    }
    int32_t StretchRect(HostSurface* dest, int32_t xd, int32_t yd, int32_t wd, int32_t hd, int32_t xs, int32_t ys,
                        int32_t ws, int32_t hs, int32_t mode, int32_t op, HostParam param, int32_t /*flags*/) override {
        return Recorded(dest, {&surface, true, xd, yd, wd, hd, xs, ys, ws, hs, mode, op, param});
    }
    int32_t StretchAll(HostSurface* dest, int32_t xd, int32_t yd, int32_t wd, int32_t hd, int32_t mode, int32_t op,
                       HostParam param, int32_t flags) override {
        return StretchRect(dest, xd, yd, wd, hd, 0, 0, surface.Width(), surface.Height(), mode, op, param, flags);
    }

private:
    int32_t Recorded(HostSurface* dest, const Call& call) {
        if (dest == nullptr) {
            return 0;
        }
        if (dest != list.Dest()) {
            return Unrecorded();
        }
        list.Record(call);
        return 1;
    }
};

// The destination: it answers what a destination is asked, and is never read.
class DrawList::Destination final : public StandIn {
public:
    using StandIn::StandIn;

    int32_t CopyAll(HostSurface*) override { return Unrecorded(); }
    int32_t CopyRect(HostSurface*, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, HostParam,
                     int32_t) override {
        return Unrecorded();
    }
    int32_t DrawAt(HostSurface*, int32_t, int32_t, int32_t, int32_t, HostParam, int32_t) override {
        return Unrecorded();
    }
    int32_t StretchRect(HostSurface*, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
                        int32_t, HostParam, int32_t) override {
        return Unrecorded();
    }
    int32_t StretchAll(HostSurface*, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, HostParam,
                       int32_t) override {
        return Unrecorded();
    }
};

DrawList::DrawList(SoftwareSurface& oldFrame, SoftwareSurface& newFrame, SoftwareSurface& out)
    : oldFrame(oldFrame), out(out), oldSource(std::make_unique<Source>(*this, oldFrame)),
      newSource(std::make_unique<Source>(*this, newFrame)), destination(std::make_unique<Destination>(*this, out)) {}

DrawList::~DrawList() = default;

HostSurface* DrawList::Dest() { return destination.get(); }
HostSurface* DrawList::Old() { return oldSource.get(); }
HostSurface* DrawList::New() { return newSource.get(); }

SurfaceRect DrawList::Area(const Call& call, bool& opaque) const {
    const int64_t sw = call.source->Width();
    const int64_t sh = call.source->Height();
    int64_t left = call.xd;
    int64_t top = call.yd;
    int64_t right = int64_t{call.xd} + call.wd;
    int64_t bottom = int64_t{call.yd} + call.hd;
    bool exact = true;
    if (!call.stretch) {
        // A copy draws the part of its rectangle whose source lies inside the source.
        left = std::max(left, int64_t{call.xd} - call.xs);
        top = std::max(top, int64_t{call.yd} - call.ys);
        right = std::min(right, int64_t{call.xd} - call.xs + sw);
        bottom = std::min(bottom, int64_t{call.yd} - call.ys + sh);
    } else if (call.ws <= 0 || call.hs <= 0) {
        right = left;
    } else {
        // A stretch from a rectangle that lies inside its source draws the whole of its
        // destination rectangle; from one that does not, at most that.
        exact = call.xs >= 0 && call.ys >= 0 && int64_t{call.xs} + call.ws <= sw && int64_t{call.ys} + call.hs <= sh;
    }
    const SurfaceRect area =
        Intersection({Clamp32(left), Clamp32(top), Clamp32(right), Clamp32(bottom)}, {0, 0, out.Width(), out.Height()});
    opaque = exact && call.mode == 0 && call.op == 0;
    return area;
}

void DrawList::DrawPart(const Call& call, const SurfaceRect& part) {
    if (call.stretch) {
        StretchRectWithin(*call.source, &out, part, call.xd, call.yd, call.wd, call.hd, call.xs, call.ys, call.ws,
                          call.hs, call.mode, call.op, call.param);
        return;
    }
    // The part lies inside the call's area, so the offsets are those of the whole call.
    call.source->CopyRect(&out, part.left, part.top, static_cast<int32_t>(int64_t{call.xs} + part.left - call.xd),
                          static_cast<int32_t>(int64_t{call.ys} + part.top - call.yd), part.right - part.left,
                          part.bottom - part.top, call.mode, call.op, call.param, 0);
}

DrawList::Visibility DrawList::Visible() const {
    const SurfaceRect whole{0, 0, out.Width(), out.Height()};
    const int64_t wholeArea = AreaOf(whole);
    Visibility v;
    v.partsEnd.assign(calls.size(), 0);
    v.first = calls.size();
    // `covered` holds disjoint rectangles, or one when they fill their bounds.
    SurfaceRect bounds{};
    int64_t coveredArea = 0;
    std::vector<SurfaceRect> pieces;
    std::vector<SurfaceRect> next;
    for (std::size_t i = calls.size(); i-- > 0;) {
        if (coveredArea == wholeArea) {
            break;
        }
        v.first = i;
        bool opaque = false;
        const SurfaceRect area = Area(calls[i], opaque);
        pieces.clear();
        if (!area.Empty()) {
            pieces.push_back(area);
        }
        for (const SurfaceRect& hole : v.covered) {
            if (pieces.empty()) {
                break;
            }
            if (Intersection(area, hole).Empty()) {
                continue;
            }
            next.clear();
            for (const SurfaceRect& piece : pieces) {
                Subtract(piece, hole, next);
            }
            pieces.swap(next);
        }
        v.parts.insert(v.parts.end(), pieces.begin(), pieces.end());
        v.partsEnd[i] = v.parts.size();
        if (!opaque || pieces.empty()) {
            continue;
        }
        if (v.covered.empty() || Contains(area, bounds)) {
            v.covered.assign(1, area);
            bounds = area;
            coveredArea = AreaOf(area);
            continue;
        }
        for (const SurfaceRect& piece : pieces) {
            v.covered.push_back(piece);
            coveredArea += AreaOf(piece);
        }
        bounds = {std::min(bounds.left, area.left), std::min(bounds.top, area.top), std::max(bounds.right, area.right),
                  std::max(bounds.bottom, area.bottom)};
        if (coveredArea == AreaOf(bounds)) {
            v.covered.assign(1, bounds);
        }
    }
    return v;
}

void DrawList::Record(const Call& call) {
    calls.push_back(call);
    if (calls.size() >= pruneAt) {
        Prune();
        pruneAt = std::max<std::size_t>(kPruneAt, 2 * calls.size());
    }
}

void DrawList::Prune() {
    // A call that later calls hide stays hidden whatever is drawn after them.
    const Visibility v = Visible();
    std::size_t kept = 0;
    for (std::size_t i = v.first; i < calls.size(); ++i) {
        if (v.partsEnd[i] > v.PartsBegin(i)) {
            calls[kept++] = calls[i];
        }
    }
    calls.resize(kept);
}

void DrawList::Draw() {
    const Visibility v = Visible();
    // The old picture where no call draws opaquely, then the calls in their order.
    std::vector<SurfaceRect> pieces{{0, 0, out.Width(), out.Height()}};
    std::vector<SurfaceRect> next;
    for (const SurfaceRect& hole : v.covered) {
        next.clear();
        for (const SurfaceRect& piece : pieces) {
            Subtract(piece, hole, next);
        }
        pieces.swap(next);
    }
    for (const SurfaceRect& piece : pieces) {
        oldFrame.CopyRect(&out, piece.left, piece.top, piece.left, piece.top, piece.right - piece.left,
                          piece.bottom - piece.top, 0, 0, 0, 0);
    }
    for (std::size_t i = v.first; i < calls.size(); ++i) {
        for (std::size_t k = v.PartsBegin(i); k < v.partsEnd[i]; ++k) {
            DrawPart(calls[i], v.parts[k]);
        }
    }
}

} // namespace wqtrans
