// The pixel work of the browser build: pictures fitted to the stage and turned
// into the bytes a canvas takes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/Fit.h"
#include "host/SoftwareSurface.h"

namespace wqtrans::web {

// Fills `to` with `background` (0xRRGGBB) and puts the `width` x `height` RGBA picture
// on it, placed by `mode` and smoothly scaled; for FitMode::Blur, the background is then
// covered by the picture's blurred copy (host/BlurFill.h), as the tool covers it. Alpha
// is dropped: frames are opaque.
// FFmpeg's scaler, which the tool uses, is not at hand here; this one uses the same
// filters, so that the page's pictures match the tool's within rounding: box-area
// averaging on an axis that shrinks, linear on one that grows while the other shrinks,
// and bicubic (B = 0, C = 0.6) when neither shrinks.
void FitPicture(const uint8_t* rgba, int32_t width, int32_t height, FitMode mode, uint32_t background,
                SoftwareSurface& to);

// Turns n pixels 0xAARRGGBB into bytes R, G, B, 255 in place.
void ToCanvasBytes(uint32_t* pixels, size_t n);

} // namespace wqtrans::web
