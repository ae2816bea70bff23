#include "Reader.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdint>

#include "Finder.h"
#include "Grid.h"
#include "InkSpread.h"
#include "MatrixDecoder.h"
#include "base/FloatingPoint.h"

namespace varnok::aztec {

namespace {

// Bull's-eyes tried per binary image and polarity: a page of printed text yields false ones, and a sheet of
// labels many true ones; those without orientation marks are dismissed quickly.
constexpr std::size_t maxCandidates = 128;
// Images up to this side may be a symbol drawn at one pixel per module, perhaps without its quiet zone.
constexpr int pureSymbolSide = 512;
// Modules of at most this many pixels may be of a symbol drawn at one or two pixels per module.
constexpr double squareModules = 2.5;
// Images up to this size (an A4 page at 200 dpi) may be scanned so coarsely that only the enlarged image reads;
// and only modules up to this many pixels are too coarse for the image as it is. Past this many bull's-eyes of
// such modules in one binary image the image is texture (noise, halftone), where enlarging finds more texture:
// a coarse symbol shows a few (at most 5 in any binary image of the test images that read only enlarged;
// Gaussian noise shows 27 to 46).
constexpr long long enlargeLimit = 4'000'000;
constexpr double enlargeModules = 4.5;
constexpr std::size_t maxCoarseCandidates = 16;
// Bull's-eyes whose rows and columns disagree on the module size by this much or more are of pixels that are not
// square (a fax, a scanner with unequal resolutions): the reader squares the pixels and searches again, where they
// agree on the shape and the squared image stays within the size the reader takes.
constexpr double unequalPixels = 1.3;
constexpr double maxPixelAspect = 3;

// The work a read may do: a few passes over the pixels, and room for the searches of a small image; for the
// largest images no more than fits in about a second and a half.
long long workFor(long long pixels) { return std::min(20'000'000 + 10 * pixels, 500'000'000LL); }

struct Sampler {
    const BinaryImage& image;
    Homography toImage;  // module coordinates of the symbol (module x spans [x, x + 1)) to pixels

    // Outside the image counts as light, and so does a module that cannot be placed.
    bool dark(double x, double y) const
    {
        const Point p = toImage({x, y});
        return image.darkAt(p.x, p.y);
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

struct Attempts {
    const GrayImage& image;
    Budget budget;
    bool sawSymbol = false;  // a bull's-eye whose orientation marks and mode message were clear
    std::string lastReason;
    bool inkSpread = false;  // dark runs far fatter than light ones: a bull's-eye may be merged at this scale
    std::size_t coarse = 0;  // the most bull's-eyes of at most enlargeModules the finder saw in one binary image
    std::vector<double> aspects{};  // of the bull's-eyes whose pixels looked unequal (the first few)
    ReadTrace* trace = nullptr;
    int pass = 0;
    ReadStep* step() { return trace && !trace->empty() ? &trace->back() : nullptr; }
};

// The core's map to the image: the corners of a square `inset` modules in from the outer edge of the dark ring
// `ring` modules from the centre (1: the ring's inner edge; 1.5: the middle of the light ring inside it).
struct CoreSquare {
    std::array<Point, 4> corners;
    double inset;
};

// What traceRing gives, for a symbol drawn square to the pixels.
CoreSquare squareRing(const FinderCandidate& c, int ring)
{
    const double in = (ring - 1) * c.moduleSize;
    return {{Point{c.centre.x - in, c.centre.y - in}, Point{c.centre.x + in, c.centre.y - in},
             Point{c.centre.x + in, c.centre.y + in}, Point{c.centre.x - in, c.centre.y + in}},
            1.5};
}

// A symbol of `size` modules placed by `toImage` lies in the image, but for a tenth of its side at most: a mode
// message misread in noise names symbols far larger than what is there.
bool fitsInImage(const Homography& toImage, int size, const BinaryImage& image)
{
    const double lo = 0.1 * size, hi = size - lo;
    for (const Point corner : {Point{lo, lo}, Point{hi, lo}, Point{hi, hi}, Point{lo, hi}}) {
        const Point p = toImage(corner);
        if (!(p.x >= 0 && p.y >= 0 && p.x <= image.width() && p.y <= image.height()))
            return false;
    }
    return true;
}

// The orientations the core allows, from the binary image and, for soft small modules, from the gray levels;
// a reading found in both is followed once.
std::vector<Orientation> coreReadings(const BinaryImage& binary, const GrayImage& image, const Homography& core,
                                      int coreSize, bool compact)
{
    std::vector<Orientation> readings = readOrientations(Sampler{binary, core}.sample(coreSize), compact);
    std::vector<double> levels;
    for (int y = 0; y < coreSize; ++y)
        for (int x = 0; x < coreSize; ++x)
            levels.push_back(levelAt(image, core({x + 0.5, y + 0.5})));
    for (const Orientation& o : readOrientations(classifyLevels(levels, coreSize).modules, compact))
        if (std::none_of(readings.begin(), readings.end(), [&](const Orientation& r) {
                return r.turns == o.turns && r.mirror == o.mirror && r.format.layers == o.format.layers &&
                       r.format.dataWords == o.format.dataWords;
            }))
            readings.push_back(o);
    return readings;
}

// The symbol around one core square: each reading of its marks and mode message followed to the check words.
std::optional<MatrixResult> readSquare(const BinaryImage& binary, const CoreSquare& square, int ring, bool compact,
                                       Attempts& attempts)
{
    const int coreSize = compact ? 11 : 15, c = coreSize / 2;
    const double lo = c - ring + square.inset, hi = c + ring + 1 - square.inset;
    const auto core = Homography::between({Point{lo, lo}, Point{hi, lo}, Point{hi, hi}, Point{lo, hi}}, square.corners);
    if (!core)
        return std::nullopt;
    for (const Orientation& o : coreReadings(binary, attempts.image, *core, coreSize, compact)) {
        // Random texture passes weaker evidence now and then: only a clear one is called a damaged symbol.
        attempts.sawSymbol = attempts.sawSymbol || o.doubt() <= 1;
        // The same map, in the coordinates of the whole symbol.
        const int size = o.format.size();
        const double shift = size / 2 - c;
        const auto whole = Homography::between({Point{lo + shift, lo + shift}, Point{hi + shift, lo + shift},
                                                Point{hi + shift, hi + shift}, Point{lo + shift, hi + shift}},
                                               square.corners);
        if (!whole || !fitsInImage(*whole, size, binary))
            continue;
        // Sampling, and correcting words of which half may be check words.
        const long long words = o.format.totalWords();
        if (!attempts.budget.spend(static_cast<long long>(size) * size * 20 + words * words))
            return std::nullopt;
        const auto decode = [&](const SymbolGrid::Sampled& sampled) {
            if (ReadStep* step = attempts.step())
                ++step->sampled;
            const ModuleMatrix modules = oriented(sampled.modules, o);
            MatrixResult decoded = decodeLayers(modules, o.format, oriented(sampled.unsure, size, o));
            if (!decoded.ok && std::find(sampled.unsure.begin(), sampled.unsure.end(), true) != sampled.unsure.end())
                decoded = decodeLayers(modules, o.format);
            attempts.lastReason = decoded.ok ? attempts.lastReason : decoded.reason;
            return decoded;
        };
        // The grid fitted to the binary image and its modules, then the gray levels' modules (blur); then, for
        // small soft modules, the grid fitted to the gray levels too. Each with its unsure modules as erasures
        // first, then with the check words on their own.
        const SymbolGrid grid(binary, *whole, o.format);
        if (MatrixResult decoded = decode(grid.sample(binary)); decoded.ok)
            return decoded;
        if (MatrixResult decoded = decode(grid.sample(attempts.image)); decoded.ok)
            return decoded;
        if (o.format.compact || !attempts.budget.spend(static_cast<long long>(size) * size * 20 + words * words))
            continue;
        if (MatrixResult decoded = decode(SymbolGrid(attempts.image, *whole, o.format).sample(attempts.image)); decoded.ok)
            return decoded;
    }
    return std::nullopt;
}

// One bull's-eye to the symbol's data: its ring fixes the core (by the middle of the light ring inside it, which
// ink spread leaves in place, then by the dark ring's inner edge), the core's marks and mode message give the
// orientation and format.
std::optional<MatrixResult> readCandidate(const BinaryImage& binary, const FinderCandidate& candidate, bool square,
                                          Attempts& attempts)
{
    for (bool compact : {true, false}) {
        const int ring = compact ? 4 : 6;
        std::vector<CoreSquare> squares;
        if (square) {
            squares.push_back(squareRing(candidate, ring));
        } else if (const auto traced = traceRing(binary, candidate, ring, attempts.budget)) {
            squares.push_back({traced->middle, 1.5});
            squares.push_back({traced->innerEdge, 1});
        }
        for (const CoreSquare& s : squares)
            if (auto decoded = readSquare(binary, s, ring, compact, attempts))
                return decoded;
    }
    return std::nullopt;
}

// Every candidate of one binary image, dark symbols on light and then light on dark; what reads nothing leaves
// the image as it was given.
std::optional<MatrixResult> readBinary(BinaryImage& binary, double minModule, bool square, int strategyIndex,
                                       Attempts& attempts, RowRuns& rows)
{
    const auto nothing = [&](bool inverted) {
        if (inverted)
            binary.invert();
        return std::nullopt;
    };
    for (bool inverted : {false, true}) {
        if (inverted)
            binary.invert();
        const auto found = findBullsEyes(binary, maxCandidates, attempts.budget, minModule, &rows);
        if (attempts.trace)
            attempts.trace->push_back({attempts.pass, strategyIndex, inverted, static_cast<int>(found.size()), 0, 0});
        attempts.coarse = std::max(attempts.coarse, static_cast<std::size_t>(std::count_if(
            found.begin(), found.end(), [](const FinderCandidate& c) { return c.moduleSize <= enlargeModules; })));
        for (const FinderCandidate& c : found) {
            const bool unequal = c.aspect >= unequalPixels || c.aspect <= 1 / unequalPixels;
            if (unequal && attempts.aspects.size() < maxCoarseCandidates)
                attempts.aspects.push_back(c.aspect);
        }
        for (const FinderCandidate& candidate : found) {
            if (attempts.budget.spent())
                return nothing(inverted);
            // Only rings too fine to trace are taken as drawn square to the pixels: larger ones are traced by the
            // strategies after this one, at any angle, and a turned symbol taken as square only costs time.
            if (square && candidate.moduleSize > squareModules)
                continue;
            if (ReadStep* step = attempts.step())
                ++step->followed;
            if (auto decoded = readCandidate(binary, candidate, square, attempts))
                return decoded;
        }
    }
    return nothing(true);
}

// Catmull-Rom weights of the four source pixels around a point `t` past the second of them.
std::array<float, 4> cubicWeights(float t)
{
    const float t2 = t * t, t3 = t2 * t;
    return {(-t3 + 2 * t2 - t) / 2, (3 * t3 - 5 * t2 + 2) / 2, (-3 * t3 + 4 * t2 + t) / 2, (t3 - t2) / 2};
}

// The image at twice its size, interpolated bicubically: modules of two pixels blurred by a scan keep their
// shape at four, where the binarizers and the ring tracing have room.
std::vector<std::uint8_t> enlarged(const GrayImage& image)
{
    const int w = image.width, h = image.height, W = 2 * w, H = 2 * h;
    // Output pixel 2i lies a quarter pixel before source pixel i, 2i + 1 a quarter after it.
    const std::array<std::array<float, 4>, 2> phase{cubicWeights(0.75F), cubicWeights(0.25F)};
    const auto source = [](int out, int limit, int k) {
        return std::clamp(out / 2 - (out % 2 ? 1 : 2) + k, 0, limit - 1);
    };
    std::vector<float> rows(std::size_t(W) * h);  // the rows enlarged across
    for (int y = 0; y < h; ++y)
        for (int X = 0; X < W; ++X) {
            float v = 0;
            for (int k = 0; k < 4; ++k)
                v += phase[X % 2][k] * image.at(source(X, w, k), y);
            rows[std::size_t(y) * W + X] = v;
        }
    std::vector<std::uint8_t> out(std::size_t(W) * H);
    for (int Y = 0; Y < H; ++Y)
        for (int X = 0; X < W; ++X) {
            float v = 0;
            for (int k = 0; k < 4; ++k)
                v += phase[Y % 2][k] * rows[std::size_t(source(Y, h, k)) * W + X];
            out[std::size_t(Y) * W + X] = v <= 0 ? 0 : v >= 255 ? 255 : static_cast<std::uint8_t>(v + 0.5F);
        }
    return out;
}

// The image with square pixels: stretched by `aspect` down the columns (taller pixels) or by its inverse along the
// rows (wider ones), interpolated linearly. Empty when that would be larger than the reader takes.
struct SquaredImage {
    std::vector<std::uint8_t> pixels;
    GrayImage image;
};
std::optional<SquaredImage> squared(const GrayImage& image, double aspect)
{
    const bool taller = aspect > 1;
    const double k = taller ? aspect : 1 / aspect;
    const long long w = taller ? image.width : std::llround(image.width * k);
    const long long h = taller ? std::llround(image.height * k) : image.height;
    if (w * h > maxPixels)
        return std::nullopt;
    SquaredImage out;
    out.pixels.resize(static_cast<std::size_t>(w * h));
    const int W = static_cast<int>(w), H = static_cast<int>(h);
    // Output pixel i's centre lies at (i + 0.5) / k in the source, between two source pixels' centres.
    const auto between = [k](int i, int limit, int& lo, int& hi, int& weight) {
        const double at = std::clamp((i + 0.5) / k - 0.5, 0.0, limit - 1.0);
        lo = static_cast<int>(at);
        hi = std::min(lo + 1, limit - 1);
        weight = static_cast<int>((at - lo) * 256 + 0.5);
    };
    if (taller) {
        for (int Y = 0; Y < H; ++Y) {
            int lo, hi, weight;
            between(Y, image.height, lo, hi, weight);
            const std::uint8_t *a = image.row(lo), *b = image.row(hi);
            std::uint8_t* o = out.pixels.data() + std::size_t(Y) * W;
            for (int x = 0; x < W; ++x)
                o[x] = static_cast<std::uint8_t>((a[x] * (256 - weight) + b[x] * weight + 128) >> 8);
        }
    } else {
        std::vector<int> los(static_cast<std::size_t>(W)), his(los.size()), weights(los.size());
        for (int X = 0; X < W; ++X)
            between(X, image.width, los[std::size_t(X)], his[std::size_t(X)], weights[std::size_t(X)]);
        for (int y = 0; y < H; ++y) {
            const std::uint8_t* r = image.row(y);
            std::uint8_t* o = out.pixels.data() + std::size_t(y) * W;
            for (std::size_t X = 0; X < std::size_t(W); ++X)
                o[X] = static_cast<std::uint8_t>((r[los[X]] * (256 - weights[X]) + r[his[X]] * weights[X] + 128) >> 8);
        }
    }
    out.image = GrayImage{out.pixels.data(), W, H, W};
    return out;
}

// Several simple strategies in turn, each a binary image and the search on it: the local threshold, which reads
// most images; a symbol drawn at a pixel or two per module; one threshold for the whole image; against heavy
// noise, a smoothed local one; and where the local threshold's runs show dark modules far fatter than light ones,
// that threshold with the spread taken off (an empty image, searched at no cost, when they do not).
std::optional<MatrixResult> readImage(const GrayImage& image, Attempts& attempts)
{
    const long long pixels = static_cast<long long>(image.width) * image.height;
    enum class Binarizer { Local, Global, Smoothed, Unspread };
    struct Strategy {
        Binarizer binarizer;
        long long cost;
        double minModule;
        bool square;
    };
    constexpr Strategy strategies[] = {
        {Binarizer::Local, 2, 1.5, false},
        {Binarizer::Global, 1, 0.8, true},
        {Binarizer::Global, 1, 1.5, false},
        {Binarizer::Smoothed, 4, 1.5, false},
        {Binarizer::Unspread, 4, 1.5, false},
    };
    const bool small = std::max(image.width, image.height) <= pureSymbolSide;
    // One binary image for all the strategies, made anew by each but where it is the one before's (a search
    // that reads nothing leaves it as it was made).
    BinaryImage binary;
    std::optional<Binarizer> held;
    ImageMeasures measures(image);
    int spread = 0;  // what the local threshold's runs say
    for (int index = 0; index < static_cast<int>(std::size(strategies)); ++index) {
        const Strategy& strategy = strategies[index];
        if (strategy.square && !small)
            continue;
        if (!attempts.budget.spend(strategy.cost * pixels))
            break;
        if (held != strategy.binarizer) {
            switch (strategy.binarizer) {
            case Binarizer::Local:
                binarizeLocal(image, false, measures, binary);
                break;
            case Binarizer::Global:
                binarizeGlobal(image, measures, binary);
                break;
            case Binarizer::Smoothed:
                binarizeLocal(image, true, measures, binary);
                break;
            case Binarizer::Unspread:
                // Where the local threshold's runs show no spread, an empty image, searched at no cost.
                if (spread) {
                    binarizeLocal(image, false, measures, binary);
                    binary = withoutInkSpread(binary, spread);
                } else {
                    binary.reshape(0, 0);
                }
                break;
            }
            held = strategy.binarizer;
        }
        RowRuns rows;  // of this binary image, for its search inverted and its ink spread
        if (auto decoded = readBinary(binary, strategy.minModule, strategy.square, index, attempts, rows))
            return decoded;
        if (strategy.binarizer == Binarizer::Local) {
            spread = inkSpreadOf(binary, &rows);
            attempts.inkSpread = attempts.inkSpread || spread != 0;
        }
    }
    return std::nullopt;
}

ReadResult readTraced(const GrayImage& image, Budget& shared, ReadTrace* trace)
{
    ReadResult result;
    if (!image.pixels || image.width <= 0 || image.height <= 0 ||
        static_cast<long long>(image.width) * image.height > maxPixels || image.stride < image.width) {
        result.failure = ReadFailure::BadImage;
        result.reason = "image dimensions not acceptable";
        return result;
    }
    const long long pixels = static_cast<long long>(image.width) * image.height;
    const auto share = [&](long long own) { return std::clamp(own, 0LL, std::max(shared.left(), 0LL)); };
    const auto budgetFor = [&](const GrayImage& view) {
        return share(workFor(static_cast<long long>(view.width) * view.height));
    };
    // Each search with a budget of its own, drawn from the shared one, so that only a read that found nothing
    // pays for the next.
    const auto search = [&](Attempts& attempts, int pass) {
        const long long own = attempts.budget.left();
        attempts.trace = trace;
        attempts.pass = pass;
        auto decoded = readImage(attempts.image, attempts);
        shared.spend(own - attempts.budget.left());
        return decoded;
    };
    std::optional<MatrixResult> decoded;
    bool sawSymbol = false;
    std::string lastReason;
    // Squared pixels, by the caller's word first and then by what the bull's-eyes showed.
    const auto searchSquared = [&](double aspect) {
        if (const auto square = squared(image, aspect); square && shared.left() > 0) {
            Attempts attempts{square->image, Budget(budgetFor(square->image)), sawSymbol, lastReason};
            decoded = search(attempts, 2);
            sawSymbol = attempts.sawSymbol;
            lastReason = attempts.lastReason;
        }
    };
    const double hint = image.pixelAspect;
    const bool hinted = hint >= 1 / maxPixelAspect && hint <= maxPixelAspect && std::abs(std::log(hint)) > 0.05;
    if (hinted)
        searchSquared(hint);
    Attempts attempts{image, Budget(budgetFor(image)), sawSymbol, lastReason};
    if (!decoded)
        decoded = search(attempts, 0);
    sawSymbol = attempts.sawSymbol;
    lastReason = attempts.lastReason;
    if (!decoded && !attempts.aspects.empty()) {
        std::vector<double> logs;
        for (double a : attempts.aspects)
            logs.push_back(std::log(a));
        std::nth_element(logs.begin(), logs.begin() + logs.size() / 2, logs.end());
        const double median = logs[logs.size() / 2];
        const auto agreeing = static_cast<std::size_t>(
            std::count_if(logs.begin(), logs.end(), [&](double l) { return (l > 0) == (median > 0); }));
        // A squeezed symbol's bull's-eyes agree on the shape, and texture's do not; where there is much texture
        // (binary noise shows eight that agree among a hundred), only as many as are noted are evidence.
        const bool agree = 4 * agreeing >= 3 * logs.size() &&
                           (attempts.coarse <= maxCoarseCandidates || agreeing >= maxCoarseCandidates);
        const bool told = hinted && std::abs(median - std::log(hint)) < 0.1;  // searched that way already
        if (agree && !told && std::abs(median) <= std::log(maxPixelAspect))
            searchSquared(std::exp(median));
    }
    // Last, for pages scanned coarsely (modules of about two pixels): the same search on the image enlarged; and
    // only where the finder saw a few bull's-eyes of coarse modules, too blurred to trace, or ink spread that may
    // have closed its rings: an image that shows neither holds no symbol an enlargement would reveal.
    const bool coarse = attempts.coarse > 0 && attempts.coarse <= maxCoarseCandidates;
    if (!decoded && pixels <= enlargeLimit && (coarse || attempts.inkSpread) && shared.left() > 0) {
        const std::vector<std::uint8_t> larger = enlarged(image);
        const GrayImage large{larger.data(), 2 * image.width, 2 * image.height, 2 * image.width};
        Attempts second{large, Budget(budgetFor(large)), sawSymbol, lastReason};
        decoded = search(second, 1);
        sawSymbol = second.sawSymbol;
        lastReason = second.lastReason;
    }
    if (decoded) {
        result.bytes = decoded->text.bytes;
        result.readerInitialisation = decoded->format.readerInitialisation;
        result.gs1 = decoded->text.gs1;
        if (const auto& part = decoded->text.sequence)
            result.sequence = SequencePosition{part->index, part->count, part->id};
        return result;
    }
    result.failure = sawSymbol ? ReadFailure::TooDamaged : ReadFailure::NoSymbol;
    result.reason = sawSymbol ? "Aztec symbol found but " + lastReason : "no Aztec symbol found";
    return result;
}

}  // namespace

ReadResult readAztec(const GrayImage& image)
{
    Budget unlimited(LLONG_MAX);
    return readAztec(image, unlimited);
}

ReadResult readAztec(const GrayImage& image, Budget& shared)
{
    return readTraced(image, shared, nullptr);
}

ReadResult readAztec(const GrayImage& image, Budget& shared, ReadTrace& trace)
{
    return readTraced(image, shared, &trace);
}

}  // namespace varnok::aztec
