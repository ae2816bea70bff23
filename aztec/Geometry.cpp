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

}  // namespace

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
