#pragma once
// The bull's-eye: candidates found by scanning rows for its alternating rings, confirmed across, and its outer
// dark ring traced to four corners that fix the symbol's geometry near the centre.

#include <optional>
#include <vector>

#include "Geometry.h"
#include "Image.h"

namespace varnok::aztec {

struct FinderCandidate {
    Point centre;
    double moduleSize = 0;
    int hits = 0;  // rows and columns that saw it: the better ones are tried first
};

// At most `limit` candidates, best first. Dark centres only: pass the inverted image for light-on-dark symbols.
std::vector<FinderCandidate> findBullsEyes(const BinaryImage& image, std::size_t limit);

// The four corners (clockwise in the image) of the inner edge of the dark ring `ring` modules from the centre
// (4 for a compact symbol, 6 for a full-range one); nothing when the rings are not there.
std::optional<std::array<Point, 4>> traceRing(const BinaryImage& image, const FinderCandidate& candidate, int ring);

}  // namespace varnok::aztec
