#include "Image.h"

#include <algorithm>

namespace varnok::aztec {

namespace {

int smoothed(const GrayImage& image, int x, int y)
{
    int sum = 0, count = 0;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
            const int px = x + dx, py = y + dy;
            if (px >= 0 && py >= 0 && px < image.width && py < image.height) {
                sum += image.at(px, py);
                ++count;
            }
        }
    return sum / count;
}

}  // namespace

BinaryImage binarize(const GrayImage& image, bool smooth)
{
    constexpr int block = 8;
    // Below this difference of gray levels a block holds no edge (noise, paper texture).
    constexpr int minContrast = 24;
    const int bw = (image.width + block - 1) / block, bh = (image.height + block - 1) / block;
    // Per block: its mean, which noise moves less than its extremes. A flat block (inside a module or the
    // margin) takes its neighbours' threshold.
    std::vector<int> level(std::size_t(bw) * bh), range(std::size_t(bw) * bh);
    for (int by = 0; by < bh; ++by)
        for (int bx = 0; bx < bw; ++bx) {
            int lo = 255, hi = 0, sum = 0, count = 0;
            for (int y = by * block; y < std::min(image.height, (by + 1) * block); ++y)
                for (int x = bx * block; x < std::min(image.width, (bx + 1) * block); ++x) {
                    const int v = image.at(x, y);
                    lo = std::min(lo, v);
                    hi = std::max(hi, v);
                    sum += v;
                    ++count;
                }
            level[std::size_t(by) * bw + bx] = sum / count;
            range[std::size_t(by) * bw + bx] = hi - lo;
        }
    BinaryImage out(image.width, image.height);
    std::vector<int> threshold(std::size_t(bw) * bh);
    for (int by = 0; by < bh; ++by)
        for (int bx = 0; bx < bw; ++bx) {
            int sum = 0, count = 0;
            for (int dy = -2; dy <= 2; ++dy)
                for (int dx = -2; dx <= 2; ++dx) {
                    const int x = bx + dx, y = by + dy;
                    if (x < 0 || y < 0 || x >= bw || y >= bh)
                        continue;
                    const std::size_t i = std::size_t(y) * bw + x;
                    if (range[i] <= minContrast)
                        continue;
                    sum += level[i];
                    ++count;
                }
            threshold[std::size_t(by) * bw + bx] = count ? sum / count : -1;
        }
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            const int t = threshold[std::size_t(y / block) * bw + x / block];
            const int v = smooth ? smoothed(image, x, y) : image.at(x, y);
            out.set(x, y, v < (t >= 0 ? t : 128));
        }
    return out;
}

}  // namespace varnok::aztec
