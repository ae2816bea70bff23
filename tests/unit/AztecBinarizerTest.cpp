// The binarizers as one read uses them: into one binary image reused from strategy to strategy, with the image's
// measures shared; each must give what it gives on its own, whatever the storage held before.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "aztec/Image.h"

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

}  // namespace
}  // namespace varnok::aztec
