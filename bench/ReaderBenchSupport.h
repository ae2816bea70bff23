#pragma once
// What the two reader benches share, so that both time and print the same way: our reader's (ReaderBench.cpp) and
// the reference's (reference/ReferenceReaderBench.cpp, built outside our build). Header-only, standard C++ only.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

namespace varnok::bench {

struct Gray {
    std::vector<unsigned char> pixels;
    int width = 0, height = 0;
};

// Binary PGM with a maximum of 255, as ImageMagick writes it (no comments).
inline bool loadPgm(const char* path, Gray& gray)
{
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int maxval = 0;
    if (!(in >> magic >> gray.width >> gray.height >> maxval) || magic != "P5" || maxval != 255 || gray.width <= 0 ||
        gray.height <= 0)
        return false;
    in.get();
    gray.pixels.resize(static_cast<std::size_t>(gray.width) * gray.height);
    return static_cast<bool>(
        in.read(reinterpret_cast<char*>(gray.pixels.data()), static_cast<std::streamsize>(gray.pixels.size())));
}

inline double processMilliseconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

template <class Bytes>
std::string hex(const Bytes& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

// The bench's whole run: `read(gray)` reads one image and returns whether it found a symbol, its bytes as hex or
// why not. Each image `repeats` times; one line each: <file> TAB <median ms> TAB <ok|-> TAB <hex, or the reason>.
template <class Read>
int runBench(const char* name, int argc, char** argv, Read read)
{
    if (argc < 3 || std::atoi(argv[1]) < 1) {
        std::fprintf(stderr, "usage: %s <repeats> <image.pgm>...\n", name);
        return 2;
    }
    const int repeats = std::atoi(argv[1]);
    for (int i = 2; i < argc; ++i) {
        Gray gray;
        if (!loadPgm(argv[i], gray)) {
            std::fprintf(stderr, "%s: not an 8-bit binary PGM\n", argv[i]);
            return 1;
        }
        std::vector<double> times;
        std::pair<bool, std::string> result;
        for (int r = 0; r < repeats; ++r) {
            const double start = processMilliseconds();
            result = read(gray);
            times.push_back(processMilliseconds() - start);
        }
        std::nth_element(times.begin(), times.begin() + times.size() / 2, times.end());
        std::printf("%s\t%.3f\t%s\t%s\n", argv[i], times[times.size() / 2], result.first ? "ok" : "-",
                    result.second.c_str());
    }
    return 0;
}

}  // namespace varnok::bench
