#include "Symbol.h"

#include <algorithm>
#include <cstdlib>

#include "Acceptance.h"

namespace varnok::aztec {

namespace {

// Distance from the centre in modules, counted without the grid lines, to the distance on the symbol.
int withGridLines(int distance) { return distance + (distance - 1) / 15; }

// Side of the data area without grid lines.
int baseSize(const SymbolFormat& f) { return (f.compact ? 11 : 14) + 4 * f.layers; }

// The module of the untransformed matrix that `turns` quarter turns clockwise and then a mirror image bring to
// (x, y).
std::pair<int, int> sourceOf(int x, int y, int size, int turns, bool mirror)
{
    const int last = size - 1;
    for (int t = 0; t < (turns & 3); ++t) {
        const int px = y, py = last - x;
        x = px;
        y = py;
    }
    return {mirror ? last - x : x, y};
}

// The orientation marks in reading orientation: three modules at each corner of the mode message's ring, at
// (c + cornerX r + stepX, c + cornerY r + stepY), dark or light.
struct Mark {
    int cornerX, stepX, cornerY, stepY;
    bool dark;
};
constexpr Mark orientationMarks[] = {
    {-1, 0, -1, 0, true}, {-1, 1, -1, 0, true}, {-1, 0, -1, 1, true},    // top left: all three dark
    {1, 0, -1, 0, true}, {1, -1, -1, 0, false}, {1, 0, -1, 1, true},     // top right: the corner and below it
    {1, 0, 1, 0, false}, {1, -1, 1, 0, false}, {1, 0, 1, -1, true},      // bottom right: above the corner only
    {-1, 0, 1, 0, false}, {-1, 1, 1, 0, false}, {-1, 0, 1, -1, false},   // bottom left: none
};

// Orientations whose marks are further off than this are not symbols (a bull's-eye alone has six wrong).
constexpr int maxMarkErrors = 3;

}  // namespace

ModuleMatrix ModuleMatrix::transformed(int turns, bool mirror) const
{
    ModuleMatrix out(size_);
    for (int y = 0; y < size_; ++y)
        for (int x = 0; x < size_; ++x) {
            const auto [sx, sy] = sourceOf(x, y, size_, turns, mirror);
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

std::optional<ModeMessage> readModeMessage(const std::vector<bool>& bits, bool compact, const std::vector<int>& unsure)
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
    if (erasures.size() + spareModeWords > words - dataWords)
        erasures.clear();
    const auto corrected = reedSolomonCorrect(GaloisField::forWordSize(4), codewords, words - dataWords, erasures);
    if (!corrected || corrected->spare(words - dataWords) < spareModeWords)
        return std::nullopt;
    unsigned value = 0;
    for (std::size_t i = 0; i < dataWords; ++i)
        value = value << 4 | codewords[i];
    const unsigned countBits = compact ? 6 : 11, count = value & ((1u << countBits) - 1);
    ModeMessage mode{{}, corrected->changed};
    SymbolFormat& format = mode.format;
    format.compact = compact;
    format.layers = static_cast<int>((value >> countBits) + 1);
    format.dataWords = static_cast<int>(count + 1);
    // A reader-initialisation symbol sets the top bit of the word count; it is kept small enough (one compact
    // layer, at most 22 full-range ones) that the count read without the flag could never fit.
    if (format.dataWords >= format.totalWords()) {
        format.readerInitialisation = true;
        format.dataWords = static_cast<int>((count & ((1u << (countBits - 1)) - 1)) + 1);
        if (!(count >> (countBits - 1)) || format.dataWords >= format.totalWords())
            return std::nullopt;
    }
    return mode;
}

std::vector<Orientation> readOrientations(const ModuleMatrix& matrix, bool compact, const std::vector<bool>& unsure)
{
    const int size = matrix.size(), c = size / 2, r = compact ? 5 : 7;
    std::vector<Orientation> found;
    if (size < 2 * r + 1)
        return found;
    const auto positions = modeMessagePositions(compact, size);
    for (int turns = 0; turns < 4; ++turns)
        for (bool mirror : {false, true}) {
            const auto module = [&](int x, int y) {
                const auto [sx, sy] = sourceOf(x, y, size, turns, mirror);
                return matrix.at(sx, sy);
            };
            Orientation o{turns, mirror, {}, 0, 0};
            for (const Mark& mark : orientationMarks)
                o.markErrors += module(c + mark.cornerX * r + mark.stepX, c + mark.cornerY * r + mark.stepY) != mark.dark;
            if (o.markErrors > maxMarkErrors)
                continue;
            std::vector<bool> bits;
            std::vector<int> unsureBits;
            for (const auto& [x, y] : positions) {
                const auto [sx, sy] = sourceOf(x, y, size, turns, mirror);
                if (!unsure.empty() && unsure[static_cast<std::size_t>(sy * size + sx)])
                    unsureBits.push_back(static_cast<int>(bits.size()));
                bits.push_back(matrix.at(sx, sy));
            }
            const auto mode = readModeMessage(bits, compact, unsureBits);
            if (!mode)
                continue;
            o.format = mode->format;
            o.corrected = mode->corrected;
            found.push_back(o);
        }
    std::stable_sort(found.begin(), found.end(), [](const Orientation& a, const Orientation& b) { return a.doubt() < b.doubt(); });
    return found;
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
