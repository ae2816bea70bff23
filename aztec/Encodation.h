#pragma once
// The bit stream of the data words to bytes: the Upper, Lower, Mixed, Punct and Digit code sets with their
// latches and shifts, Binary shift, FLG(0) (FNC1: leading, it marks GS1 data and is not sent; elsewhere it is sent
// as GS) and FLG(n) (an ECI, recorded, not sent), and the structured-append header (taken off the data).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace varnok::aztec {

// Where a symbol stands in a message spread over several.
struct StructuredAppend {
    int index = 0;   // 1-based
    int count = 0;
    std::string id;  // empty when the header carries none
    bool operator==(const StructuredAppend&) const = default;
};

struct DecodedText {
    std::string bytes;
    std::vector<int> ecis;  // ECI designators met, in order
    std::optional<StructuredAppend> sequence;
    bool gs1 = false;  // the data opened with FNC1
};

// Nothing when the stream holds a reserved code (FLG(7)) or ends inside a byte count, a byte run or an ECI
// designator other than by padding; trailing padding (a partial code, or 1 bits that would open a binary run they
// cannot fill) is ignored.
std::optional<DecodedText> decodeBitStream(const std::vector<bool>& bits);

}  // namespace varnok::aztec
