#include "Reader.h"

#include <cmath>

#include "Finder.h"
#include "Grid.h"
#include "MatrixDecoder.h"

namespace varnok::aztec {

namespace {

// Bull's-eyes tried per polarity: a page of printed text yields a few false ones.
constexpr std::size_t maxCandidates = 24;

struct Sampler {
    const BinaryImage& image;
    Homography toImage;  // module coordinates of the symbol (module x spans [x, x + 1)) to pixels

    // Outside the image counts as light, and so does a module that cannot be placed.
    bool dark(double x, double y) const
    {
        const Point p = toImage({x, y});
        const int px = static_cast<int>(std::floor(p.x)), py = static_cast<int>(std::floor(p.y));
        return image.inside(px, py) && image.dark(px, py);
    }

    ModuleMatrix sample(int size) const
    {
        ModuleMatrix m(size);
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x)
                m.set(x, y, dark(x + 0.5, y + 0.5));
        return m;
    }
};

// The symbol's format from the mode message, trying all eight orientations of the core.
std::optional<SymbolFormat> readFormat(const Sampler& core, bool compact)
{
    const int size = compact ? 11 : 15;
    const ModuleMatrix sampled = core.sample(size);
    const auto positions = modeMessagePositions(compact, size);
    for (int turns = 0; turns < 4; ++turns)
        for (bool mirror : {false, true}) {
            const ModuleMatrix m = sampled.transformed(turns, mirror);
            std::vector<bool> bits;
            for (const auto& [x, y] : positions)
                bits.push_back(m.at(x, y));
            if (auto format = readModeMessage(bits, compact))
                return format;
        }
    return std::nullopt;
}

}  // namespace

ReadResult readAztec(const GrayImage& image)
{
    ReadResult result;
    BinaryImage binary;
    if (!image.pixels || image.width <= 0 || image.height <= 0 ||
        static_cast<long long>(image.width) * image.height > maxPixels || image.stride < image.width) {
        result.failure = ReadFailure::BadImage;
        result.reason = "image dimensions not acceptable";
        return result;
    }
    bool sawSymbol = false;
    std::string lastReason;
    // The plain threshold first; against heavy noise, a smoothed one.
    for (int attempt = 0; attempt < 4; ++attempt) {
        const bool smooth = attempt >= 2, inverted = attempt % 2 == 1;
        if (attempt == 2)
            binary = BinaryImage();  // one binary image at a time
        if (!inverted)
            binary = binarize(image, smooth);
        else
            binary.invert();  // light on dark: the same search on the negative
        for (const FinderCandidate& candidate : findBullsEyes(binary, maxCandidates)) {
            for (bool compact : {true, false}) {
                const int ring = compact ? 4 : 6;
                const auto corners = traceRing(binary, candidate, ring);
                if (!corners)
                    continue;
                const int coreSize = compact ? 11 : 15, c = coreSize / 2;
                const double lo = c - ring + 1, hi = c + ring;  // the ring's inner edge
                const auto toImage = Homography::between({Point{lo, lo}, Point{hi, lo}, Point{hi, hi}, Point{lo, hi}}, *corners);
                if (!toImage)
                    continue;
                const auto format = readFormat({binary, *toImage}, compact);
                if (!format)
                    continue;
                sawSymbol = true;
                // The same map, in the coordinates of the whole symbol.
                const int size = format->size(), shift = size / 2 - c;
                const auto whole = Homography::between(
                    {Point{lo + shift, lo + shift}, Point{hi + shift, lo + shift}, Point{hi + shift, hi + shift},
                     Point{lo + shift, hi + shift}},
                    *corners);
                if (!whole)
                    continue;
                const SymbolGrid::Sampled sampled = SymbolGrid(binary, *whole, *format).sample(binary);
                // Unsure modules as erasures first; if that fails, the check words on their own.
                MatrixResult decoded = decodeMatrix(sampled.modules, sampled.unsure);
                if (!decoded.ok)
                    decoded = decodeMatrix(sampled.modules);
                if (decoded.ok) {
                    result.bytes = decoded.text.bytes;
                    if (const auto& part = decoded.text.sequence)
                        result.sequence = SequencePosition{part->index, part->count, part->id};
                    return result;
                }
                lastReason = decoded.reason;
            }
        }
    }
    result.failure = sawSymbol ? ReadFailure::TooDamaged : ReadFailure::NoSymbol;
    result.reason = sawSymbol ? "Aztec symbol found but " + lastReason : "no Aztec symbol found";
    return result;
}

}  // namespace varnok::aztec
