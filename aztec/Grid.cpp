#include "Grid.h"

#include <algorithm>
#include <cmath>

namespace varnok::aztec {

namespace {

constexpr int spacing = 16;
// How far a crossing may lie from where it was predicted, in modules, and the search step.
constexpr double searchModules = 1.5, stepModules = 0.25;
// Grid modules each side of a crossing that are compared, along each of its two lines.
constexpr int armModules = 6;

// The affine map fitted to pairs (module, image), weighted; nothing when they do not span the plane.
std::optional<std::array<double, 6>> fitAffine(const std::vector<std::pair<Point, Point>>& pairs,
                                               const std::vector<double>& weights)
{
    double s[3][3] = {}, tx[3] = {}, ty[3] = {};
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        const double v[3] = {pairs[i].first.x, pairs[i].first.y, 1};
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 3; ++c)
                s[r][c] += weights[i] * v[r] * v[c];
            tx[r] += weights[i] * v[r] * pairs[i].second.x;
            ty[r] += weights[i] * v[r] * pairs[i].second.y;
        }
    }
    const double det = s[0][0] * (s[1][1] * s[2][2] - s[1][2] * s[2][1]) -
                       s[0][1] * (s[1][0] * s[2][2] - s[1][2] * s[2][0]) +
                       s[0][2] * (s[1][0] * s[2][1] - s[1][1] * s[2][0]);
    if (std::abs(det) < 1e-9)
        return std::nullopt;
    const auto solve = [&](const double* t) {
        std::array<double, 3> x{};
        for (int k = 0; k < 3; ++k) {  // Cramer's rule: column k replaced by t
            double m[3][3];
            for (int r = 0; r < 3; ++r)
                for (int c = 0; c < 3; ++c)
                    m[r][c] = c == k ? t[r] : s[r][c];
            x[static_cast<std::size_t>(k)] = (m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                                              m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                                              m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0])) / det;
        }
        return x;
    };
    const auto a = solve(tx), b = solve(ty);
    return std::array<double, 6>{a[0], a[1], a[2], b[0], b[1], b[2]};
}

}  // namespace

SymbolGrid::SymbolGrid(const BinaryImage& image, const Homography& initial, const SymbolFormat& format)
    : size_(format.size()), centre_(format.size() / 2), reach_(format.compact ? 0 : (format.size() / 2) / spacing),
      initial_(initial)
{
    follow([&](Point p) {
        const auto pixel = pixelAt(p.x, p.y, image.width(), image.height());
        return !pixel ? std::nan("") : image.dark(pixel->x, pixel->y) ? 1.0 : 0.0;
    }, 0);
}

SymbolGrid::SymbolGrid(const GrayImage& image, const Homography& initial, const SymbolFormat& format)
    : size_(format.size()), centre_(format.size() / 2), reach_(format.compact ? 0 : (format.size() / 2) / spacing),
      initial_(initial)
{
    follow([&](Point p) { return 1 - levelAt(image, p) / 255; }, 0.5);
}

template <typename Darkness>
void SymbolGrid::follow(const Darkness& darkness, double tie)
{
    const int side = 2 * reach_ + 1;
    crossings_.resize(static_cast<std::size_t>(side * side));
    // Outwards ring by ring, so that every prediction leans on crossings already found.
    for (int ring = 0; ring <= reach_; ++ring)
        for (int a = -ring; a <= ring; ++a)
            for (int b = -ring; b <= ring; ++b)
                if (std::max(std::abs(a), std::abs(b)) == ring)
                    refine(darkness, tie, a, b);
    cells_.resize(static_cast<std::size_t>(side * side));
    for (int a = -reach_; a < reach_; ++a)
        for (int b = -reach_; b < reach_; ++b) {
            const auto corner = [&](int da, int db) { return moduleOf(a + da, b + db); };
            cells_[static_cast<std::size_t>((a + reach_) * side + b + reach_)] =
                Homography::between({corner(0, 0), corner(1, 0), corner(1, 1), corner(0, 1)},
                                    {at(a, b), at(a + 1, b), at(a + 1, b + 1), at(a, b + 1)});
        }
}

const Point& SymbolGrid::at(int a, int b) const
{
    return crossings_[static_cast<std::size_t>((a + reach_) * (2 * reach_ + 1) + b + reach_)];
}

Point& SymbolGrid::at(int a, int b)
{
    return crossings_[static_cast<std::size_t>((a + reach_) * (2 * reach_ + 1) + b + reach_)];
}

// The nearest crossings already placed, as a projective map (nearer ones weigh more), so that a slanted view's
// shrinking modules are predicted and not extrapolated at one size; an affine map from three, the initial map
// where there are fewer.
SymbolGrid::LocalMap SymbolGrid::localMap(int a, int b) const
{
    std::vector<std::pair<Point, Point>> pairs;
    std::vector<double> weights;
    const int ring = std::max(std::abs(a), std::abs(b));
    for (int da = -2; da <= 2; ++da)
        for (int db = -2; db <= 2; ++db) {
            const int na = a + da, nb = b + db;
            if (std::abs(na) > reach_ || std::abs(nb) > reach_ || std::max(std::abs(na), std::abs(nb)) >= ring)
                continue;
            pairs.emplace_back(moduleOf(na, nb), at(na, nb));
            weights.push_back(1.0 / (da * da + db * db));
        }
    LocalMap map{initial_, std::nullopt, std::nullopt};
    if (pairs.size() >= 4)
        map.projective = Homography::fitted(pairs, weights);
    if (!map.projective && pairs.size() >= 3)
        map.affine = fitAffine(pairs, weights);
    return map;
}

Point SymbolGrid::LocalMap::operator()(Point m) const
{
    if (projective)
        return (*projective)(m);
    if (!affine)
        return initial(m);
    const auto& f = *affine;
    return {f[0] * m.x + f[1] * m.y + f[2], f[3] * m.x + f[4] * m.y + f[5]};
}

Point SymbolGrid::moduleOf(int a, int b) const
{
    return {centre_ + 0.5 + spacing * a, centre_ + 0.5 + spacing * b};
}

// The crossing where the two grid lines through it match best: modules at even distances dark, odd ones light.
// Shifts and samples lie on one lattice of quarter modules, so each line's points are looked up once per shift
// across it and shared by every shift along it.
template <typename Darkness>
void SymbolGrid::refine(const Darkness& darkness, double tie, int a, int b)
{
    const LocalMap map = localMap(a, b);
    const Point module = moduleOf(a, b), predicted = map(module);
    const Point ux = map(module + Point{1, 0}) - predicted, uy = map(module + Point{0, 1}) - predicted;
    const int gx = centre_ + spacing * a, gy = centre_ + spacing * b;
    constexpr int perModule = static_cast<int>(1 / stepModules);
    const int steps = static_cast<int>(searchModules / stepModules), span = 2 * steps + 1;
    const int reach = steps + perModule * armModules, length = 2 * reach + 1;
    // How well each point of a line fits a dark and a light module, at `along` quarter modules along the line and
    // `across` quarter modules off it; a point with no pixel fits neither.
    struct Line {
        std::vector<double> dark, light;
    };
    const auto sampleLine = [&](Point along, Point across) {
        Line line{std::vector<double>(static_cast<std::size_t>(span * length)), {}};
        line.light.resize(line.dark.size());
        for (int j = -steps; j <= steps; ++j)
            for (int m = -reach; m <= reach; ++m) {
                const auto at = static_cast<std::size_t>((j + steps) * length + m + reach);
                const double d = darkness(predicted + along * (m * stepModules) + across * (j * stepModules));
                line.dark[at] = std::isnan(d) ? 0 : d;
                line.light[at] = std::isnan(d) ? 0 : 1 - d;
            }
        return line;
    };
    const Line horizontal = sampleLine(ux, uy), vertical = sampleLine(uy, ux);
    // The grid modules of each arm that lie in the symbol.
    const auto inSymbol = [&](int v) { return v >= 0 && v < size_; };
    const int kFirst = -armModules, kLast = armModules;
    // Shift i along x and j along y; the horizontal line is met at i + 4k along, j across, the vertical one the
    // other way round.
    const auto score = [&](int i, int j) {
        double agree = 0;
        const std::size_t h = static_cast<std::size_t>((j + steps) * length + i + reach);
        const std::size_t v = static_cast<std::size_t>((i + steps) * length + j + reach);
        for (int k = kFirst; k <= kLast; ++k) {
            const bool dark = k % 2 == 0;
            const std::ptrdiff_t offset = perModule * k;
            if (inSymbol(gx + k) && inSymbol(gy))
                agree += (dark ? horizontal.dark : horizontal.light)[h + offset];
            if (inSymbol(gy + k) && inSymbol(gx))
                agree += (dark ? vertical.dark : vertical.light)[v + offset];
        }
        return agree;
    };
    // The best score is a plateau about a module wide (each sample stays in its module): take its middle.
    std::vector<double> scores;
    scores.reserve(static_cast<std::size_t>(span * span));
    double best = 0;
    for (int i = -steps; i <= steps; ++i)
        for (int j = -steps; j <= steps; ++j) {
            scores.push_back(score(i, j));
            best = std::max(best, scores.back());
        }
    Point sum{};
    int count = 0;
    for (int i = -steps, n = 0; i <= steps; ++i)
        for (int j = -steps; j <= steps; ++j, ++n)
            if (scores[static_cast<std::size_t>(n)] >= best - tie) {
                sum = sum + Point{static_cast<double>(i), static_cast<double>(j)};
                ++count;
            }
    const Point middle = sum * (stepModules / count);
    at(a, b) = predicted + ux * middle.x + uy * middle.y;
}

const Homography& SymbolGrid::mapAt(Point module) const
{
    if (reach_ == 0)
        return initial_;
    const auto cellOf = [&](double v) {
        const int k = static_cast<int>(std::floor((v - (centre_ + 0.5)) / spacing));
        return std::clamp(k, -reach_, reach_ - 1);
    };
    const int a = cellOf(module.x), b = cellOf(module.y);
    const auto& cell = cells_[static_cast<std::size_t>((a + reach_) * (2 * reach_ + 1) + b + reach_)];
    return cell ? *cell : initial_;
}

Point SymbolGrid::toImage(Point module) const { return mapAt(module)(module); }

SymbolGrid::Sampled SymbolGrid::sample(const BinaryImage& image) const
{
    Sampled out{ModuleMatrix(size_), std::vector<bool>(static_cast<std::size_t>(size_) * size_, false)};
    for (int y = 0; y < size_; ++y)
        for (int x = 0; x < size_; ++x) {
            // Within a module the map is as good as linear: three points place all nine.
            const Homography& map = mapAt({x + 0.5, y + 0.5});
            const Point centre = map({x + 0.5, y + 0.5});
            const Point across = map({x + 0.75, y + 0.5}) - centre, down = map({x + 0.5, y + 0.75}) - centre;
            int dark = 0;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const Point p = centre + across * dx + down * dy;
                    dark += image.darkAt(p.x, p.y);
                }
            out.modules.set(x, y, dark >= 5);
            out.unsure[static_cast<std::size_t>(y) * size_ + x] = dark == 4 || dark == 5;
        }
    return out;
}

double levelAt(const GrayImage& image, Point p)
{
    if (std::isnan(p.x) || std::isnan(p.y))
        return 255;  // no place at all: light paper, as outside the image
    const double x = std::clamp(p.x - 0.5, 0.0, image.width - 1.0), y = std::clamp(p.y - 0.5, 0.0, image.height - 1.0);
    const int x0 = static_cast<int>(x), y0 = static_cast<int>(y);
    const int x1 = std::min(x0 + 1, image.width - 1), y1 = std::min(y0 + 1, image.height - 1);
    const double fx = x - x0, fy = y - y0;
    return (image.at(x0, y0) * (1 - fx) + image.at(x1, y0) * fx) * (1 - fy) +
           (image.at(x0, y1) * (1 - fx) + image.at(x1, y1) * fx) * fy;
}

SymbolGrid::Sampled SymbolGrid::sample(const GrayImage& image) const
{
    const std::size_t n = static_cast<std::size_t>(size_);
    std::vector<double> level(n * n);
    for (int y = 0; y < size_; ++y)
        for (int x = 0; x < size_; ++x) {
            double sum = 0;
            const Homography& map = mapAt({x + 0.5, y + 0.5});
            for (const auto& [dx, dy] : {std::pair{0.0, 0.0}, {-0.2, 0.0}, {0.2, 0.0}, {0.0, -0.2}, {0.0, 0.2}})
                sum += levelAt(image, map({x + 0.5 + dx, y + 0.5 + dy}));
            level[std::size_t(y) * n + std::size_t(x)] = sum / 5;
        }
    return classifyLevels(level, size_);
}

SampledModules classifyLevels(const std::vector<double>& level, int size)
{
    const std::size_t n = static_cast<std::size_t>(size);
    // Blur moves a module towards its neighbours' mean: push it back by as much.
    std::vector<double> sharp(n * n);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            double sum = 0;
            int count = 0;
            for (const auto& [dx, dy] : {std::pair{1, 0}, {-1, 0}, {0, 1}, {0, -1}})
                if (x + dx >= 0 && y + dy >= 0 && x + dx < size && y + dy < size) {
                    sum += level[std::size_t(y + dy) * n + std::size_t(x + dx)];
                    ++count;
                }
            const double v = level[std::size_t(y) * n + std::size_t(x)];
            sharp[std::size_t(y) * n + std::size_t(x)] = v + 0.6 * (v - sum / count);
        }
    // The split between the two classes of levels with the largest variance between them.
    std::vector<double> sorted = sharp;
    std::sort(sorted.begin(), sorted.end());
    double total = 0;
    for (double v : sorted)
        total += v;
    double below = 0, best = -1, split = sorted.front(), darkMean = 0, lightMean = 0;
    for (std::size_t i = 1; i < sorted.size(); ++i) {
        below += sorted[i - 1];
        const double meanBelow = below / i, meanAbove = (total - below) / (sorted.size() - i);
        const double between = double(i) * (sorted.size() - i) * (meanAbove - meanBelow) * (meanAbove - meanBelow);
        if (between > best) {
            best = between;
            split = (sorted[i - 1] + sorted[i]) / 2;
            darkMean = meanBelow;
            lightMean = meanAbove;
        }
    }
    const double margin = (lightMean - darkMean) * 0.1;
    SampledModules out{ModuleMatrix(size), std::vector<bool>(n * n, false)};
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const double v = sharp[std::size_t(y) * n + std::size_t(x)];
            out.modules.set(x, y, v < split);
            out.unsure[std::size_t(y) * n + std::size_t(x)] = std::abs(v - split) < margin;
        }
    return out;
}

}  // namespace varnok::aztec
