// The whole reading core on arbitrary bytes, as the image worker runs it: a PDF told from an image file, the PDF
// reader and its images, the image checks and decoding (stb here, where the worker also has WIC), the Aztec reader.
// It looks for slow inputs as well as faults: an input that takes more processor time than its size allows is a
// failure, found by a program rather than a reviewer. The bound is a fixed part (an image's passes through the
// reader) and a part per byte (what a file may make the reader do per byte it has), set from sound images and
// scans at the pixel limit with room to spare; VARNOK_FUZZ_MS_BASE and VARNOK_FUZZ_MS_PER_KB change them (an
// emulated run is slower). Processor time, not the clock, so that a busy machine does not fail a run. Images are
// held to a megapixel so that a run stays short: their cost per pixel is the same at any size. At the end it prints
// what it ran: the inputs, the slowest against its bound, and the time per megabyte over all inputs.

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <cstdlib>
#include <new>

#include "worker/ReadFile.h"
#include "worker/StbDecode.h"

namespace {

constexpr std::uint64_t pixelLimit = 1'000'000;

double processorMs()
{
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

double setting(const char* name, double fallback)
{
    const char* text = std::getenv(name);
    return text && std::atof(text) > 0 ? std::atof(text) : fallback;
}

struct Figures {
    const double baseMs = setting("VARNOK_FUZZ_MS_BASE", 3000);
    const double msPerKb = setting("VARNOK_FUZZ_MS_PER_KB", 20);
    unsigned long long inputs = 0, bytes = 0;
    double totalMs = 0, slowestMs = 0, slowestShare = 0;
    std::size_t slowestSize = 0;

    double boundMs(std::size_t size) const { return baseMs + msPerKb * static_cast<double>(size) / 1024; }

    ~Figures()
    {
        if (inputs == 0)
            return;
        std::fprintf(stderr,
                     "reading_fuzz: %llu inputs, %.1f MB; slowest %.1f ms for %zu bytes (%.0f%% of its bound "
                     "%.0f ms); %.1f ms per MB over all inputs\n",
                     inputs, static_cast<double>(bytes) / 1e6, slowestMs, slowestSize, slowestShare * 100,
                     boundMs(slowestSize), bytes ? totalMs / (static_cast<double>(bytes) / 1e6) : 0.0);
    }
};

Figures figures;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace varnok;
    const double started = processorMs();
    try {
        worker::readFile(std::span(data, size), size, [](std::span<const std::uint8_t> file, std::uint64_t maxPixels) {
            return worker::decodeWithStb(file, std::min(maxPixels, pixelLimit));
        });
    } catch (const std::bad_alloc&) {
    }
    const double ms = processorMs() - started;
    ++figures.inputs;
    figures.bytes += size;
    figures.totalMs += ms;
    const double share = ms / figures.boundMs(size);
    if (share > figures.slowestShare) {
        figures.slowestShare = share;
        figures.slowestMs = ms;
        figures.slowestSize = size;
    }
    if (share > 1) {
        std::fprintf(stderr, "reading_fuzz: a slow input: %zu bytes took %.0f ms of processor time, over its bound of %.0f ms\n", size,
                     ms, figures.boundMs(size));
        std::abort();
    }
    return 0;
}
