#pragma once
// The general-purpose stream filters, each bounded by the number of bytes the caller can use: output beyond
// `limit` is never produced, so a small stream cannot expand into a large allocation.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Objects.h"

namespace varnok::pdf {

// The image codecs a filter chain may end in; their data is left to the caller.
enum class Codec { None, Dct, Fax, Jbig2, Jpx };

// A filter's full name for its abbreviation (as inline images and some writers use them); others unchanged.
std::string canonicalFilter(std::string_view name);
// The codec a (full or abbreviated) filter name stands for; Codec::None for the general-purpose filters.
Codec codecOf(std::string_view filter);
// The codec's filter name ("DCTDecode"), empty for None.
const char* codecName(Codec codec);

// Truncated or damaged data yields what was decoded before the damage; the caller checks the size it needs.
// `expected`, when the caller knows the size it wants, is reserved as far as the input could fill it.
std::vector<std::uint8_t> inflate(Bytes in, std::size_t limit, std::size_t expected = 0);
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
