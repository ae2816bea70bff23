// The maps between modules and pixels, and the one step from an image point to a pixel.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "aztec/Geometry.h"
#include "aztec/Image.h"

namespace varnok::aztec {
namespace {

const std::array<Point, 4> square{Point{0, 0}, {100, 0}, {100, 100}, {0, 100}};
const std::array<Point, 4> keystone{Point{30, 10}, {70, 10}, {100, 90}, {0, 90}};

TEST(AztecGeometry, FittedMapRecoversAProjectiveMapFromManyPoints)
{
    const Homography truth = *Homography::between(square, keystone);
    std::vector<std::pair<Point, Point>> pairs;
    std::vector<double> weights;
    for (int y = 0; y <= 100; y += 25)
        for (int x = 0; x <= 100; x += 25) {
            pairs.emplace_back(Point{double(x), double(y)}, truth({double(x), double(y)}));
            weights.push_back(1.0 + x % 3);
        }
    const auto fitted = Homography::fitted(pairs, weights);
    ASSERT_TRUE(fitted);
    for (const Point p : {Point{50, 50}, Point{0, 100}, Point{130, -20}}) {
        EXPECT_NEAR((*fitted)(p).x, truth(p).x, 1e-6);
        EXPECT_NEAR((*fitted)(p).y, truth(p).y, 1e-6);
    }
}

TEST(AztecGeometry, FittedMapFromFourPointsIsExactAndRefusesTooLittle)
{
    std::vector<std::pair<Point, Point>> pairs;
    for (std::size_t i = 0; i < 4; ++i)
        pairs.emplace_back(square[i], keystone[i]);
    const auto fitted = Homography::fitted(pairs, {1, 1, 1, 1});
    ASSERT_TRUE(fitted);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_NEAR((*fitted)(square[i]).x, keystone[i].x, 1e-9);
        EXPECT_NEAR((*fitted)(square[i]).y, keystone[i].y, 1e-9);
    }
    // Three points, four on one line, weights that do not match the pairs.
    EXPECT_FALSE(Homography::fitted({pairs.begin(), pairs.begin() + 3}, {1, 1, 1}));
    const std::vector<std::pair<Point, Point>> line{
        {Point{0, 0}, Point{0, 0}}, {Point{1, 1}, Point{2, 2}}, {Point{2, 2}, Point{4, 4}}, {Point{3, 3}, Point{6, 6}}};
    EXPECT_FALSE(Homography::fitted(line, {1, 1, 1, 1}));
    EXPECT_FALSE(Homography::fitted(pairs, {1, 1}));
}

TEST(AztecGeometry, PixelAtRefusesNaNAndPointsOutsideTheImage)
{
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    const struct {
        double x, y;
        bool inside;
        int px, py;
    } cases[] = {
        {0, 0, true, 0, 0},       {9.999, 4.5, true, 9, 4}, {10, 0, false, 0, 0},    {0, 5, false, 0, 0},
        {-0.25, 1, false, 0, 0},  {1, -1e-9, false, 0, 0},  {nan, 1, false, 0, 0},   {1, nan, false, 0, 0},
        {inf, 1, false, 0, 0},    {-inf, 1, false, 0, 0},   {1e300, 1, false, 0, 0}, {3e9, 2, false, 0, 0},
    };
    for (const auto& c : cases) {
        const auto p = pixelAt(c.x, c.y, 10, 5);
        ASSERT_EQ(p.has_value(), c.inside) << c.x << ", " << c.y;
        if (p) {
            EXPECT_EQ(p->x, c.px);
            EXPECT_EQ(p->y, c.py);
        }
    }
    BinaryImage image(2, 2);
    image.set(1, 1, true);
    EXPECT_TRUE(image.darkAt(1.5, 1.999));
    EXPECT_FALSE(image.darkAt(0.5, 0.5));
    EXPECT_FALSE(image.darkAt(nan, 1.5));  // no place at all reads as paper
    EXPECT_FALSE(image.darkAt(2.0, 1.5));
}

}  // namespace
}  // namespace varnok::aztec
