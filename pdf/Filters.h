#pragma once
// The general-purpose stream filters, each bounded by the number of bytes the caller can use: output beyond
// `limit` is never produced, so a small stream cannot expand into a large allocation.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "Objects.h"

namespace varnok::pdf {

// Truncated or damaged data yields what was decoded before the damage; the caller checks the size it needs.
std::vector<std::uint8_t> inflate(Bytes in, std::size_t limit);
std::vector<std::uint8_t> asciiHex(Bytes in, std::size_t limit);
std::vector<std::uint8_t> ascii85(Bytes in, std::size_t limit);
std::vector<std::uint8_t> runLength(Bytes in, std::size_t limit);
// `earlyChange` as the filter's /EarlyChange (1 unless a file says 0).
std::vector<std::uint8_t> lzw(Bytes in, std::size_t limit, bool earlyChange);

struct Predictor {
    int predictor = 1;  // 1 none, 2 TIFF, 10..15 PNG
    int colors = 1;
    int bitsPerComponent = 8;
    int columns = 1;

    // Bytes in one row of samples; throws Fault (stage Pixels) for a row longer than any stream may be.
    std::size_t rowBytes() const;
};

Predictor predictorOf(const Dict* parms);

// Undoes a TIFF or PNG predictor; rows left incomplete at the end are dropped. Throws Fault on a bad row filter.
std::vector<std::uint8_t> unpredict(std::vector<std::uint8_t> data, const Predictor& p);

}  // namespace varnok::pdf
