#pragma once
// CCITT Group 3 (one- and two-dimensional) and Group 4 fax data, decoded here rather than by the platform so that
// the whole path is portable and fuzzed with the rest of the reader.

#include <cstdint>
#include <vector>

#include "Objects.h"

namespace varnok::pdf {

struct FaxParams {
    int k = 0;  // < 0 Group 4, 0 Group 3 one-dimensional, > 0 Group 3 mixed
    int columns = 1728;
    bool blackIs1 = false;
    bool encodedByteAlign = false;
};

FaxParams faxParamsOf(const Dict* parms);

// Packed rows of (columns + 7) / 8 bytes, 0 for black unless blackIs1, at most `maxRows` of them. Stops at the end
// of the data or an end-of-block code; throws Fault (stage Pixels) on a code that does not fit the row.
std::vector<std::uint8_t> decodeFax(Bytes data, const FaxParams& params, int maxRows);

}  // namespace varnok::pdf
