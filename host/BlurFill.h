// The fill around a contained picture for FitMode::Blur: in place of bars of one colour,
// a strongly blurred, darkened copy of the picture itself, enlarged to cover the frame
// (as portrait videos are shown in a landscape frame, and the other way round). Every
// host that fits pictures draws the contained picture first and then calls BlurBehind
// on the frame, so that they all show the same fill.
//
// The work is done on a small copy: the picture's middle, box-averaged down to about an
// eighth of the frame a side, blurred there (three box passes, close to a Gaussian) and
// darkened, then enlarged with bilinear filtering into the frame's bands only. It costs
// about as much as copying the frame once. Calls on different frames may run on several
// threads at once: each thread keeps its own working memory from one call to the next,
// about an eighth of the largest frame it has filled.
#pragma once

#include "host/Fit.h"
#include "host/SoftwareSurface.h"

namespace wqtrans {

// Fills `frame` outside `shown` with a strongly blurred, slightly darkened copy of what
// `shown` holds, scaled to cover the whole frame (centred, cropped to the frame's shape).
// `frame` is a surface of 0xAARRGGBB words; the pixels inside `shown` are left as they are.
// Nothing is drawn when `shown` covers the frame.
//
// The fill is opaque. `shown` is clipped to the frame first; nothing is drawn either when
// nothing of it lies inside, nor on a read-only surface or one over 3-byte pixels.
void BlurBehind(SoftwareSurface& frame, const FitRect& shown);

} // namespace wqtrans
