#pragma once
// Points and the projective maps between the symbol's module grid and the image.

#include <array>
#include <cmath>
#include <optional>
#include <utility>
#include <vector>

namespace varnok::aztec {

struct Point {
    double x = 0, y = 0;
};

inline Point operator+(Point a, Point b) { return {a.x + b.x, a.y + b.y}; }
inline Point operator-(Point a, Point b) { return {a.x - b.x, a.y - b.y}; }
inline Point operator*(Point a, double k) { return {a.x * k, a.y * k}; }
inline double distance(Point a, Point b) { return std::hypot(a.x - b.x, a.y - b.y); }

// x' = (a x + b y + c) / (g x + h y + 1), y' = (d x + e y + f) / (g x + h y + 1)
class Homography {
public:
    // The map that takes the four `from` points to the four `to` points (in order); nothing when degenerate.
    static std::optional<Homography> between(const std::array<Point, 4>& from, const std::array<Point, 4>& to);
    // The map that takes each pair's first point nearest to its second, in the least squares of the weighted
    // algebraic error (exact for four pairs); nothing for fewer than four pairs or points on one line.
    static std::optional<Homography> fitted(const std::vector<std::pair<Point, Point>>& pairs,
                                            const std::vector<double>& weights);

    Point operator()(Point p) const
    {
        const double w = m_[6] * p.x + m_[7] * p.y + m_[8];
        return {(m_[0] * p.x + m_[1] * p.y + m_[2]) / w, (m_[3] * p.x + m_[4] * p.y + m_[5]) / w};
    }

private:
    std::array<double, 9> m_{};
};

// Where two lines (each through two points) cross; nothing for parallel lines.
std::optional<Point> intersection(Point a1, Point a2, Point b1, Point b2);

}  // namespace varnok::aztec
