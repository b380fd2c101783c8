// DrawList: a transition's steps recorded without drawing, then drawn as far as the
// last step leaves them visible.
//
// A presentation runtime steps a transition on one destination that keeps its content,
// so the picture after many steps is every step's drawing, one over the other. The
// transitions only work out geometry: each drawing copies or stretches a rectangle of
// the old or the new picture onto the destination. DrawList stands in for the three
// surfaces while the steps run and records those drawings; Draw then works back from
// the last one, so that what a later opaque drawing covers is never drawn, and draws the
// rest in the order of the steps. The picture is the one that drawing every step gives,
// at the cost of about one frame's pixels however many steps came before.
//
// A step that does anything else (draws on a surface other than the destination, reads
// the destination, makes a surface of its own) leaves the list incomplete: the caller
// then steps the run on the real surfaces.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "host/SoftwareSurface.h"
#include "module/HostSurface.h"

namespace wqtrans {

class DrawList {
public:
    // `out` is where Draw puts the picture: its content is not read.
    DrawList(SoftwareSurface& oldFrame, SoftwareSurface& newFrame, SoftwareSurface& out);
    DrawList(const DrawList&) = delete;
    DrawList& operator=(const DrawList&) = delete;
    ~DrawList();

    // The surfaces to step the transition with, in place of the destination and the old
    // and new pictures.
    HostSurface* Dest();
    HostSurface* Old();
    HostSurface* New();

    // Whether every step so far could be recorded.
    bool Complete() const { return complete; }
    std::size_t Calls() const { return calls.size(); }

    // Draws onto `out` the old picture and every recorded drawing over it, as far as
    // later opaque drawings leave them visible.
    void Draw();

private:
    class StandIn;
    class Source;
    class Destination;

    struct Call {
        SoftwareSurface* source;
        bool stretch;
        int32_t xd, yd, wd, hd; // destination rectangle (a copy's wd, hd are its w, h)
        int32_t xs, ys, ws, hs; // source rectangle (a stretch's only)
        int32_t mode, op;
        HostParam param;
    };

    // The parts of each call that no later opaque call covers, found backwards from the
    // last call: call i's are parts[PartsBegin(i), partsEnd[i]); calls before `first`
    // are hidden whole; `covered` is what the calls cover opaquely.
    struct Visibility {
        std::vector<SurfaceRect> parts;
        std::vector<std::size_t> partsEnd;
        std::vector<SurfaceRect> covered;
        std::size_t first = 0;
        std::size_t PartsBegin(std::size_t i) const { return i + 1 < partsEnd.size() ? partsEnd[i + 1] : 0; }
    };
    // Calls recorded before the list drops those that later ones hide, which keeps a
    // long run's list about as long as the calls that show at once.
    static constexpr std::size_t kPruneAt = 4096;

    void Record(const Call& call);
    void Prune();
    Visibility Visible() const;
    void Fail() { complete = false; }
    // The destination pixels a call draws at most, and whether it draws all of them
    // opaquely (so that nothing drawn before shows through).
    SurfaceRect Area(const Call& call, bool& opaque) const;
    void DrawPart(const Call& call, const SurfaceRect& part);

    SoftwareSurface& oldFrame;
    SoftwareSurface& out;
    std::unique_ptr<Source> oldSource;
    std::unique_ptr<Source> newSource;
    std::unique_ptr<Destination> destination;
    std::vector<Call> calls;
    std::size_t pruneAt = kPruneAt;
    bool complete = true;
};

} // namespace wqtrans
