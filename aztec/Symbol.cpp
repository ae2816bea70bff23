#include "Symbol.h"

#include <cstdlib>

namespace varnok::aztec {

namespace {

// Distance from the centre in modules, counted without the grid lines, to the distance on the symbol.
int withGridLines(int distance) { return distance + (distance - 1) / 15; }

// Side of the data area without grid lines.
int baseSize(const SymbolFormat& f) { return (f.compact ? 11 : 14) + 4 * f.layers; }

}  // namespace

ModuleMatrix ModuleMatrix::transformed(int turns, bool mirror) const
{
    ModuleMatrix out(size_);
    const int last = size_ - 1;
    for (int y = 0; y < size_; ++y)
        for (int x = 0; x < size_; ++x) {
            int sx = x, sy = y;
            for (int t = 0; t < (turns & 3); ++t) {  // the module that a quarter turn clockwise brings to (sx, sy)
                const int px = sy, py = last - sx;
                sx = px;
                sy = py;
            }
            if (mirror)
                sx = last - sx;
            out.set(x, y, at(sx, sy));
        }
    return out;
}

int SymbolFormat::size() const
{
    if (compact)
        return baseSize(*this);
    return 2 * withGridLines(baseSize(*this) / 2) + 1;
}

int SymbolFormat::wordBits() const { return layers <= 2 ? 6 : layers <= 8 ? 8 : layers <= 22 ? 10 : 12; }

int SymbolFormat::totalWords() const
{
    // Each layer is a ring two modules thick: 8 (side - 2) bits for an outer side `side`.
    int bits = 0;
    for (int i = 0; i < layers; ++i)
        bits += 8 * (baseSize(*this) - 4 * i - 2);
    return bits / wordBits();
}

bool isReferenceGridLine(int offsetFromCentre) { return offsetFromCentre % 16 == 0; }

std::vector<std::pair<int, int>> modeMessagePositions(bool compact, int size)
{
    const int c = size / 2, r = compact ? 5 : 7;
    std::vector<int> span;
    for (int d = -r + 2; d <= r - 2; ++d)
        if (compact || d != 0)
            span.push_back(d);
    std::vector<std::pair<int, int>> positions;
    for (int d : span)
        positions.emplace_back(c + d, c - r);  // top, left to right
    for (int d : span)
        positions.emplace_back(c + r, c + d);  // right, downwards
    for (auto d = span.rbegin(); d != span.rend(); ++d)
        positions.emplace_back(c + *d, c + r);  // bottom, right to left
    for (auto d = span.rbegin(); d != span.rend(); ++d)
        positions.emplace_back(c - r, c + *d);  // left, upwards
    return positions;
}

std::optional<SymbolFormat> readModeMessage(const std::vector<bool>& bits, bool compact, const std::vector<int>& unsure)
{
    const std::size_t words = compact ? 7 : 10, dataWords = compact ? 2 : 4;
    if (bits.size() != words * 4)
        return std::nullopt;
    std::vector<unsigned> codewords(words, 0);
    for (std::size_t i = 0; i < bits.size(); ++i)
        codewords[i / 4] = codewords[i / 4] << 1 | (bits[i] ? 1u : 0u);
    std::vector<std::size_t> erasures;
    for (int bit : unsure) {
        const auto word = static_cast<std::size_t>(bit / 4);
        if (bit >= 0 && word < words && (erasures.empty() || erasures.back() != word))
            erasures.push_back(word);
    }
    if (!reedSolomonCorrect(GaloisField::forWordSize(4), codewords, words - dataWords, erasures))
        return std::nullopt;
    unsigned value = 0;
    for (std::size_t i = 0; i < dataWords; ++i)
        value = value << 4 | codewords[i];
    SymbolFormat format;
    format.compact = compact;
    format.layers = static_cast<int>(compact ? (value >> 6) + 1 : (value >> 11) + 1);
    format.dataWords = static_cast<int>(compact ? (value & 0x3F) + 1 : (value & 0x7FF) + 1);
    if (format.dataWords >= format.totalWords())
        return std::nullopt;
    return format;
}

std::vector<std::pair<int, int>> dataPositions(const SymbolFormat& f)
{
    const int base = baseSize(f), size = f.size(), c = size / 2, half = base / 2;
    // A coordinate of the data area without grid lines, on the symbol.
    const auto place = [&](int k) {
        if (f.compact)
            return k;
        return k < half ? c - withGridLines(half - k) : c + withGridLines(k - half + 1);
    };
    std::vector<std::pair<int, int>> positions;
    for (int i = 0; i < f.layers; ++i) {
        const int o = 2 * i, side = base - 4 * i, far = o + side - 1;
        const auto add = [&](int x, int y) { positions.emplace_back(place(x), place(y)); };
        // Counter-clockwise from the top-left corner, two modules across the layer, the outer one first.
        for (int j = 0; j < side - 2; ++j)
            add(o, o + j), add(o + 1, o + j);
        for (int j = 0; j < side - 2; ++j)
            add(o + j, far), add(o + j, far - 1);
        for (int j = 0; j < side - 2; ++j)
            add(far, far - j), add(far - 1, far - j);
        for (int j = 0; j < side - 2; ++j)
            add(far - j, o), add(far - j, o + 1);
    }
    return positions;
}

Codewords wordsFromBits(const SymbolFormat& format, const std::vector<bool>& bits)
{
    Codewords result;
    result.wordBits = format.wordBits();
    result.dataWords = format.dataWords;
    const std::size_t total = static_cast<std::size_t>(format.totalWords());
    const std::size_t skip = bits.size() - total * static_cast<std::size_t>(result.wordBits);
    result.words.assign(total, 0);
    for (std::size_t i = 0; i < total * static_cast<std::size_t>(result.wordBits); ++i)
        result.words[i / static_cast<std::size_t>(result.wordBits)] =
            result.words[i / static_cast<std::size_t>(result.wordBits)] << 1 | (bits[skip + i] ? 1u : 0u);
    return result;
}

std::optional<std::vector<bool>> unstuff(const Codewords& codewords)
{
    const unsigned bits = static_cast<unsigned>(codewords.wordBits), all = (1u << bits) - 1;
    std::vector<bool> stream;
    for (int i = 0; i < codewords.dataWords; ++i) {
        const unsigned word = codewords.words[static_cast<std::size_t>(i)];
        if (word == 0 || word == all)
            return std::nullopt;
        const bool stuffed = (word >> 1) == 0 || (word >> 1) == (all >> 1);
        for (unsigned b = bits; b-- > (stuffed ? 1u : 0u);)
            stream.push_back((word >> b) & 1u);
    }
    return stream;
}

}  // namespace varnok::aztec
