#include "Geometry.h"

namespace varnok::aztec {

namespace {

using Matrix = std::array<double, 9>;

// The map from the unit square (0,0) (1,0) (1,1) (0,1) to the quadrilateral.
std::optional<Matrix> squareTo(const std::array<Point, 4>& q)
{
    const double dx1 = q[1].x - q[2].x, dx2 = q[3].x - q[2].x, sx = q[0].x - q[1].x + q[2].x - q[3].x;
    const double dy1 = q[1].y - q[2].y, dy2 = q[3].y - q[2].y, sy = q[0].y - q[1].y + q[2].y - q[3].y;
    const double det = dx1 * dy2 - dx2 * dy1;
    if (std::abs(det) < 1e-12)
        return std::nullopt;
    const double g = (sx * dy2 - dx2 * sy) / det, h = (dx1 * sy - sx * dy1) / det;
    return Matrix{q[1].x - q[0].x + g * q[1].x, q[3].x - q[0].x + h * q[3].x, q[0].x,
                  q[1].y - q[0].y + g * q[1].y, q[3].y - q[0].y + h * q[3].y, q[0].y,
                  g, h, 1};
}

std::optional<Matrix> inverse(const Matrix& m)
{
    const double a = m[4] * m[8] - m[5] * m[7], b = m[5] * m[6] - m[3] * m[8], c = m[3] * m[7] - m[4] * m[6];
    const double det = m[0] * a + m[1] * b + m[2] * c;
    if (std::abs(det) < 1e-12)
        return std::nullopt;
    return Matrix{a / det, (m[2] * m[7] - m[1] * m[8]) / det, (m[1] * m[5] - m[2] * m[4]) / det,
                  b / det, (m[0] * m[8] - m[2] * m[6]) / det, (m[2] * m[3] - m[0] * m[5]) / det,
                  c / det, (m[1] * m[6] - m[0] * m[7]) / det, (m[0] * m[4] - m[1] * m[3]) / det};
}

Matrix product(const Matrix& a, const Matrix& b)
{
    Matrix r{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k)
                r[i * 3 + j] += a[i * 3 + k] * b[k * 3 + j];
    return r;
}

// Moves the weighted centroid to the origin and the mean distance from it to the square root of two, so that the
// equations of a fit weigh pixels and modules alike.
Matrix normalising(const std::vector<Point>& points, const std::vector<double>& weights)
{
    Point centre{};
    double total = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        centre = centre + points[i] * weights[i];
        total += weights[i];
    }
    centre = centre * (1 / total);
    double spread = 0;
    for (std::size_t i = 0; i < points.size(); ++i)
        spread += weights[i] * distance(points[i], centre);
    const double k = spread > 0 ? std::sqrt(2.0) * total / spread : 1;
    return Matrix{k, 0, -k * centre.x, 0, k, -k * centre.y, 0, 0, 1};
}

Point apply(const Matrix& m, Point p)
{
    const double w = m[6] * p.x + m[7] * p.y + m[8];
    return {(m[0] * p.x + m[1] * p.y + m[2]) / w, (m[3] * p.x + m[4] * p.y + m[5]) / w};
}

// Solves a x = b in place by Gaussian elimination with partial pivoting; false when singular.
template <std::size_t N>
bool solve(std::array<std::array<double, N>, N>& a, std::array<double, N>& b)
{
    for (std::size_t c = 0; c < N; ++c) {
        std::size_t pivot = c;
        for (std::size_t r = c + 1; r < N; ++r)
            if (std::abs(a[r][c]) > std::abs(a[pivot][c]))
                pivot = r;
        if (std::abs(a[pivot][c]) < 1e-10)
            return false;
        std::swap(a[c], a[pivot]);
        std::swap(b[c], b[pivot]);
        for (std::size_t r = c + 1; r < N; ++r) {
            const double f = a[r][c] / a[c][c];
            for (std::size_t k = c; k < N; ++k)
                a[r][k] -= f * a[c][k];
            b[r] -= f * b[c];
        }
    }
    for (std::size_t c = N; c-- > 0;) {
        for (std::size_t k = c + 1; k < N; ++k)
            b[c] -= a[c][k] * b[k];
        b[c] /= a[c][c];
    }
    return true;
}

}  // namespace

std::optional<Homography> Homography::fitted(const std::vector<std::pair<Point, Point>>& pairs,
                                             const std::vector<double>& weights)
{
    if (pairs.size() < 4 || weights.size() != pairs.size())
        return std::nullopt;
    std::vector<Point> from, to;
    for (const auto& [f, t] : pairs) {
        from.push_back(f);
        to.push_back(t);
    }
    const Matrix nf = normalising(from, weights), nt = normalising(to, weights);
    // Each pair gives two equations linear in the eight unknowns (the ninth entry is 1).
    std::array<std::array<double, 8>, 8> normal{};
    std::array<double, 8> rhs{};
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        const Point p = apply(nf, from[i]), q = apply(nt, to[i]);
        const std::array<double, 8> rx{p.x, p.y, 1, 0, 0, 0, -p.x * q.x, -p.y * q.x};
        const std::array<double, 8> ry{0, 0, 0, p.x, p.y, 1, -p.x * q.y, -p.y * q.y};
        for (const auto& [row, value] : {std::pair{rx, q.x}, std::pair{ry, q.y}})
            for (std::size_t r = 0; r < 8; ++r) {
                for (std::size_t c = 0; c < 8; ++c)
                    normal[r][c] += weights[i] * row[r] * row[c];
                rhs[r] += weights[i] * row[r] * value;
            }
    }
    if (!solve(normal, rhs))
        return std::nullopt;
    const Matrix hn{rhs[0], rhs[1], rhs[2], rhs[3], rhs[4], rhs[5], rhs[6], rhs[7], 1};
    const auto back = inverse(nt);
    if (!back)
        return std::nullopt;
    Homography h;
    h.m_ = product(*back, product(hn, nf));
    for (double v : h.m_)
        if (!std::isfinite(v))
            return std::nullopt;
    return h;
}

std::optional<Homography> Homography::between(const std::array<Point, 4>& from, const std::array<Point, 4>& to)
{
    const auto toSquare = squareTo(from);
    const auto toQuad = squareTo(to);
    if (!toSquare || !toQuad)
        return std::nullopt;
    const auto fromSquare = inverse(*toSquare);
    if (!fromSquare)
        return std::nullopt;
    Homography h;
    h.m_ = product(*toQuad, *fromSquare);
    return h;
}

std::optional<Point> intersection(Point a1, Point a2, Point b1, Point b2)
{
    const Point r = a2 - a1, s = b2 - b1;
    const double cross = r.x * s.y - r.y * s.x;
    if (std::abs(cross) < 1e-9)
        return std::nullopt;
    const Point d = b1 - a1;
    const double t = (d.x * s.y - d.y * s.x) / cross;
    return a1 + r * t;
}

}  // namespace varnok::aztec
