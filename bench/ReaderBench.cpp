// The Aztec reader alone: each image's gray pixels are loaded once (8-bit PGM, decoded beforehand), then read
// `repeats` times; prints per image the median processor time of one read and what it read. No file reading,
// decoding or process start in the figure: those are timed by the whole-process benchmark.
//   aztec-reader-bench <repeats> <image.pgm>...
// VARNOK_READ_TRACE=1 prints each image's steps (binary images searched, bull's-eyes followed) on stderr.
// Output, one line per image: <file> TAB <median ms> TAB <ok|-> TAB <bytes as hex, or the reason>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "aztec/Reader.h"

namespace {

struct Pgm {
    std::vector<unsigned char> pixels;
    int width = 0, height = 0;
};

// Binary PGM with a maximum of 255, as ImageMagick writes it (no comments).
bool loadPgm(const char* path, Pgm& pgm)
{
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int maxval = 0;
    if (!(in >> magic >> pgm.width >> pgm.height >> maxval) || magic != "P5" || maxval != 255 || pgm.width <= 0 ||
        pgm.height <= 0)
        return false;
    in.get();
    pgm.pixels.resize(static_cast<std::size_t>(pgm.width) * pgm.height);
    return static_cast<bool>(in.read(reinterpret_cast<char*>(pgm.pixels.data()),
                                     static_cast<std::streamsize>(pgm.pixels.size())));
}

double processMilliseconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

std::string hex(const std::string& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3 || std::atoi(argv[1]) < 1) {
        std::fprintf(stderr, "usage: aztec-reader-bench <repeats> <image.pgm>...\n");
        return 2;
    }
    const int repeats = std::atoi(argv[1]);
    for (int i = 2; i < argc; ++i) {
        Pgm pgm;
        if (!loadPgm(argv[i], pgm)) {
            std::fprintf(stderr, "%s: not an 8-bit binary PGM\n", argv[i]);
            return 1;
        }
        const varnok::aztec::GrayImage image{pgm.pixels.data(), pgm.width, pgm.height, pgm.width};
        std::vector<double> times;
        varnok::aztec::ReadResult result;
        for (int r = 0; r < repeats; ++r) {
            const double start = processMilliseconds();
            result = varnok::aztec::readAztec(image);
            times.push_back(processMilliseconds() - start);
        }
        if (std::getenv("VARNOK_READ_TRACE")) {  // the steps of one more read, on stderr
            varnok::aztec::Budget unlimited(LLONG_MAX);
            varnok::aztec::ReadTrace trace;
            varnok::aztec::readAztec(image, unlimited, trace);
            for (const auto& step : trace)
                std::fprintf(stderr, "%s: pass %d strategy %d%s: %d candidates, %d followed, %d sampled\n", argv[i],
                             step.pass, step.strategy, step.inverted ? " inverted" : "", step.candidates,
                             step.followed, step.sampled);
        }
        std::nth_element(times.begin(), times.begin() + times.size() / 2, times.end());
        const bool ok = result.failure == varnok::aztec::ReadFailure::None;
        std::printf("%s\t%.3f\t%s\t%s\n", argv[i], times[times.size() / 2], ok ? "ok" : "-",
                    ok ? hex(result.bytes).c_str() : result.reason.c_str());
    }
    return 0;
}
