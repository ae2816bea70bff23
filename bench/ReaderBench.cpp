// The Aztec reader alone: each image's gray pixels are loaded once (8-bit PGM, decoded beforehand), then read
// `repeats` times; prints per image the median processor time of one read and what it read. No file reading,
// decoding or process start in the figure: those are timed by the whole-process benchmark.
//   aztec-reader-bench <repeats> <image.pgm>...
// VARNOK_READ_TRACE=1 prints the steps of every read (binary images searched, bull's-eyes followed) on stderr, as it
// reads: with one repeat, one image's steps before its line.

#include <climits>

#include "ReaderBenchSupport.h"
#include "aztec/Reader.h"

int main(int argc, char** argv)
{
    const bool traced = std::getenv("VARNOK_READ_TRACE") != nullptr;
    return varnok::bench::runBench("aztec-reader-bench", argc, argv, [traced](const varnok::bench::Gray& gray) {
        using namespace varnok::aztec;
        const GrayImage image{gray.pixels.data(), gray.width, gray.height, gray.width};
        Budget unlimited(LLONG_MAX);
        ReadTrace trace;
        const ReadResult result = traced ? readAztec(image, unlimited, trace) : readAztec(image);
        for (const ReadStep& step : trace)
            std::fprintf(stderr, "pass %d strategy %d%s: %d candidates, %d followed, %d sampled\n", step.pass,
                         step.strategy, step.inverted ? " inverted" : "", step.candidates, step.followed, step.sampled);
        const bool ok = result.failure == ReadFailure::None;
        return std::pair{ok, ok ? varnok::bench::hex(result.bytes) : result.reason};
    });
}
