// The whole reader on symbols drawn with a known geometry: every module lands where a projective map (or a
// wave) puts it, so a failure here is the finder's or the grid's, not the capture's.

#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "AztecSymbols.h"
#include "aztec/Finder.h"
#include "aztec/Geometry.h"
#include "aztec/MatrixDecoder.h"
#include "aztec/Reader.h"
#include "aztec/Symbol.h"

namespace varnok::aztec {
namespace {

// floor() for the module coordinates drawn here, well inside an int: the 32-bit C library's floor is an x87
// routine, and drawing the test images with it took five times as long as reading them.
int floorOf(double v)
{
    const int i = static_cast<int>(v);
    return v < i ? i - 1 : i;
}

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
            const int mx = floorOf(m.x), my = floorOf(m.y);
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

// A camera tilted towards one side: the far side of the symbol half as long as the near one (and the symbol
// shorter across), towards each edge; the reference grid's crossings are predicted projectively, not by one
// module size.
TEST(AztecReader, ReadsKeystoneViews)
{
    const struct {
        const char* name;
        int image;
        double shortening;
    } cases[] = {{"v28", 640, 0.5}, {"v36", 760, 0.4}, {"v12", 300, 0.5}};
    for (const auto& c : cases) {
        const int n = test::symbolMatrix(c.name).size();
        const double lo = 20, hi = c.image - 20, inset = (hi - lo) * c.shortening / 2, far = lo + inset / 2;
        // The far edge at the top, then turned a quarter at a time: each corner moves to the next.
        std::array<Point, 4> corners{Point{lo + inset, far}, {hi - inset, far}, {hi, hi}, {lo, hi}};
        for (int turn = 0; turn < 4; ++turn) {
            const Drawn d = draw(c.name, c.image, placement(n, corners), flat);
            const ReadResult r = readAztec(d.image());
            EXPECT_EQ(r.failure, ReadFailure::None) << c.name << " turn " << turn << ": " << r.reason;
            EXPECT_EQ(r.bytes, expected(c.name)) << c.name << " turn " << turn;
            for (Point& p : corners)
                p = Point{c.image - p.y, p.x};
        }
    }
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

// A symbol drawn square to the pixels, `module` pixels a module (any fraction: each pixel is the mean of 4 x 4
// points), `quiet` modules of paper around it, dark modules widened by `spread` of a module (narrowed when
// negative), in the gray levels `ink` and `paper`.
struct Square {
    double module = 3;
    double quiet = 3;
    int ink = 30, paper = 225;
    double spread = 0;
};

struct Image {
    std::vector<std::uint8_t> pixels;
    int width, height;
    GrayImage gray() const { return {pixels.data(), width, height, width}; }
};

Image drawSquare(const ModuleMatrix& m, const Square& s)
{
    const int n = m.size(), side = static_cast<int>(std::ceil((n + 2 * s.quiet) * s.module));
    Image image{std::vector<std::uint8_t>(std::size_t(side) * side), side, side};
    const auto dark = [&](double mx, double my) {
        // A dark module reaches `spread / 2` into each neighbour.
        for (double dy : {-s.spread / 2, s.spread / 2})
            for (double dx : {-s.spread / 2, s.spread / 2}) {
                const int x = floorOf(mx + (s.spread > 0 ? dx : 0));
                const int y = floorOf(my + (s.spread > 0 ? dy : 0));
                const bool inside = x >= 0 && y >= 0 && x < n && y < n && m.at(x, y);
                if (s.spread > 0 && inside)
                    return true;
                if (s.spread < 0) {
                    const int ix = floorOf(mx - dx), iy = floorOf(my - dy);
                    if (!(ix >= 0 && iy >= 0 && ix < n && iy < n && m.at(ix, iy)))
                        return false;
                }
            }
        const int x = floorOf(mx), y = floorOf(my);
        return s.spread <= 0 && x >= 0 && y >= 0 && x < n && y < n && m.at(x, y);
    };
    // Whole pixels a module need one point a pixel.
    const int points = s.module == std::floor(s.module) && s.spread == 0 ? 1 : 4;
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            int inked = 0;
            for (int sy = 0; sy < points; ++sy)
                for (int sx = 0; sx < points; ++sx)
                    inked += dark((x + (sx + 0.5) / points) / s.module - s.quiet,
                                  (y + (sy + 0.5) / points) / s.module - s.quiet);
            image.pixels[std::size_t(y) * side + x] =
                static_cast<std::uint8_t>(s.paper + (s.ink - s.paper) * inked / (points * points));
        }
    return image;
}

// Every compact size and full-range sizes up to the largest, with texts of every code set and a certificate.
const char* const someSymbols[] = {"v01", "v02", "v03", "v04", "v05", "v08", "v12", "v16", "v20", "v26", "v36", "eci"};

void expectRead(const Image& image, const std::string& name, const std::string& what)
{
    const ReadResult r = readAztec(image.gray());
    EXPECT_EQ(r.failure, ReadFailure::None) << name << " " << what << ": " << r.reason;
    EXPECT_EQ(r.bytes, expected(name)) << name << " " << what;
}

// The orientation marks say which way is up: symbols of many sizes and texts, turned and mirrored every way.
TEST(AztecReader, SymbolsInEveryOrientation)
{
    Square s;
    s.module = 2;
    for (const std::string name : someSymbols)
        for (int turns = 0; turns < 4; ++turns)
            for (bool mirror : {false, true})
                expectRead(drawSquare(test::symbolMatrix(name).transformed(turns, mirror), s), name,
                           std::to_string(turns) + (mirror ? " turns, mirrored" : " turns"));
}

// Thresholds of blocks inside one module come from the module's edges, whatever the module size against the
// binarizer's blocks.
TEST(AztecReader, FaintAndUnderexposedAtAnyModuleSize)
{
    const struct {
        int ink, paper;
    } lights[] = {{150, 250}, {10, 110}};
    for (const auto& light : lights)
        for (double module : {3.0, 5.0, 8.0, 12.0, 16.0, 24.0, 40.0, 46.0}) {
            Square s;
            s.module = module;
            s.ink = light.ink;
            s.paper = light.paper;
            expectRead(drawSquare(test::symbolMatrix("v02"), s), "v02",
                       std::to_string(light.ink) + " on " + std::to_string(light.paper) + ", module " +
                           std::to_string(module));
        }
}

// What a program that makes symbols writes: a pixel a module, with a quiet zone, a partial one or none.
TEST(AztecReader, PureSymbolsAtOnePixelPerModule)
{
    for (const char* name : {"v01", "v02", "v04", "v05", "v07", "v12", "v20"})
        for (double quiet : {0.0, 1.0, 4.0}) {
            Square s;
            s.module = 1;
            s.quiet = quiet;
            expectRead(drawSquare(test::symbolMatrix(name), s), name, "quiet zone " + std::to_string(quiet));
        }
}

// Toner and ink make dark modules fatter or thinner than the grid; heavy spread may come drawn to the image's
// edge, the outer modules cut by it. Each case is read by the same strategy after the same steps on every build
// (the 32-bit build's x87 maths once took other paths here, at five times the work): `steps` binary images
// searched (a polarity each), the last of them `pass.strategy`.
TEST(AztecReader, InkSpreadBothWays)
{
    const struct {
        const char* name;
        double spread, quiet, module;
        std::size_t steps;
        int pass, strategy;
    } cases[] = {
        {"v03", -0.3, 3, 8, 5, 0, 2}, {"v03", 0.3, 3, 8, 1, 0, 0}, {"v03", 0.6, 3, 8, 19, 1, 4},
        {"v03", 0.7, 0, 8, 9, 0, 4},  {"v03", 0.8, 0, 10, 19, 1, 4}, {"v03", 0.7, 0, 5, 19, 1, 4},
        {"v20", -0.3, 3, 8, 3, 0, 2}, {"v20", 0.3, 3, 8, 1, 0, 0}, {"v20", 0.6, 3, 8, 7, 0, 4},
        {"v20", 0.7, 0, 8, 7, 0, 4},  {"v20", 0.8, 0, 10, 7, 0, 4}, {"v20", 0.7, 0, 5, 1, 0, 0},
    };
    for (const auto& c : cases) {
        Square s;
        s.module = c.module;
        s.spread = c.spread;
        s.quiet = c.quiet;
        const std::string what = std::string(c.name) + " spread " + std::to_string(c.spread) + ", quiet zone " +
                                 std::to_string(c.quiet) + ", module " + std::to_string(c.module);
        Budget unlimited(LLONG_MAX);
        ReadTrace trace;
        const ReadResult r = readAztec(drawSquare(test::symbolMatrix(c.name), s).gray(), unlimited, trace);
        EXPECT_EQ(r.failure, ReadFailure::None) << what << ": " << r.reason;
        EXPECT_EQ(r.bytes, expected(c.name)) << what;
        ASSERT_FALSE(trace.empty()) << what;
        EXPECT_EQ(trace.size(), c.steps) << what;
        EXPECT_EQ(trace.back().pass, c.pass) << what;
        EXPECT_EQ(trace.back().strategy, c.strategy) << what;
    }
}

// Pixels that are not square (a fax at 204 x 98 dpi, a scanner with unequal resolutions): symbols squeezed down
// the columns or along the rows by up to 2.2 read without a word on the pixels' shape; given that word, the
// squared image is searched first.
TEST(AztecReader, PixelsThatAreNotSquare)
{
    const struct {
        const char* name;
        double across, down;  // pixels a module along the rows and down the columns
    } cases[] = {
        {"v20", 4.5, 2.05}, {"v20", 2.05, 4.5}, {"v03", 6, 3}, {"v03", 3, 6}, {"v12", 5, 2.5}, {"v36", 2.6, 4.2},
    };
    for (const auto& c : cases) {
        const int n = test::symbolMatrix(c.name).size();
        const double w = n * c.across, h = n * c.down;
        const Drawn d = draw(c.name, static_cast<int>(std::max(w, h)) + 40,
                             placement(n, {Point{20, 20}, {20 + w, 20}, {20 + w, 20 + h}, {20, 20 + h}}), flat);
        const std::string what = std::string(c.name) + " " + std::to_string(c.across) + " x " + std::to_string(c.down);
        // The finder measures the shape on the bull's-eye.
        BinaryImage binary(d.size, d.size);
        for (int y = 0; y < d.size; ++y)
            for (int x = 0; x < d.size; ++x)
                binary.set(x, y, d.pixels[std::size_t(y) * d.size + x] < 128);
        Budget budget(LLONG_MAX);
        const auto found = findBullsEyes(binary, 4, budget);
        ASSERT_FALSE(found.empty()) << what;
        EXPECT_NEAR(found.front().aspect, c.across / c.down, 0.15 * c.across / c.down) << what;
        for (bool told : {false, true}) {
            GrayImage image = d.image();
            image.pixelAspect = told ? c.across / c.down : 1;
            Budget unlimited(LLONG_MAX);
            ReadTrace trace;
            const ReadResult r = readAztec(image, unlimited, trace);
            EXPECT_EQ(r.failure, ReadFailure::None) << what << ": " << r.reason;
            EXPECT_EQ(r.bytes, expected(c.name)) << what;
            ASSERT_FALSE(trace.empty());
            if (told) {  // the squared image searched, and read, first
                EXPECT_EQ(trace.front().pass, 2) << what;
                EXPECT_EQ(trace.back().pass, 2) << what;
            }
        }
    }
}

// Soft small modules as an office scanner gives them: 2 to 3 pixels a module, edges shared between pixels.
TEST(AztecReader, SmallSoftModules)
{
    for (const char* name : {"v03", "v12", "v20"})
        for (double module : {2.0, 2.5, 3.0}) {
            Square s;
            s.module = module;
            expectRead(drawSquare(test::symbolMatrix(name), s), name, "module " + std::to_string(module));
        }
}

// The reader-programming flag reaches the result with the data.
TEST(AztecReader, ReaderInitialisationSymbols)
{
    for (const char* name : {"v01", "v12"}) {
        const ModuleMatrix plain = test::symbolMatrix(name);
        const MatrixResult decoded = decodeMatrix(plain);
        ASSERT_TRUE(decoded.ok);
        for (bool flagged : {false, true}) {
            const ModuleMatrix m = flagged ? test::withReaderInitialisation(plain, decoded.format) : plain;
            const ReadResult r = readAztec(drawSquare(m.transformed(1, false), {}).gray());
            EXPECT_EQ(r.failure, ReadFailure::None) << name << ": " << r.reason;
            EXPECT_EQ(r.bytes, expected(name));
            EXPECT_EQ(r.readerInitialisation, flagged) << name;
        }
    }
}

// A bull's-eye without its orientation marks is no symbol, however its mode message reads; nor is one alone.
TEST(AztecReader, BullsEyeWithoutOrientationMarksIsNoSymbol)
{
    for (const char* name : {"v02", "v20"}) {
        const ModuleMatrix symbol = test::symbolMatrix(name);
        const int n = symbol.size(), c = n / 2, r = name == std::string("v02") ? 5 : 7;
        ModuleMatrix noMarks = symbol, alone(n);
        for (int y = 0; y < n; ++y)
            for (int x = 0; x < n; ++x) {
                const int d = std::max(std::abs(x - c), std::abs(y - c));
                const bool corner = d == r && std::abs(std::abs(x - c) - std::abs(y - c)) <= 1;
                if (corner)
                    noMarks.set(x, y, false);
                alone.set(x, y, d < r && symbol.at(x, y));
            }
        for (const ModuleMatrix& m : {noMarks, alone}) {
            const ReadResult result = readAztec(drawSquare(m, {}).gray());
            EXPECT_EQ(result.failure, ReadFailure::NoSymbol) << name << ": " << result.reason;
            EXPECT_EQ(result.bytes, "");
        }
    }
}

// A small symbol among more (and larger) bull's-eye shapes than the reader tries per image is still found.
TEST(AztecReader, SmallSymbolAmongLargerDecoys)
{
    const ModuleMatrix symbol = test::symbolMatrix("v01");
    ModuleMatrix decoy(15);
    for (int y = 0; y < 15; ++y)
        for (int x = 0; x < 15; ++x)
            decoy.set(x, y, std::max(std::abs(x - 7), std::abs(y - 7)) % 2 == 0 && std::max(std::abs(x - 7), std::abs(y - 7)) < 7);
    constexpr int side = 1200, cells = 8, cell = side / cells;
    Image page{std::vector<std::uint8_t>(std::size_t(side) * side, 225), side, side};
    const auto paste = [&](const ModuleMatrix& m, double module, int left, int top) {
        Square s;
        s.module = module;
        s.quiet = 1;
        const Image drawn = drawSquare(m, s);
        for (int y = 0; y < drawn.height && top + y < side; ++y)
            for (int x = 0; x < drawn.width && left + x < side; ++x)
                page.pixels[std::size_t(top + y) * side + left + x] = drawn.pixels[std::size_t(y) * drawn.width + x];
    };
    for (int k = 0; k < cells * cells; ++k)
        if (k != 45)
            paste(decoy, 8, (k % cells) * cell + 10, (k / cells) * cell + 10);
    paste(symbol, 3, (45 % cells) * cell + 40, (45 / cells) * cell + 40);
    expectRead(page, "v01", "among 63 decoys");
}

// A bull's-eye is closed rings: one broken along a single line through its centre, outside the centre module, is
// texture that happened to pass the others.
TEST(AztecReader, BullsEyeMustHoldAlongEveryLine)
{
    constexpr int side = 160, centre = side / 2, module = 6;
    const struct {
        const char* name;
        int dx, dy;  // the line broken: x + y, x - y or none
        std::size_t found;
    } cases[] = {{"whole", 0, 0, 1}, {"broken along one diagonal", 1, 1, 0}, {"broken along the other", 1, -1, 0}};
    for (const auto& c : cases) {
        BinaryImage rings(side, side);
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x) {
                const int dx = x - centre, dy = y - centre;
                const int ring = (std::max(std::abs(dx), std::abs(dy)) + module / 2) / module;
                const bool broken = (c.dx || c.dy) && std::abs(c.dx * dx + c.dy * dy) <= 2 && ring > 0;
                rings.set(x, y, ring <= 5 && ring % 2 == 0 && !broken);
            }
        Budget budget(1LL << 40);
        EXPECT_EQ(findBullsEyes(rings, 8, budget).size(), c.found) << c.name;
    }
}

// Work grows with what the image shows, and a read has a budget: nested squares, bull's-eyes in every row,
// end cleanly.
TEST(AztecReader, NestedSquaresEndCleanly)
{
    constexpr int side = 1500;
    std::vector<std::uint8_t> pixels(std::size_t(side) * side);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            pixels[std::size_t(y) * side + x] = (std::max(std::abs(x - side / 2), std::abs(y - side / 2)) / 3) % 2 ? 225 : 30;
    const GrayImage image{pixels.data(), side, side, side};
    EXPECT_EQ(readAztec(image).failure, ReadFailure::NoSymbol);
    // A spent budget stops the finder with what it has.
    const BinaryImage binary = binarizeLocal(image);
    Budget small(100'000);
    findBullsEyes(binary, 32, small);
    EXPECT_TRUE(small.spent());
    EXPECT_GT(small.left(), -100'000);
}

}  // namespace
}  // namespace varnok::aztec
