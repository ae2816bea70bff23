#pragma once
// Images as the reader takes them: 8-bit gray, any stride, borrowed from the caller; and the binary image made
// from them.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <utility>
#include <vector>

namespace varnok::aztec {

struct GrayImage {
    const std::uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t stride = 0;  // bytes from one row to the next
    // A pixel's height over its width, where the caller knows it (a fax at 204 x 98 dpi: 2.08); 1 for square
    // pixels. Only a hint: the reader also measures it on the bull's-eyes it finds.
    double pixelAspect = 1;

    std::uint8_t at(int x, int y) const { return pixels[y * stride + x]; }
    const std::uint8_t* row(int y) const { return pixels + y * stride; }
};

struct Pixel {
    int x = 0, y = 0;
};

// The pixel under an image point (pixel x spans [x, x + 1)); nothing for NaN and for points outside the image,
// which are refused while still floating point, so that no value beyond an int is ever converted.
inline std::optional<Pixel> pixelAt(double x, double y, int width, int height)
{
    if (!(x >= 0 && y >= 0 && x < width && y < height))
        return std::nullopt;
    return Pixel{static_cast<int>(x), static_cast<int>(y)};
}

// Refused before anything is allocated: far beyond any scan of a page.
constexpr long long maxPixels = 120'000'000;

// Storage whose growth leaves new elements as they are: a page's binary image is written whole by the binarizer,
// and clearing it first cost as much as binarizing.
template <class T>
struct Unset : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = Unset<U>;
    };
    template <class U>
    void construct(U* p) noexcept
    {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args)
    {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};

// One byte per pixel, 1 for dark.
class BinaryImage {
public:
    BinaryImage() = default;
    BinaryImage(int width, int height) : width_(width), height_(height), bits_(std::size_t(width) * height, 0) {}
    // Made `width` x `height` again, keeping its storage where it is large enough; every pixel's value is left
    // undefined: for a binarizer that writes each one.
    void reshape(int width, int height)
    {
        width_ = width;
        height_ = height;
        bits_.resize(std::size_t(width) * height);
    }
    int width() const { return width_; }
    int height() const { return height_; }
    bool inside(int x, int y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }
    bool dark(int x, int y) const { return bits_[std::size_t(y) * width_ + x] != 0; }
    // The pixel under an image point; a point outside the image (or none at all) counts as light paper.
    bool darkAt(double x, double y) const
    {
        const auto p = pixelAt(x, y, width_, height_);
        return p && dark(p->x, p->y);
    }
    void set(int x, int y, bool dark) { bits_[std::size_t(y) * width_ + x] = dark; }
    const std::uint8_t* row(int y) const { return bits_.data() + std::size_t(y) * width_; }
    std::uint8_t* row(int y) { return bits_.data() + std::size_t(y) * width_; }
    void invert()
    {
        for (auto& b : bits_)
            b ^= 1;
    }

private:
    int width_ = 0, height_ = 0;
    std::vector<std::uint8_t, Unset<std::uint8_t>> bits_;
};

// The runs of the rows a search scanned (rows 0, 2, 4 ... of one binary image), kept for what scans those rows
// again: the search of the same image inverted (the same runs, the colours swapped) and the measure of ink
// spread. Past a bound (noise gives thousands of runs a row) rows are not kept, and are scanned again.
class RowRuns {
public:
    static constexpr std::size_t maxRuns = 4'000'000;
    // The runs of the `index`-th row scanned, or nothing where it was not kept.
    const int* row(std::size_t index, std::size_t& count) const
    {
        if (index + 1 >= ends_.size())
            return nullptr;
        count = ends_[index + 1] - ends_[index];
        return lengths_.data() + ends_[index];
    }
    std::size_t rows() const { return ends_.size() - 1; }
    // Keeps the next row's runs, if there is room.
    void add(const std::vector<int>& runs)
    {
        if (full_ || lengths_.size() + runs.size() > maxRuns) {
            full_ = true;
            return;
        }
        lengths_.insert(lengths_.end(), runs.begin(), runs.end());
        ends_.push_back(lengths_.size());
    }

private:
    std::vector<int> lengths_;
    std::vector<std::size_t> ends_{0};
    bool full_ = false;
};

// Dark and light decided against the neighbourhood (blocks of 8 x 8 pixels, 5 x 5 blocks around each), so that
// uneven light and a dark corner do not swallow the symbol. A flat block (inside one module, or the margin) takes
// the threshold of the nearest blocks that have contrast, or the image's own when none has. `smooth` is for heavy
// noise, at the price of the finest modules: each pixel is judged by the mean of the 3 x 3 pixels around it, and
// a block has contrast only where its levels spread by a good part of the image's dark-to-light step (noise
// inside a large module does not).
BinaryImage binarizeLocal(const GrayImage& image, bool smooth = false);

// One threshold for the whole image, where its histogram splits best into two classes: for evenly lit symbols
// whose blocks the local threshold judges wrongly (blur over a few pixels, a symbol in one module's blocks).
BinaryImage binarizeGlobal(const GrayImage& image);

// That threshold, and the mean levels of the dark and the light pixels it separates.
struct HistogramSplit {
    int threshold = 128;
    double dark = 0, light = 255;
};
HistogramSplit splitHistogram(const GrayImage& image);

// The local threshold's measures of each block of 8 x 8 pixels (the last ones of a row or column may be smaller).
struct BlockLevels {
    static constexpr int side = 8;
    int across = 0, down = 0;
    std::vector<std::uint8_t> level;     // the mean, which noise moves less than the extremes
    std::vector<std::uint8_t> contrast;  // the darkest to the lightest
    std::vector<double> variance;        // where asked for: the smoothed threshold's test of noise
};
BlockLevels measureBlocks(const GrayImage& image, bool variance);

// The local threshold's working storage, kept between the strategies of one read.
struct LocalScratch {
    template <class T>
    using Storage = std::vector<T, Unset<T>>;
    Storage<std::uint8_t> edged;
    Storage<std::int32_t> levels, edges;  // running totals over the blocks
    Storage<std::int16_t> threshold;
    Storage<std::uint32_t> queue;
    Storage<std::uint8_t> rowThreshold;
};

// What the binarizers measure on an image, worked out when first asked for and then kept: the strategies of one
// read share them, and the local threshold's storage.
class ImageMeasures {
public:
    explicit ImageMeasures(const GrayImage& image) : image_(image) {}
    const HistogramSplit& split()
    {
        if (!split_)
            split_ = splitHistogram(image_);
        return *split_;
    }
    const BlockLevels& blocks()
    {
        if (!blocks_)
            blocks_ = measureBlocks(image_, false);
        return *blocks_;
    }
    const BlockLevels& blocksWithVariance()
    {
        if (!blocks_ || blocks_->variance.empty())
            blocks_ = measureBlocks(image_, true);
        return *blocks_;
    }

    LocalScratch& scratch() { return scratch_; }

private:
    const GrayImage& image_;
    std::optional<HistogramSplit> split_;
    std::optional<BlockLevels> blocks_;
    LocalScratch scratch_;
};

// The same binarizers writing into `out`, whose storage they reuse: a read tries several on one page.
void binarizeLocal(const GrayImage& image, bool smooth, ImageMeasures& measures, BinaryImage& out);
void binarizeGlobal(const GrayImage& image, ImageMeasures& measures, BinaryImage& out);

}  // namespace varnok::aztec
