// The host surface interface: everything the transitions draw goes through it.
//
// A host implements HostSurface over its own pixels and passes three surfaces to
// every step: the destination, the old frame and the new frame. The module never
// touches a pixel itself; it works out which rectangles go where and asks the
// surfaces to move them.
//
// Contract
// --------
// Ownership. The host owns the surfaces it passes in; the module keeps no pointer to
// them beyond the call. The only surface the module owns is a transition's work
// surface, made through NewSurface() on a model surface and released with Destroy()
// when the transition is destroyed.
//
// Direction. Every operation acts on the surface it is called on, the source (or the
// surface asked), and takes the destination as its first argument:
//     newFrame->CopyRect(dest, xd, yd, xs, ys, w, h, mode, op, param, flags)
// copies a w x h block of newFrame at (xs, ys) to (xd, yd) on dest.
//
// Coordinates are pixels, origin at the top-left corner, x to the right, y down.
// Positions may be negative and rectangles may reach past either surface's edges:
// clipping to both surfaces is the surface's job, never the caller's. A rectangle
// with a width or height of 0 or below draws nothing and is not an error. What a
// stretch does with a negative destination size is the surface's choice; the
// reference surface draws nothing.
//
// mode   0 opaque; 1 transparent: source pixels of the source's key colour
//        (KeyColour) are skipped.
// op     0 plain copy (param 0).
//        1 blend: param 0 to 128, 0 = source fully opaque, 128 = source invisible.
//        op with bit 0x1000 set: param carries an alpha in its top byte (255 opaque)
//          and a colour coefficient per channel in its low 24 bits (0xFF = channel
//          unchanged); param 0xFFFFFFFF is no effect.
//        13: param is a HostEffect pointer (or 0); the source is tinted by the
//          effect's value (alpha in the top byte).
// param  a 32-bit value, except for op 13 where it holds a pointer: it is declared
//        pointer-wide for that reason, and only its low 32 bits are read otherwise.
// flags  0, 2 or 4 as the transitions pass them (2 on most CopyRect calls, 4 on the
//        stretches). Their meaning belongs to the surface; the reference surface
//        ignores them.
//
// Return values. Drawing operations return non-zero when they were carried out (an
// empty or wholly clipped rectangle included) and 0 when they failed. A step whose
// drawing call answers 0, or throws, reports 0; a transition that draws a little more
// at each step (bands, cells, sweeps) moves on only over what was drawn, so that its
// next step draws again what failed. A host whose last step reported 0 steps once
// more to complete the picture. IsReady returns 0 when the destination must not be
// drawn on: a step then draws nothing and reports 0. Allocate returns 0 when the work
// surface could not be made. Every step catches what a surface throws.
//
// Threads. All calls come on the host's user-interface thread.
//
// ABI. The interface has only pure virtual operations in a fixed order and no virtual
// destructor, so that its table of operations has one slot per operation in the order
// below on every compiler that lays out such interfaces the common way.
#pragma once

#include <cstdint>

namespace wqtrans {

// A host parameter: a 32-bit value, or for op 13 a HostEffect pointer.
using HostParam = uintptr_t;

// An effect object that the host may pass to Fade's extended step with op 13.
class HostEffect {
public:
    // The effect's tint: alpha in the top byte, colour in the low 24 bits.
    virtual uint32_t ReadTint() = 0;
    virtual void WriteTint(uint32_t tint) = 0;

protected:
    ~HostEffect() = default;
};

// Opaque to the module: what PrototypeFor fills in and Allocate reads.
struct HostPrototype {
    uint32_t words[8];
};

// Opaque to the module: a palette of an 8-bit surface.
struct HostPalette;

class HostSurface {
public:
    // Size in pixels.
    virtual int32_t Width() = 0;
    virtual int32_t Height() = 0;
    // Non-zero when this surface may be drawn on now.
    virtual int32_t IsReady() = 0;

    // The whole surface copied to (0, 0) of dest.
    virtual int32_t CopyAll(HostSurface* dest) = 0;
    // A w x h block from (xs, ys) of this surface to (xd, yd) of dest.
    virtual int32_t CopyRect(HostSurface* dest, int32_t xd, int32_t yd, int32_t xs, int32_t ys, int32_t w, int32_t h,
                             int32_t mode, int32_t op, HostParam param, int32_t flags) = 0;
    // The whole surface with its top-left corner at (xd, yd) of dest.
    virtual int32_t DrawAt(HostSurface* dest, int32_t xd, int32_t yd, int32_t mode, int32_t op, HostParam param,
                           int32_t flags) = 0;
    // The ws x hs rectangle at (xs, ys) scaled into the wd x hd rectangle at (xd, yd).
    virtual int32_t StretchRect(HostSurface* dest, int32_t xd, int32_t yd, int32_t wd, int32_t hd, int32_t xs,
                                int32_t ys, int32_t ws, int32_t hs, int32_t mode, int32_t op, HostParam param,
                                int32_t flags) = 0;
    // The whole surface scaled into the wd x hd rectangle at (xd, yd).
    virtual int32_t StretchAll(HostSurface* dest, int32_t xd, int32_t yd, int32_t wd, int32_t hd, int32_t mode,
                               int32_t op, HostParam param, int32_t flags) = 0;

    // Pixel model of this surface, read when a work surface is made after it.
    virtual int32_t Depth() = 0;
    virtual int32_t Driver() = 0;
    virtual uint32_t KeyColour() = 0;
    virtual HostPalette* PaletteOf(int32_t which) = 0;

    // Work surface operations: a surface made by NewSurface is empty until Allocate.
    virtual int32_t PrototypeFor(HostPrototype* out, int32_t depth, int32_t surfaceType, int32_t driver) = 0;
    virtual int32_t Allocate(int32_t width, int32_t height, const HostPrototype* prototype) = 0;
    virtual int32_t SetKeyColour(uint32_t colour) = 0;
    virtual int32_t AssignPalette(HostPalette* palette) = 0;
    // Bracket drawing into this surface (BeginDraw is called with 0, 0).
    virtual int32_t BeginDraw(int32_t reserved1, int32_t reserved2) = 0;
    virtual int32_t EndDraw() = 0;

    // A new, empty surface of the same host, or null; released with Destroy().
    virtual HostSurface* NewSurface() = 0;
    // Destroys a surface made by NewSurface and frees its memory.
    virtual void Destroy() = 0;

protected:
    ~HostSurface() = default;
};

} // namespace wqtrans
