#include "Image.h"

#include <algorithm>
#include <array>
#include <type_traits>

namespace varnok::aztec {

namespace {

// A row of the image with each pixel the mean of the 3 x 3 pixels around it (those inside the image): the column
// sums of the rows around it first, then three of those side by side.
class Smoothed {
public:
    explicit Smoothed(const GrayImage& image)
        : image_(image), columns_(std::size_t(image.width)), means_(std::size_t(image.width)) {}

    const std::uint8_t* row(int y)
    {
        const std::size_t w = static_cast<std::size_t>(image_.width);
        const int first = std::max(0, y - 1), last = std::min(image_.height - 1, y + 1), rows = last - first + 1;
        std::uint16_t* column = columns_.data();
        const std::uint8_t* a = image_.row(first);
        const std::uint8_t* b = image_.row(first + rows / 2);
        const std::uint8_t* c = image_.row(last);
        if (rows == 3)
            for (std::size_t x = 0; x < w; ++x)
                column[x] = static_cast<std::uint16_t>(a[x] + b[x] + c[x]);
        else if (rows == 2)
            for (std::size_t x = 0; x < w; ++x)
                column[x] = static_cast<std::uint16_t>(a[x] + c[x]);
        else
            for (std::size_t x = 0; x < w; ++x)
                column[x] = a[x];
        // Inside, nine pixels (six on the first and last rows, three in an image one row tall), divided by a
        // multiplication and a shift that give exactly the quotient for every sum there can be, in 16-bit lanes.
        static constexpr std::uint32_t reciprocal[] = {0, 21846, 10923, 7282};  // 2^16 / (3 x rows), rounded up
        const std::uint32_t multiplier = reciprocal[rows];
        std::uint8_t* const means = means_.data();
        for (std::size_t x = 1; x + 1 < w; ++x)
            means[x] = static_cast<std::uint8_t>(
                (static_cast<std::uint32_t>(column[x - 1] + column[x] + column[x + 1]) * multiplier) >> 16);
        const int edge = static_cast<int>(std::min<std::size_t>(w, 2)) * rows;
        means_[0] = static_cast<std::uint8_t>((column[0] + (w > 1 ? column[1] : 0)) / edge);
        if (w > 1)
            means_[w - 1] = static_cast<std::uint8_t>((column[w - 2] + column[w - 1]) / edge);
        return means_.data();
    }

private:
    const GrayImage& image_;
    std::vector<std::uint16_t> columns_;
    std::vector<std::uint8_t> means_;
};

}  // namespace

HistogramSplit splitHistogram(const GrayImage& image)
{
    // Every row of a small image, a sample of rows of a large one: the histogram's shape is what counts.
    const int rowStep = std::max(1, image.height / 1024);
    // Four counts per level, so that runs of one level do not wait on their own increments.
    std::array<std::array<std::uint32_t, 256>, 4> counts{};
    long long total = 0;
    for (int y = 0; y < image.height; y += rowStep) {
        const std::uint8_t* row = image.row(y);
        int x = 0;
        for (; x + 4 <= image.width; x += 4) {
            ++counts[0][row[x]];
            ++counts[1][row[x + 1]];
            ++counts[2][row[x + 2]];
            ++counts[3][row[x + 3]];
        }
        for (; x < image.width; ++x)
            ++counts[0][row[x]];
        total += image.width;
    }
    std::array<long long, 256> histogram{};
    for (std::size_t v = 0; v < 256; ++v)
        histogram[v] = static_cast<long long>(counts[0][v]) + counts[1][v] + counts[2][v] + counts[3][v];
    long long sumAll = 0;
    for (int v = 0; v < 256; ++v)
        sumAll += v * histogram[static_cast<std::size_t>(v)];
    // The split with the largest variance between the two classes.
    long long below = 0, sumBelow = 0;
    double best = -1;
    HistogramSplit split;
    for (int t = 0; t < 255; ++t) {
        below += histogram[static_cast<std::size_t>(t)];
        sumBelow += t * histogram[static_cast<std::size_t>(t)];
        const long long above = total - below;
        if (below == 0 || above == 0)
            continue;
        const double meanBelow = static_cast<double>(sumBelow) / below,
                     meanAbove = static_cast<double>(sumAll - sumBelow) / above;
        const double between = static_cast<double>(below) * above * (meanAbove - meanBelow) * (meanAbove - meanBelow);
        if (between > best) {
            best = between;
            split = {t + 1, meanBelow, meanAbove};  // dark is below
        }
    }
    return split;
}

BinaryImage binarizeGlobal(const GrayImage& image)
{
    ImageMeasures measures(image);
    BinaryImage out;
    binarizeGlobal(image, measures, out);
    return out;
}

BinaryImage binarizeLocal(const GrayImage& image, bool smooth)
{
    ImageMeasures measures(image);
    BinaryImage out;
    binarizeLocal(image, smooth, measures, out);
    return out;
}

void binarizeGlobal(const GrayImage& image, ImageMeasures& measures, BinaryImage& out)
{
    // At most 255 (a split is at least one level above the darkest): compared a byte at a time.
    const auto threshold = static_cast<std::uint8_t>(std::min(measures.split().threshold, 255));
    out.reshape(image.width, image.height);
    const std::size_t width = static_cast<std::size_t>(image.width);  // in a local: see binarizeLocal
    for (int y = 0; y < image.height; ++y) {
        const std::uint8_t* in = image.row(y);
        std::uint8_t* bits = out.row(y);
        for (std::size_t x = 0; x < width; ++x)
            bits[x] = in[x] < threshold;
    }
}

BlockLevels measureBlocks(const GrayImage& image, bool squares)
{
    constexpr int block = BlockLevels::side;
    BlockLevels blocks;
    blocks.across = (image.width + block - 1) / block;
    blocks.down = (image.height + block - 1) / block;
    const std::size_t count = std::size_t(blocks.across) * blocks.down;
    blocks.level.resize(count);
    blocks.contrast.resize(count);
    if (squares)
        blocks.variance.resize(count);
    // Each column of a row of blocks first, a whole row at a time (loops the compiler vectorises), then each
    // block from its eight columns.
    const std::size_t w = static_cast<std::size_t>(image.width);
    std::vector<std::uint8_t> columnLo(w), columnHi(w);
    std::vector<std::uint16_t> columnSum(w);    // at most 8 x 255
    std::vector<std::uint32_t> columnSquares(w);  // at most 8 x 255²
    for (int by = 0; by < blocks.down; ++by) {
        const int top = by * block, bottom = std::min(image.height, top + block);
        std::fill(columnLo.begin(), columnLo.end(), std::uint8_t{255});
        std::fill(columnHi.begin(), columnHi.end(), std::uint8_t{0});
        std::fill(columnSum.begin(), columnSum.end(), std::uint16_t{0});
        if (squares)
            std::fill(columnSquares.begin(), columnSquares.end(), 0u);
        for (int y = top; y < bottom; ++y) {
            const std::uint8_t* in = image.row(y);
            for (std::size_t x = 0; x < w; ++x) {
                columnLo[x] = std::min(columnLo[x], in[x]);
                columnHi[x] = std::max(columnHi[x], in[x]);
                columnSum[x] = static_cast<std::uint16_t>(columnSum[x] + in[x]);
            }
            if (squares)
                for (std::size_t x = 0; x < w; ++x)
                    columnSquares[x] += std::uint32_t(in[x]) * in[x];
        }
        for (int bx = 0; bx < blocks.across; ++bx) {
            const int left = bx * block, right = std::min(image.width, left + block);
            int l = 255, h = 0, total = 0;
            long long square = 0;
            for (int x = left; x < right; ++x) {
                l = std::min<int>(l, columnLo[std::size_t(x)]);
                h = std::max<int>(h, columnHi[std::size_t(x)]);
                total += columnSum[std::size_t(x)];
                if (squares)
                    square += columnSquares[std::size_t(x)];
            }
            const int pixels = (bottom - top) * (right - left);
            const std::size_t at = std::size_t(by) * blocks.across + bx;
            blocks.level[at] = static_cast<std::uint8_t>(total / pixels);
            blocks.contrast[at] = static_cast<std::uint8_t>(h - l);
            if (squares) {
                const double mean = static_cast<double>(total) / pixels;
                blocks.variance[at] = static_cast<double>(square) / pixels - mean * mean;
            }
        }
    }
    return blocks;
}

void binarizeLocal(const GrayImage& image, bool smooth, ImageMeasures& measures, BinaryImage& out)
{
    constexpr int block = BlockLevels::side;
    // Below this difference of gray levels a block holds no edge (noise, paper texture).
    constexpr int minContrast = 24;
    const BlockLevels& blocks = smooth ? measures.blocksWithVariance() : measures.blocks();
    const int bw = blocks.across, bh = blocks.down;
    const auto index = [bw](int bx, int by) { return std::size_t(by) * bw + bx; };
    // Below this spread of its levels a block of a noisy image holds no edge: a fifth of the dark-to-light step.
    double minSpread = 0;
    if (smooth)
        minSpread = 0.2 * (measures.split().light - measures.split().dark);
    // Per block: its mean, which noise moves less than its extremes, and whether it holds an edge. The storage is
    // the read's, kept for its next strategy: fresh, it cost more than the work done in it.
    LocalScratch& scratch = measures.scratch();
    const std::size_t blockCount = std::size_t(bw) * bh;
    const std::uint8_t* level = blocks.level.data();
    auto& edged = scratch.edged;
    edged.resize(blockCount);
    for (std::size_t at = 0; at < blockCount; ++at)
        edged[at] = blocks.contrast[at] > minContrast && (!smooth || blocks.variance[at] >= minSpread * minSpread);
    // Each block's threshold is the mean level of the edged blocks among the 5 x 5 around it: sums over any
    // rectangle of blocks from running totals (at most 255 for each of 2 million blocks: they fit 32 bits).
    const int pw = bw + 1;
    auto &levels = scratch.levels, &edges = scratch.edges;
    levels.resize(std::size_t(pw) * (bh + 1));
    edges.resize(levels.size());
    std::fill_n(levels.begin(), pw, 0);
    std::fill_n(edges.begin(), pw, 0);
    for (int by = 0; by < bh; ++by) {
        const std::size_t first = std::size_t(by + 1) * pw;
        levels[first] = edges[first] = 0;
        for (int bx = 0; bx < bw; ++bx) {
            const std::size_t at = first + bx + 1, up = at - pw;
            const bool e = edged[index(bx, by)] != 0;
            levels[at] = (e ? level[index(bx, by)] : 0) + levels[at - 1] + levels[up] - levels[up - 1];
            edges[at] = (e ? 1 : 0) + edges[at - 1] + edges[up] - edges[up - 1];
        }
    }
    const auto boxed = [pw](const auto& totals, int x0, int y0, int x1, int y1) {
        return totals[std::size_t(y1) * pw + x1] - totals[std::size_t(y0) * pw + x1] - totals[std::size_t(y1) * pw + x0] +
               totals[std::size_t(y0) * pw + x0];
    };
    auto& threshold = scratch.threshold;  // -1 until settled
    threshold.resize(blockCount);
    auto& settled = scratch.queue;  // blocks in the order they were settled, as block indices
    settled.clear();
    for (int by = 0; by < bh; ++by)
        for (int bx = 0; bx < bw; ++bx) {
            const int x0 = std::max(0, bx - 2), y0 = std::max(0, by - 2);
            const int x1 = std::min(bw, bx + 3), y1 = std::min(bh, by + 3);
            const auto count = static_cast<int>(boxed(edges, x0, y0, x1, y1));
            const auto sum = static_cast<int>(boxed(levels, x0, y0, x1, y1));
            threshold[index(bx, by)] = static_cast<std::int16_t>(count ? sum / count : -1);
            if (count)
                settled.push_back(static_cast<std::uint32_t>(index(bx, by)));
        }
    // Blocks with no contrast around them, however the modules fall on the blocks, take the threshold of the
    // nearest settled block: the edge of their module is there.
    if (settled.empty())
        std::fill(threshold.begin(), threshold.end(), static_cast<std::int16_t>(measures.split().threshold));
    for (std::size_t next = 0; next < settled.size(); ++next) {
        const int bx = static_cast<int>(settled[next] % bw), by = static_cast<int>(settled[next] / bw);
        for (const auto& [dx, dy] : {std::pair{1, 0}, {-1, 0}, {0, 1}, {0, -1}}) {
            const int x = bx + dx, y = by + dy;
            if (x < 0 || y < 0 || x >= bw || y >= bh || threshold[index(x, y)] >= 0)
                continue;
            threshold[index(x, y)] = threshold[index(bx, by)];
            settled.push_back(static_cast<std::uint32_t>(index(x, y)));
        }
    }
    out.reshape(image.width, image.height);
    Smoothed smoothed(image);
    // Each block's threshold spread over its pixels, for the eight rows of a row of blocks: then every row is
    // compared a byte at a time, sixteen pixels to an instruction (thresholds are levels, 0 to 255).
    // (Sizes in locals: a byte store may alias the image's fields, which would keep the loop from vectorising.)
    const std::size_t width = static_cast<std::size_t>(image.width);
    const int height = image.height;
    auto& rowThreshold = scratch.rowThreshold;
    rowThreshold.resize(width);
    for (int y = 0; y < height; ++y) {
        if (y % block == 0) {
            const std::int16_t* t = threshold.data() + std::size_t(y / block) * bw;
            for (std::size_t left = 0, bx = 0; left < width; left += block, ++bx)
                std::fill_n(rowThreshold.data() + left, std::min<std::size_t>(block, width - left),
                            static_cast<std::uint8_t>(t[bx]));
        }
        const std::uint8_t* limit = rowThreshold.data();
        const std::uint8_t* in = smooth ? smoothed.row(y) : image.row(y);
        std::uint8_t* bits = out.row(y);
        for (std::size_t x = 0; x < width; ++x)
            bits[x] = in[x] < limit[x];
    }
}

}  // namespace varnok::aztec
