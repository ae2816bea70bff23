// The binarizers, and the runs of the finder, as one read uses them: into one binary image reused from strategy to strategy, with the image's
// measures shared; each must give what it gives on its own, whatever the storage held before.
#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <vector>

#include "aztec/Finder.h"
#include "aztec/Image.h"
#include "aztec/InkSpread.h"

namespace varnok::aztec {
namespace {

struct Picture {
    std::vector<std::uint8_t> pixels;
    GrayImage image;
};

Picture randomPicture(int width, int height, int lo, int hi, unsigned seed)
{
    Picture p;
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> level(lo, hi);
    p.pixels.resize(std::size_t(width) * height);
    for (auto& v : p.pixels)
        v = static_cast<std::uint8_t>(level(random));
    p.image = GrayImage{p.pixels.data(), width, height, width};
    return p;
}

// Dark squares of a few sizes on uneven paper, with noise: edges in some blocks, flat paper in others.
Picture printedPicture(int width, int height, unsigned seed)
{
    Picture p = randomPicture(width, height, 0, 30, seed);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const bool ink = ((x / 5) % 3 == 0 && (y / 7) % 2 == 0) || (x > width / 2 && y > height / 2 && (x + y) % 11 < 4);
            auto& v = p.pixels[std::size_t(y) * width + x];
            v = static_cast<std::uint8_t>(ink ? 20 + v : 150 + v + x * 60 / width);
        }
    return p;
}

bool same(const BinaryImage& a, const BinaryImage& b)
{
    if (a.width() != b.width() || a.height() != b.height())
        return false;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.dark(x, y) != b.dark(x, y))
                return false;
    return true;
}

TEST(AztecBinarizer, NewBinaryImageIsLight)
{
    const BinaryImage image(13, 7);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 13; ++x)
            EXPECT_FALSE(image.dark(x, y));
}

// Without a block of contrast every pixel meets the image's own threshold: the smoothed image is then exactly the
// mean of the 3 x 3 pixels around each (those inside the image), at every edge and size.
TEST(AztecBinarizer, SmoothedLevelIsTheMeanOfTheNeighbours)
{
    const std::pair<int, int> sizes[] = {{1, 1}, {1, 9}, {9, 1}, {2, 2}, {2, 17}, {17, 2}, {3, 3}, {23, 19}, {64, 40}};
    unsigned seed = 1;
    for (const auto& [width, height] : sizes) {
        SCOPED_TRACE(testing::Message() << width << " x " << height);
        const Picture p = randomPicture(width, height, 100, 124, seed++);
        const int threshold = splitHistogram(p.image).threshold;
        const BinaryImage binary = binarizeLocal(p.image, true);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                int sum = 0, count = 0;
                for (int v = std::max(0, y - 1); v <= std::min(height - 1, y + 1); ++v)
                    for (int u = std::max(0, x - 1); u <= std::min(width - 1, x + 1); ++u, ++count)
                        sum += p.image.at(u, v);
                ASSERT_EQ(binary.dark(x, y), sum / count < threshold) << "at " << x << ", " << y;
            }
    }
}

TEST(AztecBinarizer, ReusedStorageAndSharedMeasuresChangeNothing)
{
    const Picture large = printedPicture(203, 157, 7);
    const std::pair<int, int> sizes[] = {{37, 29}, {8, 8}, {203, 157}, {1, 5}};
    unsigned seed = 11;
    for (const auto& [width, height] : sizes) {
        SCOPED_TRACE(testing::Message() << width << " x " << height);
        const Picture p = printedPicture(width, height, seed++);
        // Storage left dark by a larger image, and measures used in the order a read uses them.
        BinaryImage reused = binarizeLocal(large.image);
        reused.invert();
        ImageMeasures measures(p.image);
        binarizeLocal(p.image, false, measures, reused);
        EXPECT_TRUE(same(reused, binarizeLocal(p.image)));
        binarizeGlobal(p.image, measures, reused);
        EXPECT_TRUE(same(reused, binarizeGlobal(p.image)));
        binarizeLocal(p.image, true, measures, reused);
        EXPECT_TRUE(same(reused, binarizeLocal(p.image, true)));
        binarizeLocal(p.image, false, measures, reused);
        EXPECT_TRUE(same(reused, binarizeLocal(p.image)));
    }
}

// The local threshold follows uneven light: ink on the dark side of the page is still dark, paper on it light.
TEST(AztecBinarizer, LocalThresholdFollowsTheLight)
{
    const int width = 160, height = 64;
    std::vector<std::uint8_t> pixels(std::size_t(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const bool ink = (x / 4) % 2 == 0;
            const int paper = 60 + x;  // 60 on the left, 219 on the right
            pixels[std::size_t(y) * width + x] = static_cast<std::uint8_t>(ink ? paper / 3 : paper);
        }
    const GrayImage image{pixels.data(), width, height, width};
    const BinaryImage binary = binarizeLocal(image);
    for (int x = 0; x < width; ++x)
        EXPECT_EQ(binary.dark(x, height / 2), (x / 4) % 2 == 0) << "at " << x;
    // One threshold for all cannot: the paper on the left is darker than the ink on the right.
    const BinaryImage global = binarizeGlobal(image);
    int wrong = 0;
    for (int x = 0; x < width; ++x)
        wrong += global.dark(x, height / 2) != ((x / 4) % 2 == 0);
    EXPECT_GT(wrong, 0);
}

// Bull's-eyes of both polarities among specks: rings of `module` pixels, dark at even distances from the centre
// (a light centre, and light rings, where `inverted`).
BinaryImage bullsEyes(int width, int height)
{
    BinaryImage image(width, height);
    std::mt19937 random(5);
    std::bernoulli_distribution speck(0.03);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.set(x, y, speck(random));
    struct Eye {
        int cx, cy, module;
        bool inverted;
    };
    for (const Eye& e : {Eye{40, 40, 3, false}, Eye{150, 60, 5, false}, Eye{90, 160, 4, true}, Eye{200, 190, 3, true}}) {
        const int reach = 6 * e.module;
        for (int y = e.cy - reach; y <= e.cy + reach; ++y)
            for (int x = e.cx - reach; x <= e.cx + reach; ++x) {
                // The module each pixel lies in, counted from the centre module's.
                const auto index = [&](int v, int c) {
                    const int shifted = v - c + e.module / 2;
                    return (shifted >= 0 ? shifted : shifted - e.module + 1) / e.module;
                };
                const int d = std::max(std::abs(index(x, e.cx)), std::abs(index(y, e.cy)));
                image.set(x, y, (d <= 4 && d % 2 == 0) != e.inverted);
            }
    }
    return image;
}

bool sameCandidates(const std::vector<FinderCandidate>& a, const std::vector<FinderCandidate>& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].centre.x != b[i].centre.x || a[i].centre.y != b[i].centre.y || a[i].moduleSize != b[i].moduleSize ||
            a[i].hits != b[i].hits || a[i].centreDark != b[i].centreDark)
            return false;
    return true;
}

// The runs a search keeps serve the search of the inverted image and the measure of ink spread: both find what
// they find scanning the rows themselves, also where the first search stopped part way.
TEST(AztecRowRuns, KeptRunsChangeNoSearch)
{
    BinaryImage image = bullsEyes(257, 233);
    Budget unlimited(LLONG_MAX);
    const auto plain = findBullsEyes(image, 16, unlimited);
    const int spread = inkSpreadOf(image);
    image.invert();
    const auto inverse = findBullsEyes(image, 16, unlimited);
    image.invert();
    ASSERT_EQ(plain.size(), 2u);
    ASSERT_EQ(inverse.size(), 2u);
    for (const long long firstBudget : {LLONG_MAX, 257LL * 40}) {
        SCOPED_TRACE(firstBudget);
        RowRuns rows;
        Budget first(firstBudget);
        const auto kept = findBullsEyes(image, 16, first, 1.5, &rows);
        if (firstBudget == LLONG_MAX) {
            EXPECT_TRUE(sameCandidates(kept, plain));
            EXPECT_EQ(rows.rows(), 117u);  // rows 0, 2 ... 232
        } else {
            EXPECT_LT(rows.rows(), 117u);
        }
        EXPECT_EQ(inkSpreadOf(image, &rows), spread);
        image.invert();
        Budget second(LLONG_MAX);
        EXPECT_TRUE(sameCandidates(findBullsEyes(image, 16, second, 1.5, &rows), inverse));
        image.invert();
        EXPECT_EQ(rows.rows(), 117u);
    }
}

}  // namespace
}  // namespace varnok::aztec
