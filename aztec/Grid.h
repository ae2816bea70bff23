#pragma once
// Where each module lies in the image. Near the bull's-eye one projective map is enough; a full-range symbol is
// followed along its reference grid (a line every 16 modules, modules alternating dark and light): each grid
// crossing is found in the image where the lines' pattern fits best, starting at the centre and predicting each
// next crossing from those already found, and every 16 x 16 cell gets a map of its own. So curved paper, lens
// distortion and waves are followed instead of extrapolated.

#include <array>
#include <optional>
#include <vector>

#include "Geometry.h"
#include "Image.h"
#include "Symbol.h"

namespace varnok::aztec {

// The gray level at a point, interpolated between the four pixels around it; outside the image, the nearest edge.
double levelAt(const GrayImage& image, Point p);

struct SampledModules {
    ModuleMatrix modules;
    std::vector<bool> unsure;  // y * size + x: too close to call
};

// Module levels (y * size + x, each read at its centre) to dark and light: each sharpened against its neighbours
// (blur spreads a module into those) and split where the symbol's own levels split best; modules close to that
// split are unsure.
SampledModules classifyLevels(const std::vector<double>& levels, int size);

class SymbolGrid {
public:
    // `initial` maps module coordinates of the whole symbol (module x spans [x, x + 1)) to pixels. The grid
    // lines are fitted to the binary image, or to the gray levels (small, soft modules).
    SymbolGrid(const BinaryImage& image, const Homography& initial, const SymbolFormat& format);
    SymbolGrid(const GrayImage& image, const Homography& initial, const SymbolFormat& format);

    Point toImage(Point module) const;

    using Sampled = SampledModules;
    // Each module by the majority of nine points in its middle half, so that noise and a blurred edge do not
    // decide it alone; unsure where the votes nearly tied.
    Sampled sample(const BinaryImage& image) const;
    // Each module from the gray levels around its centre (classifyLevels): for small, soft modules, where a
    // binary image has already lost the edges.
    Sampled sample(const GrayImage& image) const;

private:
    struct LocalMap {
        const Homography& initial;
        std::optional<Homography> projective;
        std::optional<std::array<double, 6>> affine;
        Point operator()(Point module) const;
    };
    // Crossing (a, b) lies at module centre + 16 (a, b); its place in the image.
    const Point& at(int a, int b) const;
    Point& at(int a, int b);
    Point moduleOf(int a, int b) const;
    LocalMap localMap(int a, int b) const;
    // The map of the cell that holds this point: for a module's centre, the map its samples are taken through
    // (a module on a grid line straddles two cells, whose maps meet there).
    const Homography& mapAt(Point module) const;
    // `darkness(point)` says how dark the image is at that point, 0 to 1, or NaN where there is no pixel (which
    // fits neither colour); `tie` is how much below the best score still counts as the best.
    template <typename Darkness>
    void follow(const Darkness& darkness, double tie);
    template <typename Darkness>
    void refine(const Darkness& darkness, double tie, int a, int b);

    int size_, centre_, reach_;  // crossings at centre + 16 k, |k| <= reach_
    Homography initial_;
    std::vector<Point> crossings_;
    std::vector<std::optional<Homography>> cells_;  // cell (a, b) spans crossings a..a+1, b..b+1
};

}  // namespace varnok::aztec
