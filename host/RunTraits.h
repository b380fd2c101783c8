// What a transition's pictures depend on besides its moment in the run, found by
// rendering: hosts that cannot give a value (an editor that does not pass its own
// random seed or the run's length) hide the setting where it changes nothing.
#pragma once

#include <cstdint>
#include <vector>

#include "host/PanelLayout.h"

namespace wqtrans {

// Whether two seeds give different pictures, with a fresh instance's settings and with
// each choice of the panel, on a small picture at a quarter, half and three quarters
// of a run.
bool DependsOnSeed(uint32_t id, const std::vector<PanelField>& fields);

// Whether the same share of a run looks different in runs of different lengths (1 s
// and 3 s) at one frame rate, with the same settings as DependsOnSeed: a transition
// that draws on its earlier steps has more of them in a longer run.
bool DependsOnDuration(uint32_t id, const std::vector<PanelField>& fields);

} // namespace wqtrans
