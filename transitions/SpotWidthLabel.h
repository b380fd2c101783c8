// The spot width label of the Mosaic and Zigzag panels: control 1018 shows
// "Spot width: N%", formatted from string 1010 of the module's string table.
#pragma once

#include <cstdint>

#include "platform/Platform.h"

namespace wqtrans {

// Sets the label of `panel` to the spot width `value`. When its scratch memory
// cannot be had, the label stays as it was.
void ShowSpotWidth(HWND panel, int32_t value);

} // namespace wqtrans
