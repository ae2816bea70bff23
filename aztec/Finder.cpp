#include "Finder.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace varnok::aztec {

namespace {

constexpr double pi = 3.14159265358979323846;

// The rings through a bull's-eye's centre as runs of one colour. Sharp, they are nine, dark in the middle, the
// inner seven one module wide. Blur and a threshold can wash the one-module centre out into the light ring
// around it: then they are seven, light in the middle, and the middle run three modules wide. The outermost run
// each side only needs to be there: beyond it the mode message or an orientation mark may continue the ring.
struct Profile {
    bool centreDark;
    int side;  // runs each side of the centre run
    int widths[9];  // in modules; 0 for the outermost runs
};
constexpr Profile sharp{true, 4, {0, 1, 1, 1, 1, 1, 1, 1, 0}};
constexpr Profile washedOut{false, 3, {0, 1, 1, 3, 1, 1, 0}};

// `irregularity` is the largest departure of an inner run from its width, in modules; `slack` pixels more are
// allowed each way.
bool looksLikeBullsEye(const int* runs, const Profile& profile, double minModule, double& module, double& irregularity,
                       double slack = 0)
{
    const int count = 2 * profile.side + 1;
    int total = 0;
    for (int i = 1; i + 1 < count; ++i)
        total += runs[i];
    module = total / 7.0;
    if (module < minModule)
        return false;
    // Every run within its bounds first: most windows of a row fail there, and need nothing more.
    const double below = module * 0.5 + slack, above = module * 0.6 + slack;
    for (int i = 1; i + 1 < count; ++i) {
        const double expected = profile.widths[i] * module;
        if (runs[i] < expected - below || runs[i] > expected + above)
            return false;
    }
    if (runs[0] < module * 0.5 || runs[count - 1] < module * 0.5)
        return false;
    double largest = 0;
    for (int i = 1; i + 1 < count; ++i)
        largest = std::max(largest, std::abs(runs[i] - profile.widths[i] * module));
    irregularity = largest / module;
    return true;
}

// The inner runs' bounds of looksLikeBullsEye, (width - 0.5) to (width + 0.6) modules of inner / 7 pixels, in
// integers: what fails here fails there by a thirty-fifth of a pixel at least, and most windows of a row fail
// here.
bool innerRunsFit(const int* runs, const Profile& profile, int inner)
{
    for (int i = 1; i < 2 * profile.side; ++i) {
        const int width = profile.widths[i];
        if (14 * runs[i] < (2 * width - 1) * inner || 35 * runs[i] > (5 * width + 3) * inner)
            return false;
    }
    return true;
}

// Where the run that starts at `x` ends: eight bytes at a time, so that one predictable test replaces a
// mispredicted one per pixel in noise, and paper is crossed quickly.
int runEnd(const std::uint8_t* row, int x, int width)
{
    const std::uint8_t colour = row[x++];
    if constexpr (std::endian::native == std::endian::little) {
        const std::uint64_t same = 0x0101010101010101ull * colour;
        for (; x + 8 <= width; x += 8) {
            std::uint64_t word;
            std::memcpy(&word, row + x, sizeof word);
            if (const std::uint64_t differs = word ^ same)
                return x + std::countr_zero(differs) / 8;
        }
    }
    while (x < width && row[x] == colour)
        ++x;
    return x;
}

// Runs of the line through (x, y) in direction (dx, dy), `profile.side` each side of the run that holds it. An
// inner run longer than `maxRun` ends the walk (no bull's-eye there); the outermost ones are counted up to
// `maxRun` only, so no walk goes further than the row's own rings suggest.
bool runsAround(const BinaryImage& image, int x, int y, int dx, int dy, const Profile& profile, int maxRun, int* runs,
                Budget& budget)
{
    if (!image.inside(x, y) || image.dark(x, y) != profile.centreDark)
        return false;
    const int side = profile.side;
    int steps = 0;
    const auto walk = [&](int sx, int sy, int* out) {
        int px = x, py = y;
        bool colour = profile.centreDark;
        int index = 0, length = 0;
        while (index <= side) {
            px += sx;
            py += sy;
            ++steps;
            const bool inside = image.inside(px, py);
            const bool c = inside && image.dark(px, py);
            if (!inside || c != colour) {
                out[index++] = length;
                if (!inside)
                    return index == side + 1;
                colour = c;
                length = 1;
            } else if (++length > (index == 0 ? profile.widths[side] * maxRun : maxRun)) {
                if (index < side)
                    return false;
                out[index++] = maxRun;
            }
        }
        return true;
    };
    int forward[5] = {}, backward[5] = {};
    const bool found = walk(dx, dy, forward) && walk(-dx, -dy, backward);
    budget.spend(steps);
    if (!found)
        return false;
    runs[side] = forward[0] + backward[0] + 1;
    for (int i = 1; i <= side; ++i) {
        runs[side + i] = forward[i];
        runs[side - i] = backward[i];
    }
    return true;
}

}  // namespace

std::vector<FinderCandidate> findBullsEyes(const BinaryImage& image, std::size_t limit, Budget& budget, double minModule,
                                           RowRuns* rows)
{
    std::vector<FinderCandidate> found;
    // A centre module one pixel tall is seen by one row only.
    const int rowStep = minModule < 1.5 ? 1 : 2;
    std::vector<int> runs, starts, before;  // run lengths, where each starts, and the sum of those before it
    double largest = 0;  // module size of the largest bull's-eye found
    // Kept runs are of every other row.
    if (rowStep != 2)
        rows = nullptr;
    for (int y = 0; y < image.height() && budget.spend(image.width()); y += rowStep) {
        runs.clear();
        starts.clear();
        before.assign(1, 0);
        const std::uint8_t* row = image.row(y);
        const bool firstDark = row[0] != 0;
        std::size_t kept = 0;
        if (const int* lengths = rows ? rows->row(static_cast<std::size_t>(y / 2), kept) : nullptr) {
            for (std::size_t k = 0; k < kept; ++k) {
                starts.push_back(before.back());
                runs.push_back(lengths[k]);
                before.push_back(before.back() + lengths[k]);
            }
        } else {
            for (int x = 0; x < image.width();) {
                const int start = x;
                x = runEnd(row, x, image.width());
                starts.push_back(start);
                runs.push_back(x - start);
                before.push_back(x);
            }
            if (rows && rows->rows() == static_cast<std::size_t>(y / 2))
                rows->add(runs);
        }
        // Each run starts a window of each profile, and a window costs a few pixel visits.
        budget.spend(static_cast<long long>(runs.size()) * 4);
        for (const Profile& profile : {sharp, washedOut}) {
            const std::size_t count = static_cast<std::size_t>(2 * profile.side + 1), mid = count / 2;
            // Runs alternate in colour: the window's centre has the profile's colour every other run.
            for (std::size_t i = (firstDark == profile.centreDark) == (mid % 2 == 0) ? 0 : 1;
                 i + count <= runs.size() && !budget.spent(); i += 2) {
                // Seven modules inside the outermost runs, as wide as the smallest rings looked for.
                const int inner = before[i + count - 1] - before[i + 1];
                if (inner < 7 * minModule)
                    continue;
                const int* window = runs.data() + i;
                double module = 0, irregularity = 0;
                if (!innerRunsFit(window, profile, inner) ||
                    !looksLikeBullsEye(window, profile, minModule, module, irregularity))
                    continue;
                const int maxRun = static_cast<int>(module * 2) + 2;
                const int cx = starts[i + mid] + runs[i + mid] / 2;
                int across[9];
                double acrossModule = 0, acrossIrregularity = 0;
                // Confirmed down the column, then the centre is moved to the middle of both centre runs.
                if (!runsAround(image, cx, y, 0, 1, profile, maxRun, across, budget) ||
                    !looksLikeBullsEye(across, profile, minModule, acrossModule, acrossIrregularity))
                    continue;
                int up = 0;
                const int centreRun = across[profile.side];
                while (up < centreRun && image.inside(cx, y - up - 1) && image.dark(cx, y - up - 1) == profile.centreDark)
                    ++up;
                const int cy = y - up + centreRun / 2;
                int diagonal[9];
                double diagonalModule = 0, diagonalIrregularity = 0;
                // Along the diagonal a ring may be as narrow as a module over the square root of two, and blur
                // rounds the rings' corners by a pixel or two.
                if (!runsAround(image, cx, cy, 1, 1, profile, static_cast<int>(maxRun * 1.5) + 2, diagonal, budget) ||
                    !looksLikeBullsEye(diagonal, profile, minModule / std::sqrt(2.0), diagonalModule,
                                       diagonalIrregularity, 1.5))
                    continue;
                // And along the other diagonal: rings are closed, while texture that passes three lines by chance
                // rarely passes a fourth.
                int other[9];
                double otherModule = 0, otherIrregularity = 0;
                if (!runsAround(image, cx, cy, 1, -1, profile, static_cast<int>(maxRun * 1.5) + 2, other, budget) ||
                    !looksLikeBullsEye(other, profile, minModule / std::sqrt(2.0), otherModule, otherIrregularity, 1.5))
                    continue;
                const Point centre{cx + 0.5, cy + 0.5};
                irregularity = std::max(irregularity, acrossIrregularity);
                // Found rows above at most: candidates come in the order of their rows, so the search looks back
                // only as far as the largest bull's-eye reaches.
                auto same = found.rend();
                for (auto f = found.rbegin(); f != found.rend() && centre.y - f->centre.y <= largest * 1.5; ++f) {
                    const Point d = f->centre - centre;
                    if (d.x * d.x + d.y * d.y < f->moduleSize * f->moduleSize * 2.25) {
                        same = f;
                        break;
                    }
                }
                if (same != found.rend()) {
                    ++same->hits;
                    same->irregularity = std::min(same->irregularity, irregularity);
                    continue;
                }
                // A row crosses the rings of a symbol turned by t at 1 / cos t modules, the diagonal at
                // 1 / (sqrt 2 cos(45 - t)): their geometric mean stays within a tenth of the module at any angle.
                found.push_back({centre, std::sqrt(module * diagonalModule), 1, irregularity, profile.centreDark,
                                 module / acrossModule});
                largest = std::max(largest, found.back().moduleSize);
                if (found.size() > 4096)  // a pathological page: keep what there is
                    break;
            }
        }
    }
    const auto share = [&](const FinderCandidate& f) { return std::min(1.0, f.hits * rowStep / f.moduleSize); };
    std::stable_sort(found.begin(), found.end(), [&](const auto& a, const auto& b) {
        return share(a) - a.irregularity > share(b) - b.irregularity;
    });
    if (found.size() > limit)
        found.resize(limit);
    return found;
}

std::optional<RingCorners> traceRing(const BinaryImage& image, const FinderCandidate& c, int ring, Budget& budget)
{
    constexpr int rays = 72;
    // Each ray's direction, worked out once: sines and cosines were a few per cent of a read of noise.
    static const auto directions = [] {
        std::array<Point, rays> d;
        for (int r = 0; r < rays; ++r) {
            const double angle = 2 * pi * r / rays;
            d[static_cast<std::size_t>(r)] = {std::cos(angle), std::sin(angle)};
        }
        return d;
    }();
    // Colour changes from the centre to the inner edge of that ring: its outer edge may run on into an
    // orientation mark or the mode message. A washed-out centre is one change fewer. The light ring inside is
    // traced by its middle, between its two edges: ink spread moves those edges opposite ways.
    const int edges = c.centreDark ? ring : ring - 1;
    std::vector<Point> edge(rays), inside(rays);
    std::vector<double> reach(rays);
    for (int r = 0; r < rays; ++r) {
        const double ux = directions[static_cast<std::size_t>(r)].x, uy = directions[static_cast<std::size_t>(r)].y;
        bool colour = c.centreDark;
        int changes = 0, agree = 0;
        double t = 0, inner = 0;
        // A change counts once it holds for a fifth of a module (a pixel at least): specks and noise inside a
        // large module do not end a ring.
        const int hold = std::max(2, static_cast<int>(c.moduleSize * 0.4));
        const double limit = c.moduleSize * (ring + 3) * 1.6;
        if (!budget.spend(static_cast<long long>(limit * 2)))
            return std::nullopt;
        for (; t < limit && changes < edges; t += 0.5) {
            const auto pixel = pixelAt(c.centre.x + ux * t, c.centre.y + uy * t, image.width(), image.height());
            if (!pixel)
                return std::nullopt;
            agree = image.dark(pixel->x, pixel->y) != colour ? agree + 1 : 0;
            if (agree >= hold) {
                colour = !colour;
                ++changes;
                agree = 0;
                inner = changes == edges - 1 ? t - 0.5 * (hold - 1) : inner;  // back to where the change began
            }
        }
        if (changes < edges)
            return std::nullopt;
        const double outer = t - 0.5 * hold, middle = (inner + outer) / 2;
        inside[static_cast<std::size_t>(r)] = {c.centre.x + ux * middle, c.centre.y + uy * middle};
        edge[static_cast<std::size_t>(r)] = {c.centre.x + ux * outer, c.centre.y + uy * outer};
        reach[static_cast<std::size_t>(r)] = middle;
    }
    // Corners lie farthest out, a quarter turn apart.
    const auto farthest = [&](int from, int span) {
        int best = from;
        for (int k = from - span; k <= from + span; ++k) {
            const int i = ((k % rays) + rays) % rays;
            if (reach[static_cast<std::size_t>(i)] > reach[static_cast<std::size_t>(best % rays)])
                best = i;
        }
        return best % rays;
    };
    int corner[4];
    corner[0] = farthest(0, rays / 2);
    for (int k = 1; k < 4; ++k)
        corner[k] = farthest(corner[0] + k * rays / 4, rays / 12);
    // Each side as a line fitted through the points between its corners, away from the corners.
    const auto fit = [&](const std::vector<Point>& traced) -> std::optional<std::array<Point, 4>> {
        std::array<std::pair<Point, Point>, 4> sides;
        for (int s = 0; s < 4; ++s) {
            const int a = corner[s], b = corner[(s + 1) % 4];
            const int span = ((b - a) % rays + rays) % rays;
            std::vector<Point> points;
            for (int k = 2; k + 2 <= span; ++k)
                points.push_back(traced[static_cast<std::size_t>((a + k) % rays)]);
            if (points.size() < 3)
                return std::nullopt;
            Point mean{};
            for (const Point& p : points)
                mean = mean + p;
            mean = mean * (1.0 / points.size());
            double sxx = 0, sxy = 0, syy = 0;
            for (const Point& p : points) {
                const Point d = p - mean;
                sxx += d.x * d.x;
                sxy += d.x * d.y;
                syy += d.y * d.y;
            }
            const double theta = 0.5 * std::atan2(2 * sxy, sxx - syy);  // direction of the line
            sides[static_cast<std::size_t>(s)] = {mean, mean + Point{std::cos(theta), std::sin(theta)}};
        }
        std::array<Point, 4> corners;
        for (int s = 0; s < 4; ++s) {
            const auto& [a1, a2] = sides[static_cast<std::size_t>((s + 3) % 4)];
            const auto& [b1, b2] = sides[static_cast<std::size_t>(s)];
            const auto p = intersection(a1, a2, b1, b2);
            if (!p || distance(*p, traced[static_cast<std::size_t>(corner[s])]) > c.moduleSize * 2)
                return std::nullopt;
            corners[static_cast<std::size_t>(s)] = *p;
        }
        return corners;
    };
    const auto middle = fit(inside), innerEdge = fit(edge);
    if (!middle || !innerEdge)
        return std::nullopt;
    return RingCorners{*middle, *innerEdge};
}

}  // namespace varnok::aztec
