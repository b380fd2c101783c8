// A moving view into a picture, drawn onto an output frame: the sub-pixel sampling
// behind the join's slow pan and zoom over photos. A view that moves by a tiny step moves
// the picture by the same tiny step.
#pragma once

#include <cstddef>
#include <cstdint>

namespace wqtrans::join {

// The part of a picture in view: a rectangle in the picture's pixels, with fractional
// edges (x, y: its top-left corner; the picture's pixel i covers [i, i + 1)).
struct ViewRect {
    double x = 0, y = 0, width = 0, height = 0;
};

// Draws `view` of the picture (0xAARRGGBB words, `stride` in words) onto the
// destWidth x destHeight block at `dest` (`destStride` in words), stretched to fill it:
// output pixel (i, j) shows the picture at (view.x + (i + 0.5) * view.width / destWidth,
// view.y + (j + 0.5) * view.height / destHeight), sampled bilinearly between the four
// nearest pixel centres (edges clamped). Output pixels are opaque.
//
// Positions are taken to 1/4096 of a picture pixel and the four weights are exact at
// that resolution; each channel is rounded to nearest once both directions are blended
// (within 0.6 of the exact blend at the exact position; whole and half pixels exact).
// The picture's alpha is ignored. Meant for 1 to 2 picture pixels per output pixel, or
// enlarging; a view of more than 2 per output pixel skips some pixels (pre-scale the
// picture). A destination of 2 MiB or more is written past the processor's caches.
//
// Any view is safe: one hanging outside the picture shows its edge pixels stretched,
// one of zero size a single colour, one of negative size the picture mirrored; a
// coordinate or size that is not finite is taken as 0. An empty destination (null or
// a size of 0 or less) is left alone; an empty picture (null or a size of 0 or less)
// draws opaque black. The picture's rows must hold `width` words and the destination's
// `destWidth`. Scratch memory is the calling thread's own: threads may draw at once.
void DrawView(const uint32_t* picture, int32_t width, int32_t height, size_t stride, const ViewRect& view,
              uint32_t* dest, int32_t destWidth, int32_t destHeight, size_t destStride);

namespace detail {

// The same drawing, one pixel at a time in plain integer arithmetic: what processors
// without the vector code run, and what the tests hold the vector code to (it gives the
// same words).
void DrawViewReference(const uint32_t* picture, int32_t width, int32_t height, size_t stride, const ViewRect& view,
                       uint32_t* dest, int32_t destWidth, int32_t destHeight, size_t destStride);

// DrawView on vectors no wider than `isaLevel` allows (as VideoColour::LimitInstructions:
// 3 AVX2, 1 SSE2, 0 the reference), never more than the processor has.
void DrawViewLimited(int isaLevel, const uint32_t* picture, int32_t width, int32_t height, size_t stride,
                     const ViewRect& view, uint32_t* dest, int32_t destWidth, int32_t destHeight, size_t destStride);

} // namespace detail

} // namespace wqtrans::join
