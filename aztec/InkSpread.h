#pragma once
// Ink spread undone in a binary image: dark modules printed fatter than the grid (toner, a wet inkjet) narrow the
// light ones until the rings and modules no longer have one width.

#include "Image.h"

namespace varnok::aztec {

// How many pixels the dark shapes have grown on each side, from the shortest common dark and light runs along the
// rows (in a symbol, each a single module: m + 2g dark, m - 2g light); 0 when they agree.
// `rows`: the runs of rows 0, 2, 4 ... where a search kept them.
int inkSpreadOf(const BinaryImage& image, const RowRuns* rows = nullptr);

// The dark shapes shrunk by `pixels` on every side (a pixel stays dark when the square around it is dark).
BinaryImage withoutInkSpread(const BinaryImage& image, int pixels);

}  // namespace varnok::aztec
