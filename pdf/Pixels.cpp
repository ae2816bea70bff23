#include <algorithm>
#include <array>
#include <cmath>

#include "ReaderParts.h"

namespace varnok::pdf {

namespace {

unsigned sampleAt(const std::uint8_t* row, std::size_t index, int bits)
{
    switch (bits) {
    case 8: return row[index];
    case 16: return row[2 * index];  // the high byte is precision enough for gray
    default: break;
    }
    const std::size_t bit = index * bits;
    return (row[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
}

// Each component's sample values through the /Decode array, as 0-255 (or a palette index).
std::vector<std::array<std::uint8_t, 256>> decodeTables(const ColourModel& model, const Object* decode, int bits,
                                                        int number)
{
    const int levels = bits == 16 ? 256 : 1 << bits;
    const double top = levels - 1;
    std::vector<std::array<std::uint8_t, 256>> tables(model.components);
    for (int c = 0; c < model.components; ++c) {
        double low = 0, high = model.indexed ? top : 1;
        if (decode && decode->array()) {
            const Array& ranges = *decode->array();
            if (ranges.size() < std::size_t(2 * model.components) || !ranges[2 * c].number(low) ||
                !ranges[2 * c + 1].number(high))
                throw Fault{Stage::Images, number, "bad /Decode"};
        }
        for (int s = 0; s < levels; ++s) {
            const double value = low + s * (high - low) / (top > 0 ? top : 1);
            tables[c][s] = model.indexed
                               ? static_cast<std::uint8_t>(std::clamp<double>(std::lround(value), 0, model.highest))
                               : static_cast<std::uint8_t>(std::lround(std::clamp(value, 0.0, 1.0) * 255));
        }
    }
    return tables;
}

}  // namespace

std::vector<std::uint8_t> toGray(const std::vector<std::uint8_t>& samples, long long width, long long height,
                                 int bits, const ColourModel& model, const Object* decode, int number)
{
    const auto tables = decodeTables(model, decode, bits, number);
    const std::size_t perRow = std::size_t(width) * model.components;
    const std::size_t rowBytes = (perRow * bits + 7) / 8;
    const std::size_t rows = std::min<std::size_t>(samples.size() / rowBytes, std::size_t(height));
    // Rows the data does not reach stay white paper.
    std::vector<std::uint8_t> gray(std::size_t(width) * height, 255);
    std::uint8_t values[4] = {};
    for (std::size_t y = 0; y < rows; ++y) {
        const std::uint8_t* row = samples.data() + y * rowBytes;
        std::uint8_t* out = gray.data() + y * width;
        for (std::size_t x = 0; x < std::size_t(width); ++x) {
            for (int c = 0; c < model.components; ++c)
                values[c] = tables[c][sampleAt(row, x * model.components + c, bits)];
            if (model.indexed) {
                const int baseComponents = static_cast<int>(model.palette.size() / (model.highest + 1));
                out[x] = grayOf(model.family, &model.palette[std::size_t(values[0]) * baseComponents]);
            } else {
                out[x] = grayOf(model.family, values);
            }
        }
    }
    return gray;
}

}  // namespace varnok::pdf
