// Trame's frame at any moment, drawn row by row instead of one host call per pixel.
//
// A run of Trame copies every revealed pixel of the new picture with its own 1 x 1 copy,
// two million calls at 99 % of a 1080p run. The picture those copies leave is simple:
// each sweep reveals a lattice of pixels (every column or every other one, every row or
// every other one, between two bounds), and a row of the picture is the old row with
// the new picture's pixels on the columns of the sweeps that reach that row. There are
// at most four sweeps, so at most sixteen kinds of row: each kind's columns are worked
// out once, and each row is then one pass over the two pictures.
#pragma once

#include <cstdint>
#include <vector>

#include "host/SoftwareSurface.h"

namespace wqtrans {

// Draws into `out` Trame's picture at elapsed time `e` of a run of `d` ms (0 < d,
// e <= d), as one step of a fresh run at e leaves it on a destination that held the old
// picture: the sweeps of the pattern in `block` (Trame's 4-byte block, or empty for the
// default). The three surfaces have one size and `out` is writable. False, with `out`
// untouched, when the picture cannot be drawn this way (a destination that is not
// ready, an empty frame): the caller then steps the transition.
bool DrawTrameAt(const std::vector<uint8_t>& block, uint32_t e, uint32_t d, SoftwareSurface& oldFrame,
                 SoftwareSurface& newFrame, SoftwareSurface& out);

} // namespace wqtrans
