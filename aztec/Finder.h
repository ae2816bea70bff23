#pragma once
// The bull's-eye: candidates found by scanning rows for its alternating rings, confirmed across, and its outer
// dark ring traced to four corners that fix the symbol's geometry near the centre.

#include <optional>
#include <vector>

#include "Budget.h"
#include "Geometry.h"
#include "Image.h"

namespace varnok::aztec {

struct FinderCandidate {
    Point centre;
    double moduleSize = 0;
    int hits = 0;            // rows that saw it
    double irregularity = 0;  // how far its best row's rings were from one width, in modules
    bool centreDark = true;   // false when blur washed the centre module out
    double aspect = 1;        // its module along the row over its module down the column: 2 where pixels are twice
                              // as tall as wide, or the image was squeezed to half its height
};

// At most `limit` candidates, best first: by the share of the rows through its centre that saw it (so a large
// shape does not win by size alone), then by how regular its rings are. Dark centres only: pass the inverted
// image for light-on-dark symbols. Rings narrower than `minModule` pixels are not looked for (1 for symbols
// drawn at a pixel per module). Every walk is bounded by the runs the row showed; the search stops, keeping what
// it found, when the budget is spent.
// `rows`, where given, holds the runs of the rows scanned: those it has are taken from it (the image, or its
// inverse, must be the one they were kept for), and the others are added.
std::vector<FinderCandidate> findBullsEyes(const BinaryImage& image, std::size_t limit, Budget& budget,
                                           double minModule = 1.5, RowRuns* rows = nullptr);

// The four corners (clockwise in the image) of the middle of the light ring just inside the dark ring `ring`
// modules from the centre (4 for a compact symbol, 6 for a full-range one), which ink spread does not move, and
// of the dark ring's inner edge, which blur leaves sharper; nothing when the rings are not there.
struct RingCorners {
    std::array<Point, 4> middle, innerEdge;
};
std::optional<RingCorners> traceRing(const BinaryImage& image, const FinderCandidate& candidate, int ring,
                                     Budget& budget);

}  // namespace varnok::aztec
