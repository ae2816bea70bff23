#include "Image.h"

#include <algorithm>
#include <array>
#include <deque>
#include <type_traits>

namespace varnok::aztec {

namespace {

// A row of the image with each pixel the mean of the 3 x 3 pixels around it (those inside the image).
class Smoothed {
public:
    explicit Smoothed(const GrayImage& image)
        : image_(image), sums_(std::size_t(image.width)), means_(std::size_t(image.width)) {}

    const std::uint8_t* row(int y)
    {
        const int w = image_.width;
        std::fill(sums_.begin(), sums_.end(), 0);
        int rows = 0;
        for (int py = std::max(0, y - 1); py <= std::min(image_.height - 1, y + 1); ++py, ++rows) {
            const std::uint8_t* in = image_.row(py);
            int* sum = sums_.data();
            for (int x = 1; x + 1 < w; ++x)
                sum[x] += in[x - 1] + in[x] + in[x + 1];
            sum[0] += in[0] + (w > 1 ? in[1] : 0);
            if (w > 1)
                sum[w - 1] += in[w - 2] + in[w - 1];
        }
        // Inside, nine pixels (six on the first and last rows): a constant divisor the compiler multiplies by.
        const auto divide = [&](auto count) {
            for (int x = 1; x + 1 < w; ++x)
                means_[std::size_t(x)] = static_cast<std::uint8_t>(sums_[std::size_t(x)] / count);
        };
        if (rows == 3)
            divide(std::integral_constant<int, 9>{});
        else
            divide(3 * rows);
        const int edge = std::min(w, 2) * rows;
        means_[0] = static_cast<std::uint8_t>(sums_[0] / edge);
        means_[std::size_t(w - 1)] = static_cast<std::uint8_t>(sums_[std::size_t(w - 1)] / edge);
        return means_.data();
    }

private:
    const GrayImage& image_;
    std::vector<int> sums_;
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
    const int threshold = splitHistogram(image).threshold;
    BinaryImage out(image.width, image.height);
    for (int y = 0; y < image.height; ++y) {
        const std::uint8_t* in = image.row(y);
        std::uint8_t* bits = out.row(y);
        for (int x = 0; x < image.width; ++x)
            bits[x] = in[x] < threshold;
    }
    return out;
}

BinaryImage binarizeLocal(const GrayImage& image, bool smooth)
{
    constexpr int block = 8;
    // Below this difference of gray levels a block holds no edge (noise, paper texture).
    constexpr int minContrast = 24;
    const int bw = (image.width + block - 1) / block, bh = (image.height + block - 1) / block;
    const auto index = [bw](int bx, int by) { return std::size_t(by) * bw + bx; };
    // Below this spread of its levels a block of a noisy image holds no edge: a fifth of the dark-to-light step.
    double minSpread = 0;
    if (smooth) {
        const HistogramSplit split = splitHistogram(image);
        minSpread = 0.2 * (split.light - split.dark);
    }
    // Per block: its mean, which noise moves less than its extremes, and whether it holds an edge.
    std::vector<int> level(std::size_t(bw) * bh);
    std::vector<std::uint8_t> edged(std::size_t(bw) * bh);
    std::vector<int> lo(static_cast<std::size_t>(bw)), hi(lo), sum(lo);
    std::vector<long long> squares(static_cast<std::size_t>(bw));
    // Each column of a row of blocks first, a whole row at a time (loops the compiler vectorises), then each
    // block from its eight columns.
    const std::size_t w = static_cast<std::size_t>(image.width);
    std::vector<std::uint8_t> columnLo(w), columnHi(w);
    std::vector<std::uint16_t> columnSum(w);    // at most 8 x 255
    std::vector<std::uint32_t> columnSquares(w);  // at most 8 x 255²
    for (int by = 0; by < bh; ++by) {
        const int top = by * block, bottom = std::min(image.height, top + block);
        std::fill(columnLo.begin(), columnLo.end(), std::uint8_t{255});
        std::fill(columnHi.begin(), columnHi.end(), std::uint8_t{0});
        std::fill(columnSum.begin(), columnSum.end(), std::uint16_t{0});
        std::fill(columnSquares.begin(), columnSquares.end(), 0u);
        for (int y = top; y < bottom; ++y) {
            const std::uint8_t* in = image.row(y);
            for (std::size_t x = 0; x < w; ++x) {
                columnLo[x] = std::min(columnLo[x], in[x]);
                columnHi[x] = std::max(columnHi[x], in[x]);
                columnSum[x] = static_cast<std::uint16_t>(columnSum[x] + in[x]);
            }
            if (smooth)
                for (std::size_t x = 0; x < w; ++x)
                    columnSquares[x] += std::uint32_t(in[x]) * in[x];
        }
        for (int bx = 0; bx < bw; ++bx) {
            const int left = bx * block, right = std::min(image.width, left + block);
            int l = 255, h = 0, total = 0;
            long long square = 0;
            for (int x = left; x < right; ++x) {
                l = std::min<int>(l, columnLo[std::size_t(x)]);
                h = std::max<int>(h, columnHi[std::size_t(x)]);
                total += columnSum[std::size_t(x)];
                square += columnSquares[std::size_t(x)];
            }
            const std::size_t at = std::size_t(bx);
            lo[at] = l;
            hi[at] = h;
            sum[at] = total;
            squares[at] = square;
        }
        for (int bx = 0; bx < bw; ++bx) {
            const int count = (bottom - top) * (std::min(image.width, (bx + 1) * block) - bx * block);
            const double mean = static_cast<double>(sum[std::size_t(bx)]) / count;
            const double variance = static_cast<double>(squares[std::size_t(bx)]) / count - mean * mean;
            level[index(bx, by)] = sum[std::size_t(bx)] / count;
            edged[index(bx, by)] = hi[std::size_t(bx)] - lo[std::size_t(bx)] > minContrast &&
                                   (!smooth || variance >= minSpread * minSpread);
        }
    }
    // Each block's threshold is the mean level of the edged blocks among the 5 x 5 around it: sums over any
    // rectangle of blocks from running totals.
    const int pw = bw + 1;
    std::vector<long long> levels(std::size_t(pw) * (bh + 1)), edges(levels.size());
    for (int by = 0; by < bh; ++by)
        for (int bx = 0; bx < bw; ++bx) {
            const std::size_t at = std::size_t(by + 1) * pw + bx + 1, up = at - pw;
            const bool e = edged[index(bx, by)] != 0;
            levels[at] = (e ? level[index(bx, by)] : 0) + levels[at - 1] + levels[up] - levels[up - 1];
            edges[at] = (e ? 1 : 0) + edges[at - 1] + edges[up] - edges[up - 1];
        }
    const auto boxed = [&](const std::vector<long long>& totals, int x0, int y0, int x1, int y1) {
        return totals[std::size_t(y1) * pw + x1] - totals[std::size_t(y0) * pw + x1] - totals[std::size_t(y1) * pw + x0] +
               totals[std::size_t(y0) * pw + x0];
    };
    std::vector<int> threshold(std::size_t(bw) * bh, -1);
    std::deque<std::pair<int, int>> settled;
    for (int by = 0; by < bh; ++by)
        for (int bx = 0; bx < bw; ++bx) {
            const int x0 = std::max(0, bx - 2), y0 = std::max(0, by - 2);
            const int x1 = std::min(bw, bx + 3), y1 = std::min(bh, by + 3);
            const auto count = static_cast<int>(boxed(edges, x0, y0, x1, y1));
            const auto sum = static_cast<int>(boxed(levels, x0, y0, x1, y1));
            if (count) {
                threshold[index(bx, by)] = sum / count;
                settled.emplace_back(bx, by);
            }
        }
    // Blocks with no contrast around them, however the modules fall on the blocks, take the threshold of the
    // nearest settled block: the edge of their module is there.
    if (settled.empty())
        std::fill(threshold.begin(), threshold.end(), splitHistogram(image).threshold);
    while (!settled.empty()) {
        const auto [bx, by] = settled.front();
        settled.pop_front();
        for (const auto& [dx, dy] : {std::pair{1, 0}, {-1, 0}, {0, 1}, {0, -1}}) {
            const int x = bx + dx, y = by + dy;
            if (x < 0 || y < 0 || x >= bw || y >= bh || threshold[index(x, y)] >= 0)
                continue;
            threshold[index(x, y)] = threshold[index(bx, by)];
            settled.emplace_back(x, y);
        }
    }
    BinaryImage out(image.width, image.height);
    Smoothed smoothed(image);
    for (int y = 0; y < image.height; ++y) {
        const int* t = threshold.data() + std::size_t(y / block) * bw;
        std::uint8_t* bits = out.row(y);
        const std::uint8_t* in = smooth ? smoothed.row(y) : image.row(y);
        const int whole = image.width / block;
        for (int bx = 0; bx < whole; ++bx) {
            const int tb = t[bx], left = bx * block;
            for (int k = 0; k < block; ++k)
                bits[left + k] = in[left + k] < tb;
        }
        for (int x = whole * block; x < image.width; ++x)
            bits[x] = in[x] < t[whole];
    }
    return out;
}

}  // namespace varnok::aztec
