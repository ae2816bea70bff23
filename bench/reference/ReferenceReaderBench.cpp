// The reference reader alone, on the same PGM files and with the same output as aztec-reader-bench: built by
// scripts/reader-bench.sh against a zxing-cpp checkout fetched and built by hand, never by our build. Its options
// are the library's defaults (try harder, rotated, inverted and downscaled), as its command-line reader uses them,
// with the formats narrowed to Aztec.
//   reference-reader-bench <repeats> <image.pgm>...

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "ReadBarcode.h"

namespace {

bool loadPgm(const char* path, std::vector<unsigned char>& pixels, int& width, int& height)
{
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int maxval = 0;
    if (!(in >> magic >> width >> height >> maxval) || magic != "P5" || maxval != 255 || width <= 0 || height <= 0)
        return false;
    in.get();
    pixels.resize(static_cast<std::size_t>(width) * height);
    return static_cast<bool>(in.read(reinterpret_cast<char*>(pixels.data()), static_cast<std::streamsize>(pixels.size())));
}

double processMilliseconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3 || std::atoi(argv[1]) < 1) {
        std::fprintf(stderr, "usage: reference-reader-bench <repeats> <image.pgm>...\n");
        return 2;
    }
    const int repeats = std::atoi(argv[1]);
    ZXing::ReaderOptions options;
    options.setFormats(ZXing::BarcodeFormat::Aztec);
    for (int i = 2; i < argc; ++i) {
        std::vector<unsigned char> pixels;
        int width = 0, height = 0;
        if (!loadPgm(argv[i], pixels, width, height)) {
            std::fprintf(stderr, "%s: not an 8-bit binary PGM\n", argv[i]);
            return 1;
        }
        const ZXing::ImageView view(pixels.data(), width, height, ZXing::ImageFormat::Lum);
        std::vector<double> times;
        ZXing::Barcodes found;
        for (int r = 0; r < repeats; ++r) {
            const double start = processMilliseconds();
            found = ZXing::ReadBarcodes(view, options);
            times.push_back(processMilliseconds() - start);
        }
        std::nth_element(times.begin(), times.begin() + times.size() / 2, times.end());
        std::string hex;
        static const char digits[] = "0123456789abcdef";
        if (!found.empty())
            for (unsigned char c : found.front().bytes()) {
                hex += digits[c >> 4];
                hex += digits[c & 15];
            }
        std::printf("%s\t%.3f\t%s\t%s\n", argv[i], times[times.size() / 2], found.empty() ? "-" : "ok",
                    found.empty() ? "no symbol" : hex.c_str());
    }
    return 0;
}
