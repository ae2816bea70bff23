// make-noise FOLDER COUNT [SEED]: images that hold no Aztec symbol but look like one to a finder, for the false-read
// corpus: bull's-eyes (rings only) tiled in random module noise, at any size and at 200 px (the pages of a PDF);
// forged symbols (bull's-eye, orientation marks and a mode message that passes its check, around random layers);
// module noise alone; halftone photos; guilloche. FAMILY-N.png, 8-bit gray. The same COUNT and SEED give the same
// files on any machine (the generator's own arithmetic on mt19937's specified output).

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "aztec/ReedSolomon.h"
#include "aztec/Symbol.h"

namespace {

using varnok::aztec::ModuleMatrix;

class Random {
public:
    explicit Random(std::uint32_t seed) : engine_(seed) {}
    int below(int n) { return static_cast<int>(engine_() % static_cast<std::uint32_t>(n)); }
    int between(int lo, int hi) { return lo + below(hi - lo + 1); }
    double unit() { return engine_() / 4294967296.0; }
    bool coin() { return engine_() & 1u; }

private:
    std::mt19937 engine_;
};

struct Image {
    int width, height;
    std::vector<std::uint8_t> pixels;
    Image(int w, int h, std::uint8_t fill = 255) : width(w), height(h), pixels(std::size_t(w) * h, fill) {}
    std::uint8_t& at(int x, int y) { return pixels[std::size_t(y) * width + x]; }
};

void put32(std::string& out, std::uint32_t v)
{
    for (int s = 24; s >= 0; s -= 8)
        out += static_cast<char>((v >> s) & 0xFF);
}

void chunk(std::string& out, const char* type, const std::string& data)
{
    put32(out, static_cast<std::uint32_t>(data.size()));
    const std::string body = type + data;
    out += body;
    put32(out, static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
}

bool writePng(const std::string& path, const Image& image)
{
    std::string raw;
    raw.reserve(std::size_t(image.width + 1) * image.height);
    for (int y = 0; y < image.height; ++y) {
        raw += '\0';
        raw.append(reinterpret_cast<const char*>(&image.pixels[std::size_t(y) * image.width]), std::size_t(image.width));
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(packedSize, '\0');
    if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize, reinterpret_cast<const Bytef*>(raw.data()),
                  static_cast<uLong>(raw.size()), 6) != Z_OK)
        return false;
    packed.resize(packedSize);
    std::string header;
    put32(header, static_cast<std::uint32_t>(image.width));
    put32(header, static_cast<std::uint32_t>(image.height));
    header += std::string("\x08\x00\x00\x00\x00", 5);  // 8-bit gray
    std::string file = "\x89PNG\r\n\x1a\n";
    chunk(file, "IHDR", header);
    chunk(file, "IDAT", packed);
    chunk(file, "IEND", "");
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    const bool written = std::fwrite(file.data(), 1, file.size(), f) == file.size();
    return std::fclose(f) == 0 && written;
}

// Modules drawn `px` pixels each from (left, top), dark 20-60, light 190-250.
Image render(const ModuleMatrix& m, int px, int margin, Random& random)
{
    const int side = m.size() * px + 2 * margin;
    const auto dark = static_cast<std::uint8_t>(random.between(20, 60)), light = static_cast<std::uint8_t>(random.between(190, 250));
    Image image(side, side, light);
    for (int y = 0; y < m.size() * px; ++y)
        for (int x = 0; x < m.size() * px; ++x)
            image.at(margin + x, margin + y) = m.at(x / px, y / px) ? dark : light;
    return image;
}

ModuleMatrix randomModules(int size, Random& random, int darkPercent = 50)
{
    ModuleMatrix m(size);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            m.set(x, y, random.below(100) < darkPercent);
    return m;
}

// A bull's-eye's rings (dark at even distances) up to `radius`, centred at (cx, cy); the ring of the mode message
// and its orientation marks beyond it are left as they are.
void stampRings(ModuleMatrix& m, int cx, int cy, int radius)
{
    for (int dy = -radius; dy <= radius; ++dy)
        for (int dx = -radius; dx <= radius; ++dx) {
            const int x = cx + dx, y = cy + dy;
            if (x >= 0 && y >= 0 && x < m.size() && y < m.size())
                m.set(x, y, std::max(std::abs(dx), std::abs(dy)) % 2 == 0);
        }
}

// The trap: compact and full-range bull's-eyes tiled over module noise.
Image rings(Random& random, int pixels)
{
    const int px = random.between(2, 6), modules = std::max(pixels / px, 15);
    ModuleMatrix m = randomModules(modules, random);
    const int step = random.between(12, 24);
    for (int cy = step / 2; cy < modules; cy += step)
        for (int cx = step / 2; cx < modules; cx += step)
            stampRings(m, cx + random.between(-2, 2), cy + random.between(-2, 2), random.coin() ? 4 : 6);
    return render(m, px, random.between(0, 3) * px, random);
}

Image moduleNoise(Random& random)
{
    const int px = random.between(1, 6), modules = random.between(150, 450) / px;
    return render(randomModules(modules, random, random.between(30, 70)), px, random.between(0, 4) * px, random);
}

// A symbol's centre that passes every check before the data's own: rings, orientation marks, a mode message with
// valid check words naming a random format; the layers random.
Image forged(Random& random)
{
    varnok::aztec::SymbolFormat format;
    format.compact = random.coin();
    format.layers = format.compact ? random.between(1, 4) : random.between(1, 8);
    format.dataWords = random.between(1, format.totalWords() - 1);
    const int size = format.size(), c = size / 2, r = format.compact ? 5 : 7;
    ModuleMatrix m = randomModules(size, random);
    if (!format.compact)  // the reference grid: every 16th row and column, alternating
        for (int a = 0; a < size; ++a)
            for (int b = c % 16; b < size; b += 16) {
                m.set(b, a, (a - c) % 2 == 0);
                m.set(a, b, (a - c) % 2 == 0);
            }
    stampRings(m, c, c, r - 1);
    const struct {
        int x, y;
        bool dark;
    } marks[] = {{-r, -r, true}, {-r + 1, -r, true}, {-r, -r + 1, true}, {r, -r, true}, {r - 1, -r, false},
                 {r, -r + 1, true}, {r, r, false}, {r - 1, r, false}, {r, r - 1, true}, {-r, r, false},
                 {-r + 1, r, false}, {-r, r - 1, false}};
    for (const auto& mark : marks)
        m.set(c + mark.x, c + mark.y, mark.dark);
    const unsigned countBits = format.compact ? 6 : 11;
    const unsigned value = static_cast<unsigned>(format.layers - 1) << countBits | static_cast<unsigned>(format.dataWords - 1);
    const std::size_t dataWords = format.compact ? 2 : 4, checkWords = format.compact ? 5 : 6;
    std::vector<unsigned> words;
    for (std::size_t i = dataWords; i-- > 0;)
        words.push_back((value >> (4 * i)) & 0xF);
    const auto check = varnok::aztec::reedSolomonCheckWords(varnok::aztec::GaloisField::forWordSize(4), words, checkWords);
    words.insert(words.end(), check.begin(), check.end());
    const auto positions = varnok::aztec::modeMessagePositions(format.compact, size);
    for (std::size_t i = 0; i < positions.size(); ++i)
        m.set(positions[i].first, positions[i].second, (words[i / 4] >> (3 - i % 4)) & 1);
    const int px = random.between(2, 6);
    return render(m.transformed(random.below(4), random.coin()), px, random.between(1, 4) * px, random);
}

// A smooth random scene (a few soft blobs and a gradient) printed through a clustered-dot screen at an angle.
Image halftone(Random& random)
{
    Image image(random.between(200, 500), random.between(200, 500));
    struct Blob {
        double x, y, radius, weight;
    };
    std::vector<Blob> blobs(static_cast<std::size_t>(random.between(3, 9)));
    for (Blob& b : blobs)
        b = {random.unit() * image.width, random.unit() * image.height, 20 + random.unit() * 150, random.unit() * 2 - 1};
    const double period = random.between(3, 10), angle = random.unit() * 3.14159, gx = random.unit() - 0.5, gy = random.unit() - 0.5;
    const double ca = std::cos(angle), sa = std::sin(angle);
    const bool square = random.coin();
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            double v = 0.5 + 0.3 * (gx * x / image.width + gy * y / image.height);
            for (const Blob& b : blobs)
                v += b.weight * 0.5 * std::exp(-((x - b.x) * (x - b.x) + (y - b.y) * (y - b.y)) / (b.radius * b.radius));
            // The screen: distance from the nearest dot centre, square dots or round ones.
            const double u = (x * ca + y * sa) / period, w = (-x * sa + y * ca) / period;
            const double du = u - std::floor(u) - 0.5, dw = w - std::floor(w) - 0.5;
            const double spot = square ? std::max(std::abs(du), std::abs(dw)) * 2 : std::sqrt(du * du + dw * dw) * 1.41;
            image.at(x, y) = spot < std::clamp(1 - v, 0.0, 1.0) ? 30 : 235;
        }
    return image;
}

// Banknote-style line work: families of curves r = a + b sin(k t + phase) around a few centres, drawn thin.
Image guilloche(Random& random)
{
    Image image(random.between(200, 500), random.between(200, 500));
    const int families = random.between(1, 3);
    for (int f = 0; f < families; ++f) {
        const double cx = random.unit() * image.width, cy = random.unit() * image.height;
        const double a = 40 + random.unit() * 150, b = 5 + random.unit() * 40, k = random.between(3, 24);
        const int curves = random.between(8, 40);
        const double thickness = 0.5 + random.unit() * 1.5;
        for (int i = 0; i < curves; ++i) {
            const double phase = 6.2832 * i / curves, scale = 1 + 0.4 * i / curves;
            for (int s = 0; s < 8000; ++s) {
                const double t = 6.2832 * s / 8000, radius = scale * (a + b * std::sin(k * t + phase));
                const double x = cx + radius * std::cos(t), y = cy + radius * std::sin(t);
                for (double d = -thickness / 2; d <= thickness / 2; d += 0.5) {
                    const int px = static_cast<int>(x + d * std::cos(t)), py = static_cast<int>(y + d * std::sin(t));
                    if (px >= 0 && py >= 0 && px < image.width && py < image.height)
                        image.at(px, py) = 40;
                }
            }
        }
    }
    return image;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: make-noise FOLDER COUNT [SEED]\n");
        return 2;
    }
    const std::string folder = argv[1];
    const int count = std::atoi(argv[2]);
    const std::uint32_t seed = argc > 3 ? static_cast<std::uint32_t>(std::strtoul(argv[3], nullptr, 10)) : 1;
    // Shares of the count, in per cent; the text pages are the caller's (they need fonts).
    const struct {
        const char* name;
        int percent;
    } families[] = {{"rings", 27}, {"rings200", 10}, {"forged", 25}, {"modules", 8}, {"halftone", 13}, {"guilloche", 14}};
    int written = 0;
    for (std::size_t f = 0; f < std::size(families); ++f) {
        const int n = count * families[f].percent / 100;
        for (int i = 1; i <= n; ++i) {
            Random random(seed * 7919u + static_cast<std::uint32_t>(f) * 1000003u + static_cast<std::uint32_t>(i));
            const std::string name = families[f].name;
            const Image image = name == "rings"      ? rings(random, random.between(150, 600))
                                : name == "rings200" ? rings(random, 200)
                                : name == "forged"   ? forged(random)
                                : name == "modules"  ? moduleNoise(random)
                                : name == "halftone" ? halftone(random)
                                                     : guilloche(random);
            char file[64];
            std::snprintf(file, sizeof file, "/%s-%05d.png", name.c_str(), i);
            if (!writePng(folder + file, image)) {
                std::fprintf(stderr, "cannot write %s%s\n", folder.c_str(), file);
                return 1;
            }
            ++written;
        }
    }
    std::printf("%d images in %s\n", written, folder.c_str());
    return 0;
}
