// The whole reader on symbols drawn with a known geometry: every module lands where a projective map (or a
// wave) puts it, so a failure here is the finder's or the grid's, not the capture's.

#include <gtest/gtest.h>

#include <cmath>

#include "AztecSymbols.h"
#include "aztec/Geometry.h"
#include "aztec/Reader.h"
#include "aztec/Symbol.h"

namespace varnok::aztec {
namespace {

struct Drawn {
    std::vector<std::uint8_t> pixels;
    int size;
    GrayImage image() const { return {pixels.data(), size, size, size}; }
};

// Each pixel takes the module that `toModule` puts under it; outside the symbol is light paper. `warp` bends
// the paper: a module coordinate is displaced before it is drawn.
template <typename Warp>
Drawn draw(const std::string& name, int imageSize, const Homography& toModule, Warp warp, bool negative = false)
{
    const ModuleMatrix symbol = test::symbolMatrix(name);
    const int n = symbol.size();
    Drawn d{std::vector<std::uint8_t>(std::size_t(imageSize) * imageSize), imageSize};
    for (int y = 0; y < imageSize; ++y)
        for (int x = 0; x < imageSize; ++x) {
            const Point m = warp(toModule({x + 0.5, y + 0.5}));
            const int mx = static_cast<int>(std::floor(m.x)), my = static_cast<int>(std::floor(m.y));
            bool dark = false;
            if (mx >= 0 && my >= 0 && mx < n && my < n)
                dark = symbol.at(mx, my);
            d.pixels[std::size_t(y) * imageSize + x] = (dark != negative) ? 30 : 225;
        }
    return d;
}

// The symbol's corners (module coordinates 0 and n) to four image points.
Homography placement(int n, std::array<Point, 4> corners)
{
    const double s = n;
    return *Homography::between(corners, {Point{0, 0}, Point{s, 0}, Point{s, s}, Point{0, s}});
}

std::string expected(const std::string& name) { return test::symbolText(name); }

const auto flat = [](Point p) { return p; };

TEST(AztecReader, ReadsSymbolsOfAnyOrientationPerspectiveAndPolarity)
{
    const struct {
        const char* name;
        std::array<Point, 4> corners;
        bool negative;
    } cases[] = {
        {"v02", {Point{40, 40}, {140, 40}, {140, 140}, {40, 140}}, false},
        {"v20", {Point{30, 30}, {470, 30}, {470, 470}, {30, 470}}, false},                  // 4.5 px modules
        {"v20", {Point{250, 10}, {490, 250}, {250, 490}, {10, 250}}, false},                // turned 45 degrees
        {"v20", {Point{470, 30}, {30, 30}, {30, 470}, {470, 470}}, false},                  // mirror image
        {"v20", {Point{60, 40}, {450, 70}, {480, 460}, {20, 430}}, false},                  // perspective
        {"v36", {Point{20, 20}, {480, 20}, {480, 480}, {20, 480}}, true},                   // 151 x 151, negative
    };
    for (const auto& c : cases) {
        const int n = test::symbolMatrix(c.name).size();
        const Drawn d = draw(c.name, 500, placement(n, c.corners), flat, c.negative);
        const ReadResult r = readAztec(d.image());
        EXPECT_EQ(r.failure, ReadFailure::None) << c.name << ": " << r.reason;
        EXPECT_EQ(r.bytes, expected(c.name)) << c.name;
    }
}

// A wave across the paper that shifts modules by up to 1.2 modules: one projective map from the bull's-eye
// would miss the outer layers; the reference grid follows it.
TEST(AztecReader, FollowsTheReferenceGridOverWavyPaper)
{
    const Homography h = placement(151, {Point{20, 20}, {620, 20}, {620, 620}, {20, 620}});
    const Drawn d = draw("v36", 640, h, [](Point p) { return Point{p.x + 1.2 * std::sin(p.y / 20.0), p.y}; });
    const ReadResult r = readAztec(d.image());
    EXPECT_EQ(r.failure, ReadFailure::None) << r.reason;
    EXPECT_EQ(r.bytes, expected("v36"));
}

TEST(AztecReader, RefusesWhatIsNotASymbol)
{
    std::vector<std::uint8_t> noise(300 * 300);
    unsigned state = 1;
    for (auto& p : noise)
        p = static_cast<std::uint8_t>((state = state * 1103515245u + 12345u) >> 24);
    EXPECT_EQ(readAztec({noise.data(), 300, 300, 300}).failure, ReadFailure::NoSymbol);
    // Absurd dimensions are refused before a pixel is touched.
    const std::uint8_t one = 0;
    EXPECT_EQ(readAztec({&one, 20000, 20000, 20000}).failure, ReadFailure::BadImage);
    EXPECT_EQ(readAztec({nullptr, 10, 10, 10}).failure, ReadFailure::BadImage);
}

}  // namespace
}  // namespace varnok::aztec
