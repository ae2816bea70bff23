#include "InkSpread.h"

#include <algorithm>
#include <vector>

namespace varnok::aztec {

namespace {

// The run length below which a fifth of the runs' pixels lie: short runs are the single modules.
int shortRun(std::vector<long long>& pixelsOfLength)
{
    long long total = 0;
    for (std::size_t n = 0; n < pixelsOfLength.size(); ++n)
        total += pixelsOfLength[n];
    long long seen = 0;
    for (std::size_t n = 0; n < pixelsOfLength.size(); ++n)
        if ((seen += pixelsOfLength[n]) * 5 >= total)
            return static_cast<int>(n);
    return 0;
}

}  // namespace

int inkSpreadOf(const BinaryImage& image, const RowRuns* rows)
{
    // Runs of two pixels up to 64, weighted by their length; the runs at the row's ends are cut and not counted.
    constexpr int longest = 64;
    std::vector<long long> dark(longest + 1), light(longest + 1);
    for (int y = 0; y < image.height(); y += 2) {
        const std::uint8_t* row = image.row(y);
        std::size_t count = 0;
        if (const int* runs = rows ? rows->row(static_cast<std::size_t>(y / 2), count) : nullptr) {
            // Colours alternate from the row's first pixel.
            bool isDark = row[0] != 0;
            for (std::size_t k = 0; k < count; ++k, isDark = !isDark) {
                const int length = runs[k];
                if (k > 0 && k + 1 < count && length >= 2 && length <= longest)
                    (isDark ? dark : light)[static_cast<std::size_t>(length)] += length;
            }
            continue;
        }
        int start = 0;
        for (int x = 1; x <= image.width(); ++x) {
            if (x < image.width() && row[x] == row[start])
                continue;
            const int length = x - start;
            if (start > 0 && x < image.width() && length >= 2 && length <= longest)
                (row[start] ? dark : light)[static_cast<std::size_t>(length)] += length;
            start = x;
        }
    }
    const int d = shortRun(dark), l = shortRun(light);
    // Spread worth undoing: single dark modules at least half as wide again as the light ones.
    if (d < 4 || l < 1 || 2 * d < 3 * l)
        return 0;
    return (d - l) / 4;
}

BinaryImage withoutInkSpread(const BinaryImage& image, int pixels)
{
    const int w = image.width(), h = image.height();
    BinaryImage across(w, h), out(w, h);
    // Dark where every pixel within `pixels` along the row is dark, then the same down the column; pixels beyond
    // the edge count as dark, so a symbol cut at the edge keeps its outer modules.
    const auto erode = [pixels](const auto& dark, int n, auto&& set) {
        int lastLight = -1 - pixels;  // position of the nearest light pixel at or before i + pixels
        std::vector<int> nextLight(static_cast<std::size_t>(n) + 1, n + pixels + 1);
        for (int i = n - 1; i >= 0; --i)
            nextLight[static_cast<std::size_t>(i)] = dark(i) ? nextLight[static_cast<std::size_t>(i) + 1] : i;
        for (int i = 0; i < n; ++i) {
            if (!dark(i))
                lastLight = i;
            set(i, i - lastLight > pixels && nextLight[static_cast<std::size_t>(i)] - i > pixels);
        }
    };
    for (int y = 0; y < h; ++y)
        erode([&](int x) { return image.dark(x, y); }, w, [&](int x, bool d) { across.set(x, y, d); });
    for (int x = 0; x < w; ++x)
        erode([&](int y) { return across.dark(x, y); }, h, [&](int y, bool d) { out.set(x, y, d); });
    return out;
}

}  // namespace varnok::aztec
