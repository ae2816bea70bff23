#pragma once
// The bit stream of the data words to bytes: the Upper, Lower, Mixed, Punct and Digit code sets with their
// latches and shifts, Binary shift, FLG(0) (FNC1, sent as GS) and FLG(n) (an ECI, recorded, not sent).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace varnok::aztec {

struct DecodedText {
    std::string bytes;
    std::vector<int> ecis;  // ECI designators met, in order
};

// Nothing when the stream holds a reserved code (FLG(7)) or ends inside a byte count or an ECI designator;
// trailing padding (a partial code) is ignored.
std::optional<DecodedText> decodeBitStream(const std::vector<bool>& bits);

}  // namespace varnok::aztec
