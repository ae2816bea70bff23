#include "Finder.h"

#include <algorithm>
#include <cmath>

namespace varnok::aztec {

namespace {

constexpr double pi = 3.14159265358979323846;

// Nine runs, dark in the middle, the inner seven of about one width: the rings through the centre of a
// bull's-eye. The outer two only need to be there: beyond them the mode message or an orientation mark may
// continue the dark ring.
bool looksLikeBullsEye(const int* runs, double& module)
{
    int total = 0;
    for (int i = 1; i < 8; ++i)
        total += runs[i];
    module = total / 7.0;
    if (module < 1.5)
        return false;
    for (int i = 1; i < 8; ++i)
        if (runs[i] < module * 0.5 || runs[i] > module * 1.6)
            return false;
    return runs[0] >= module * 0.5 && runs[8] >= module * 0.5;
}

// Runs of the line through `from` in direction (dx, dy), four each side of the run that holds `from`.
bool runsAround(const BinaryImage& image, int x, int y, int dx, int dy, int maxRun, int* runs)
{
    if (!image.inside(x, y) || !image.dark(x, y))
        return false;
    const auto walk = [&](int sx, int sy, int* out) {
        int px = x, py = y;
        bool colour = true;
        int index = 0, length = 0;
        while (index < 5) {
            px += sx;
            py += sy;
            const bool inside = image.inside(px, py);
            const bool c = inside && image.dark(px, py);
            if (!inside || c != colour) {
                out[index++] = length;
                if (!inside)
                    return index == 5;
                colour = c;
                length = 1;
            } else if (++length > maxRun) {
                return false;
            }
        }
        return true;
    };
    int forward[5], backward[5];
    if (!walk(dx, dy, forward) || !walk(-dx, -dy, backward))
        return false;
    runs[4] = forward[0] + backward[0] + 1;
    for (int i = 1; i < 5; ++i) {
        runs[4 + i] = forward[i];
        runs[4 - i] = backward[i];
    }
    return true;
}

}  // namespace

std::vector<FinderCandidate> findBullsEyes(const BinaryImage& image, std::size_t limit)
{
    std::vector<FinderCandidate> found;
    const int maxRun = std::max(image.width(), image.height()) / 2 + 2;
    std::vector<int> runs;
    std::vector<int> starts;
    for (int y = 0; y < image.height(); y += 2) {
        runs.clear();
        starts.clear();
        bool colour = image.dark(0, y);
        int length = 0;
        for (int x = 0; x <= image.width(); ++x) {
            const bool c = x < image.width() && image.dark(x, y);
            if (x < image.width() && c == colour) {
                ++length;
                continue;
            }
            starts.push_back(x - length);
            runs.push_back(colour ? length : -length);  // sign keeps the colour
            colour = c;
            length = 1;
        }
        for (std::size_t i = 0; i + 9 <= runs.size(); ++i) {
            if (runs[i + 4] <= 0)
                continue;
            int window[9];
            for (int k = 0; k < 9; ++k)
                window[k] = std::abs(runs[i + static_cast<std::size_t>(k)]);
            double module = 0;
            if (!looksLikeBullsEye(window, module))
                continue;
            const int cx = starts[i + 4] + runs[i + 4] / 2;
            int across[9];
            // Confirmed down the column, then the centre is moved to the middle of both centre runs.
            if (!runsAround(image, cx, y, 0, 1, maxRun, across) || !looksLikeBullsEye(across, module))
                continue;
            int cy = y;
            {
                int up = 0;
                while (image.inside(cx, cy - up - 1) && image.dark(cx, cy - up - 1))
                    ++up;
                cy = y - up + across[4] / 2;
            }
            int diagonal[9];
            double diagonalModule = 0;
            if (!runsAround(image, cx, cy, 1, 1, maxRun, diagonal) || !looksLikeBullsEye(diagonal, diagonalModule))
                continue;
            const Point centre{cx + 0.5, cy + 0.5};
            auto same = std::find_if(found.begin(), found.end(),
                                     [&](const FinderCandidate& f) { return distance(f.centre, centre) < f.moduleSize * 1.5; });
            if (same != found.end()) {
                ++same->hits;
                continue;
            }
            found.push_back({centre, (module + diagonalModule / std::sqrt(2.0)) / 2, 1});
            if (found.size() > 4096)  // a pathological page: keep what there is
                break;
        }
    }
    std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.hits > b.hits; });
    if (found.size() > limit)
        found.resize(limit);
    return found;
}

std::optional<std::array<Point, 4>> traceRing(const BinaryImage& image, const FinderCandidate& c, int ring)
{
    constexpr int rays = 72;
    // Colour changes from the centre to the inner edge of that ring: its outer edge may run on into an
    // orientation mark or the mode message.
    const int edges = ring;
    std::vector<Point> edge(rays);
    std::vector<double> reach(rays);
    for (int r = 0; r < rays; ++r) {
        const double angle = 2 * pi * r / rays;
        const double ux = std::cos(angle), uy = std::sin(angle);
        bool colour = true;
        int changes = 0, agree = 0;
        double t = 0;
        const double limit = c.moduleSize * (ring + 3) * 1.6;
        for (; t < limit && changes < edges; t += 0.5) {
            const int x = static_cast<int>(std::floor(c.centre.x + ux * t)), y = static_cast<int>(std::floor(c.centre.y + uy * t));
            if (!image.inside(x, y))
                return std::nullopt;
            // A change counts once it holds for a little: specks do not end a ring.
            agree = image.dark(x, y) != colour ? agree + 1 : 0;
            if (agree >= 2) {
                colour = !colour;
                ++changes;
                agree = 0;
            }
        }
        if (changes < edges)
            return std::nullopt;
        t -= 1.0;  // back to where the change began
        edge[static_cast<std::size_t>(r)] = {c.centre.x + ux * t, c.centre.y + uy * t};
        reach[static_cast<std::size_t>(r)] = t;
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
    // Each side as a line fitted through the edge points between its corners, away from the corners.
    std::array<std::pair<Point, Point>, 4> sides;
    for (int s = 0; s < 4; ++s) {
        const int a = corner[s], b = corner[(s + 1) % 4];
        const int span = ((b - a) % rays + rays) % rays;
        std::vector<Point> points;
        for (int k = 2; k + 2 <= span; ++k)
            points.push_back(edge[static_cast<std::size_t>((a + k) % rays)]);
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
        if (!p || distance(*p, edge[static_cast<std::size_t>(corner[s])]) > c.moduleSize * 2)
            return std::nullopt;
        corners[static_cast<std::size_t>(s)] = *p;
    }
    return corners;
}

}  // namespace varnok::aztec
